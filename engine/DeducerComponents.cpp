// Component files of an engine (engine/DeducerComponents.h), and the
// published properties of the engine's component and persistent classes.
#include "engine/DeducerComponents.h"

#include <memory>
#include <string_view>

#include "engine/Deducer.h"
#include "engine/DeducerDefaultPackages.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerFunctions.h"
#include "engine/DeducerPackages.h"
#include "engine/DeducerParse.h"
#include "engine/DeducerRules.h"
#include "engine/DeducerSaveText.h"
#include "engine/DeducerTemplates.h"
#include "framework/ComponentStream.h"
#include "framework/TypInfo.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsSets.h"
#include "parser/KbClipsParser.h"
#include "rete/KbRule.h"

namespace kb {

namespace {

template <class E>
TPropInfo EnumOf(const char* Name, E (TDeducer::*Get)() const, void (TDeducer::*Set)(E),
                 E Default) {
  const TEnumInfo& info = EnumInfo<E>();
  return Prop::Enum<TDeducer>(Name, Get, Set, info.Names, info.Count, std::optional<E>(Default));
}

// The default package classes: an engine makes them itself from its
// Packages, so a file never carries them.
bool IsDefaultPackage(const TComponent* C) {
  const TPersistentClass* c = ClassOf(C);
  if (!c) return false;
  for (const TDefaultPackage& p : DefaultPackages)
    if (c->Name == p.ClassName) return true;
  return false;
}

// Parses a construct text of a file into the engine; its errors raise.
void ParseInto(TDeducer& Engine, const std::string& Text) { Engine.Parse(Text); }

// Reads each item of a list as construct text into the engine.
std::function<void(TReader&)> ParseEach(TDeducer* E) {
  return [E](TReader& R) {
    if (!E) KbError(SUnknownEngine);
    while (!R.EndOfList()) ParseInto(*E, R.ReadString());
  };
}

// The lists of each collection. Each reads its texts through the engine
// of the collection, so the collection must belong to one.

// "Templates": every template, parents first, then the
// backward-chaining marks.
void DefineTemplates(TFactTemplates& T, TFiler& Filer) {
  const TFactTemplates* t = &T;
  const std::vector<IFactTemplate> templates = T.InParentOrder();
  Filer.DefineProperty(
      "Templates", ParseEach(T.GetEngine()),
      [t, templates](TWriter& W) {
        for (const IFactTemplate& f : templates) W.WriteString(f->GetToString());
        std::string marked = BackwardChainingText(*t);
        if (!marked.empty()) W.WriteString(marked);
      },
      !templates.empty());
}

// "Functions": the deffunctions (package and host functions are the
// engine's own, not the knowledge base's).
void DefineFunctions(TUserFunctions& F, TFiler& Filer) {
  std::vector<std::string> functions;
  if (TDeducer* e = F.GetEngine())
    for (const auto& [name, f] : F.Entries())
      if (auto d = RefCast<TInterpretedFunction>(f)) functions.push_back(e->PrettyPrint(d));
  Filer.DefineProperty(
      "Functions", ParseEach(F.GetEngine()),
      [functions](TWriter& W) {
        for (const std::string& f : functions) W.WriteString(f);
      },
      !functions.empty());
}

// "Variables" of the global variables: the defglobal text of the
// defined globals and that of the globals made by bind.
void DefineGlobals(TGlobalVariables& G, TFiler& Filer) {
  TDeducer* e = G.GetEngine();
  const std::string bound = e ? BoundGlobalsText(*e) : std::string();
  Filer.DefineProperty(
      "Variables", ParseEach(e),
      [e, bound](TWriter& W) {
        if (e->GlobalVariables().Count() > 0) W.WriteString(e->PrettyPrintGlobalVariables());
        if (!bound.empty()) W.WriteString(bound);
      },
      e && (G.Count() > 0 || !bound.empty()));
}

// "Variables" of store and fetch: each variable's name, "list" or
// "value", and the text of its value (a list's items one after another).
void ReadVariables(TEngineVariables& V, TReader& R) {
  TDeducer* e = V.GetEngine();
  if (!e) KbError(SUnknownEngine);
  while (!R.EndOfList()) {
    const std::string name = R.ReadString(), kind = R.ReadString(), text = R.ReadString();
    if (kind != "list" && kind != "value") KbError(SBadArgument, kind);
    V.Put(name, kind == "list" ? e->ParseList(text) : e->ParseValue(text));
  }
}

void DefineVariables(TEngineVariables& V, TFiler& Filer) {
  if (auto* g = dynamic_cast<TGlobalVariables*>(&V)) {
    DefineGlobals(*g, Filer);
    return;
  }
  TEngineVariables* v = &V;
  Filer.DefineProperty(
      "Variables", [v](TReader& R) { ReadVariables(*v, R); },
      [v](TWriter& W) {
        for (const auto& [name, value] : v->Entries()) {
          W.WriteString(name);
          const bool list = value && value->GetDType() == dtList;
          W.WriteString(list ? "list" : "value");
          std::string text;
          AppendValueText(text, value ? value : FCNil);
          W.WriteString(text);
        }
      },
      V.Count() > 0);
}

// "Rules": every rule's text.
void DefineRules(TRules& Rules, TFiler& Filer) {
  const TRules* r = &Rules;
  Filer.DefineProperty(
      "Rules", ParseEach(Rules.GetEngine()),
      [r](TWriter& W) {
        for (const auto& [name, rule] : r->Entries()) W.WriteString(rule->GetToString());
      },
      Rules.Count() > 0);
}

// The engine writes its working memory as "FactsList"; its collections
// write themselves, as parts of it. Files written before the collections
// were parts carry their lists on the engine: those are still read, in
// the order they must be.
void DefineEngineProperties(TDeducer& E, TFiler& Filer) {
  TDeducer* e = &E;
  auto readOnly = [&Filer](const char* Name, std::function<void(TReader&)> Read) {
    Filer.DefineProperty(Name, Read, nullptr, false);
  };
  readOnly("Templates", ParseEach(e));
  readOnly("Functions", ParseEach(e));
  readOnly("GlobalVariables", ParseEach(e));
  readOnly("Rules", ParseEach(e));
  readOnly("Variables", [e](TReader& R) { ReadVariables(e->Variables(), R); });
  const std::vector<IFact> facts = SavedFacts(E);
  Filer.DefineProperty(
      "FactsList",
      [e](TReader& R) {
        while (!R.EndOfList()) e->Assert(R.ReadString());
      },
      [facts](TWriter& W) {
        for (const IFact& f : facts) W.WriteString(f->GetToString());
      },
      !facts.empty());
}

// The engine's collections as its parts.
template <class T, T& (TDeducer::*Get)()>
T* PartOf(const TDeducer& E) {
  return &(const_cast<TDeducer&>(E).*Get)();
}

const TClassRegistration<TDeducer> DeducerClass(
    "TDeducer", "TComponent",
    {
        EnumOf("DuplicateConstructs", &TDeducer::GetDuplicateConstructs,
               &TDeducer::SetDuplicateConstructs, dcOverwrite),
        Prop::Set<TDeducer>("Packages", &TDeducer::GetPackages, &TDeducer::SetPackages,
                            PackageNames.data(), static_cast<int>(PackageNames.size()), 11u),
        Prop::Bool<TDeducer>("FactDuplication", &TDeducer::GetFactDuplication,
                             &TDeducer::SetFactDuplication, false),
        // The parts are read in this order: what a rule uses comes first.
        Prop::Owned<TDeducer>("FactTemplates", &PartOf<TFactTemplates, &TDeducer::FactTemplates>,
                              "TFactTemplates"),
        // Working memory travels as the engine's "FactsList".
        Prop::Owned<TDeducer>("Facts", &PartOf<TFacts, &TDeducer::Facts>, "TFacts", false),
        Prop::Owned<TDeducer>("UserFunctions", &PartOf<TUserFunctions, &TDeducer::UserFunctions>,
                              "TUserFunctions"),
        Prop::Owned<TDeducer>("GlobalVariables",
                              &PartOf<TGlobalVariables, &TDeducer::GlobalVariables>,
                              "TGlobalVariables"),
        EnumOf("ParserErrorHandling", &TDeducer::GetParserErrorHandling,
               &TDeducer::SetParserErrorHandling, ehRaiseImmediate),
        Prop::Int<TDeducer>("ParserMaxErrors", &TDeducer::GetParserMaxErrors,
                            &TDeducer::SetParserMaxErrors, 10),
        Prop::Owned<TDeducer>("Rules", &PartOf<TRules, &TDeducer::Rules>, "TRules"),
        Prop::Bool<TDeducer>("ResetGlobals", &TDeducer::GetResetGlobals, &TDeducer::SetResetGlobals,
                             true),
        EnumOf("SalienceEvaluation", &TDeducer::GetSalienceEvaluation,
               &TDeducer::SetSalienceEvaluation, sActivate),
        EnumOf("Strategy", &TDeducer::GetStrategy, &TDeducer::SetStrategy, ssDepthFirst),
        // The counter only grows: setting the value it has changes nothing.
        Prop::Int<TDeducer>("SymbolIndex", &TDeducer::GetSymbolIndex,
                            [](TDeducer& E, int64_t V) {
                              if (V != E.GetSymbolIndex()) E.SetSymbolIndex(V);
                            }),
        Prop::Set<TDeducer>("TypeChecks", &TDeducer::GetTypeChecks, &TDeducer::SetTypeChecks,
                            EnumInfo<TTypeCheck>().Names, EnumInfo<TTypeCheck>().Count, 1u),
        Prop::Owned<TDeducer>("Variables", &PartOf<TEngineVariables, &TDeducer::Variables>,
                              "TEngineVariables"),
        Prop::Set<TDeducer>("Watch", &TDeducer::GetWatch, &TDeducer::SetWatch,
                            EnumInfo<TConstructWatch>().Names, EnumInfo<TConstructWatch>().Count,
                            0u),
        Prop::Method("OnAddActivation"),
        Prop::Method("OnAddRule"),
        Prop::Method("OnAssertion"),
        Prop::Method("OnClear"),
        Prop::Method("OnEndInference"),
        Prop::Method("OnPrintOut"),
        Prop::Method("OnReset"),
        Prop::Method("OnRetraction"),
        Prop::Method("OnRuleFired"),
        Prop::Method("OnStartInference"),
    },
    DefineEngineProperties);

// The collections publish nothing; each writes its list.
const TClassRegistration<TFactTemplates> FactTemplatesClass("TFactTemplates", "", {},
                                                            DefineTemplates);
const TClassRegistration<TFacts> FactsClass("TFacts", "", {});
const TClassRegistration<TUserFunctions> UserFunctionsClass("TUserFunctions", "", {},
                                                            DefineFunctions);
const TClassRegistration<TRules> RulesClass("TRules", "", {}, DefineRules);
// The global variables write their own list in place of the engine
// variables' (DefineVariables).
const TClassRegistration<TEngineVariables> EngineVariablesClass("TEngineVariables", "", {},
                                                                DefineVariables);
const TClassRegistration<TGlobalVariables> GlobalVariablesClass("TGlobalVariables",
                                                                "TEngineVariables", {});

const TClassRegistration<TFactSet> FactSetClass(
    "TFactSet", "TComponent",
    {
        Prop::Str<TFactSet>("Comment", &TFactSet::GetComment, &TFactSet::SetComment),
        Prop::Object<TFactSet>("Engine", &TFactSet::GetEngine, &TFactSet::SetEngine, "TDeducer"),
        Prop::Str<TFactSet>("FactSetName", &TFactSet::GetFactSetName, &TFactSet::SetFactSetName,
                            std::string("FactSet")),
    },
    [](TFactSet& S, TFiler& Filer) {
      TFactSet* s = &S;
      Filer.DefineProperty(
          "Facts",
          [s](TReader& R) {
            std::vector<std::string> texts;
            while (!R.EndOfList()) texts.push_back(R.ReadString());
            s->SetFacts(texts);
          },
          [s](TWriter& W) {
            for (const std::string& t : s->GetFactStrings()) W.WriteString(t);
          },
          S.GetFacts().Count() > 0);
    });

const TClassRegistration<TRule> RuleClass(
    "TRule", "TComponent",
    {
        Prop::Str<TRule>("Comment", &TRule::GetComment, &TRule::SetComment),
        // Read-only here: a rule leaves its engine through the engine
        // (undefrule, DeleteRule), never from under a firing.
        Prop::Object<TRule>("Engine", &TRule::GetEngine, nullptr, "TDeducer"),
        Prop::Method("OnChange"),
        Prop::Method("OnFire"),
        Prop::Str<TRule>("RuleName", &TRule::GetRuleName, &TRule::SetRuleName, std::nullopt),
        Prop::Int<TRule>("Salience", &TRule::GetSalience, &TRule::SetSalienceInteger, 0),
    },
    [](TRule& Rule, TFiler& Filer) {
      // The rule's text, read through its engine (the rule becomes the
      // rule of that text); written only for a rule with an engine and
      // something to say.
      TRule* r = &Rule;
      Filer.DefineProperty(
          "Text",
          [r](TReader& R) {
            std::string text = R.ReadString();
            if (!r->GetEngine()) KbError(SUnknownEngine);
            std::unique_ptr<TRule> parsed(r->GetEngine()->ParseRule(text));
            r->Assign(parsed.get());
          },
          [r](TWriter& W) { W.WriteString(r->GetToString()); },
          r->GetEngine() && (r->GetPatterns().Count() > 0 || r->GetActions().Count() > 0));
    });

const TClassRegistration<TKbUserFunction> UserFunctionClass(
    "TKbUserFunction", "",
    {
        Prop::Int<TKbUserFunction>("MaxArgumentCount", &TKbUserFunction::GetMaxArgumentCount,
                                   &TKbUserFunction::SetMaxArgumentCount),
        Prop::Int<TKbUserFunction>("MinArgumentCount", &TKbUserFunction::GetMinArgumentCount,
                                   nullptr),
        Prop::Str<TKbUserFunction>("Comment", &TKbUserFunction::GetComment,
                                   &TKbUserFunction::SetComment),
        Prop::Str<TKbUserFunction>("FunctionName", &TKbUserFunction::GetFunctionName,
                                   &TKbUserFunction::SetFunctionName, std::nullopt),
    });

const TClassRegistration<TCustomUserFunction> CustomUserFunctionClass(
    "TCustomUserFunction", "TComponent",
    {
        Prop::Str<TCustomUserFunction>("Comment", &TCustomUserFunction::GetComment,
                                       &TCustomUserFunction::SetComment),
        Prop::Str<TCustomUserFunction>("FunctionName", &TCustomUserFunction::GetFunctionName,
                                       &TCustomUserFunction::SetFunctionName, std::nullopt),
        Prop::Int<TCustomUserFunction>("MaxArgumentCount",
                                       &TCustomUserFunction::GetMaxArgumentCount,
                                       &TCustomUserFunction::SetMaxArgumentCount),
        Prop::Int<TCustomUserFunction>("MinArgumentCount",
                                       &TCustomUserFunction::GetMinArgumentCount,
                                       &TCustomUserFunction::SetMinArgumentCount),
        Prop::Object<TCustomUserFunction>("Engine", &TCustomUserFunction::GetEngine,
                                          &TCustomUserFunction::SetEngine, "TDeducer"),
        Prop::Method("OnCall"),
    });
const TClassRegistration<TUserFunction> HostUserFunctionClass("TUserFunction",
                                                              "TCustomUserFunction", {});

const TClassRegistration<TUserPackage> UserPackageClass(
    "TUserPackage", "TComponent",
    {
        Prop::Object<TUserPackage>("Engine", &TUserPackage::GetEngine, &TUserPackage::SetEngine,
                                   "TDeducer"),
        Prop::Method("OnCreateFunctions"),
    },
    [](TUserPackage& P, TFiler& Filer) {
      // Each function: its class name, name, comment, maximum and minimum
      // argument counts. Functions whose class is not registered cannot be
      // made again from a file: writing refuses them.
      TUserPackage* p = &P;
      Filer.DefineProperty(
          "PackageFunctions",
          [p](TReader& R) {
            p->GetFunctions().Clear();
            while (!R.EndOfList()) {
              std::string cls = R.ReadString();
              IUserFunction f = CreateFunctionByClassName(cls);
              if (!f) throw EClassNotFound(Format("Class %s not found", cls));
              f->SetFunctionName(R.ReadString());
              f->SetComment(R.ReadString());
              int64_t max = R.ReadInteger(), min = R.ReadInteger();
              if (max < INT32_MIN || max > INT32_MAX || min < INT32_MIN || min > INT32_MAX)
                KbError(SIntegerOverflow, "PackageFunctions");
              f->SetMaxArgumentCount(static_cast<int32_t>(max));
              f->SetMinArgumentCount(static_cast<int32_t>(min));
              p->GetFunctions().Add(f);
            }
          },
          [p](TWriter& W) {
            TUserFunctionList& list = p->GetFunctions();
            for (int i = 0; i < list.Count(); ++i) {
              const IUserFunction& f = list.Get(i);
              const TPersistentClass* c = ClassOf(f.get());
              if (!c || !CreateFunctionByClassName(c->Name))
                KbError(SCannotSave, "function", f->GetFunctionName(),
                        "its class is not registered");
              W.WriteString(c->Name);
              W.WriteString(f->GetFunctionName());
              W.WriteString(f->GetComment());
              W.WriteInteger(f->GetMaxArgumentCount());
              W.WriteInteger(f->GetMinArgumentCount());
            }
          },
          true);
    });

// What an engine's file carries of the components it owns: its fact sets
// and the packages beyond its default ones.
bool WrittenWithEngine(const TComponent* Owner, const TComponent* Child) {
  if (!dynamic_cast<const TDeducer*>(Owner)) return true;
  if (dynamic_cast<const TFactSet*>(Child)) return true;
  return dynamic_cast<const TUserPackage*>(Child) && !IsDefaultPackage(Child);
}

}  // namespace

std::string ComponentText(TDeducer& Engine) {
  CheckSavable(Engine);
  return WritePersistentText(&Engine, WrittenWithEngine);
}

void SaveComponent(TDeducer& Engine, TStream& Stream) { Stream.WriteString(ComponentText(Engine)); }

void SaveComponentFile(TDeducer& Engine, const std::string& FileName) {
  const std::string text = ComponentText(Engine);
  TFileStream f(FileName, fmCreate);
  f.WriteString(text);
  // A write the system refused must not pass for a saved file.
  f.Close();
}

void LoadComponentText(TDeducer& Engine, const std::string& Text) {
  if (Engine.GetCurrentActivation()) KbError(SLoadWhileFiring);
  // Everything is read into a new engine first; this one changes only
  // once that succeeded.
  TDeducer fresh;
  // Working memory is the file's alone (a new engine holds the initial
  // fact, which the file has when the engine it came from had it).
  fresh.Clear();
  ReadPersistentInto(Text, &fresh);
  Engine.SetPackages(fresh.GetPackages());
  Engine.Assign(&fresh);
  if (fresh.GetSymbolIndex() > Engine.GetSymbolIndex())
    Engine.SetSymbolIndex(fresh.GetSymbolIndex());
  // The host packages read move to this engine, replacing packages of
  // the same classes.
  std::vector<TUserPackage*> moved;
  for (int i = 0; i < fresh.GetComponentCount(); ++i)
    if (auto* p = dynamic_cast<TUserPackage*>(fresh.GetComponent(i)); p && !IsDefaultPackage(p))
      moved.push_back(p);
  for (TUserPackage* p : moved) {
    const TPersistentClass* cls = ClassOf(p);
    for (int i = Engine.GetComponentCount() - 1; i >= 0; --i)
      if (auto* old = dynamic_cast<TUserPackage*>(Engine.GetComponent(i));
          old && ClassOf(old) == cls)
        delete old;
    p->SetEngine(nullptr);
    Engine.InsertComponent(p);
    p->SetEngine(&Engine);
  }
}

void LoadComponent(TDeducer& Engine, TStream& Stream) {
  LoadComponentText(Engine, Stream.ReadAll());
}

void LoadComponentFile(TDeducer& Engine, const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  LoadComponentText(Engine, f.ReadAll());
}

}  // namespace kb
