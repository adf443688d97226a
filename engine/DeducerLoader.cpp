// The loader: what the parser read at top level goes into this engine's
// tables, or runs. The parser only reads (TKbParser::ReadItem); each item
// reaches TDeducer::Load through IParserHost, with the same messages and
// echo as a command typed at the prompt.
#include <string>

#include "engine/Deducer.h"
#include "engine/DeducerFunctions.h"
#include "engine/DeducerParse.h"
#include "engine/DeducerRules.h"
#include "engine/DeducerTemplates.h"
#include "parser/KbParser.h"
#include "rete/KbRule.h"

namespace kb {

TLoadedItem TDeducer::Load(TParsedItem& Item) {
  TLoadedItem loaded;
  loaded.Kind = Item.Kind;
  IKbValue result = FCNil;
  switch (Item.Kind) {
    case ptValue: result = Item.Token->Value(ParseContext()); break;
    case ptFunCall: result = RunCall(Item.Call); break;
    case ptFunction:
      UserFunctions().Add(Item.Function);
      loaded.Interface = Item.Function;
      break;
    case ptGlobals:
      for (const auto& [name, value] : Item.Globals) GlobalVariables().SetItem(name, value);
      break;
    case ptFactSet:
      // A fact set the engine did not take (an ignored duplicate) goes with
      // the item.
      if (FactSets().Define(Item.FactSet.get())) loaded.Object = Item.FactSet.release();
      break;
    case ptFactTemplate:
      FactTemplates().Add(Item.Template);
      loaded.Interface = Item.Template;
      break;
    case ptRule: {
      // So does a rule the table did not take.
      TRule* rule = Item.Rule.get();
      Rules().Add(rule);
      if (Rules().Get(rule->GetRuleName()) == rule) loaded.Object = Item.Rule.release();
      break;
    }
    case ptEOF: loaded.Interface = FCEOF; break;
    case ptNone: break;
  }
  if (Item.Kind == ptValue || Item.Kind == ptFunCall) {
    if (!result || result->Equals(FCNil)) {
      loaded.Kind = ptNone;
    } else {
      loaded.Interface = result;
      PrintOut(std::string(), result->GetToString() + NewLineString);
    }
  }
  return loaded;
}

IKbValue TDeducer::RunCall(const IFunCall& Call) {
  TKbContext* context = ParseContext();
  IKbValue result = Call->Execute(context);
  // A "return" at top level ends that command only; a flag left set would
  // stop the next top-level loop at once.
  if (context->GetReturnValueSet()) context->ClearReturnValue();
  return result;
}

}  // namespace kb
