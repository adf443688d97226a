// The public facade (deducer/Engine.h) over the engine component TDeducer.
// Everything here converts: host values to engine values and back, facts
// to snapshots, the engine's exceptions to deducer::Error, its output to
// the host's sink, and host callables to engine functions. The engine's
// own rules (type checks, modify, duplicates) decide everything else.
#include "deducer/Engine.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <new>

#include "engine/Deducer.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerFunctions.h"
#include "engine/DeducerJson.h"
#include "engine/DeducerPackages.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsFact.h"
#include "parser/KbClipsParser.h"
#include "parser/KbParser.h"

namespace deducer {

using namespace kb;

namespace {

const char* TypeName(Value::Type T) {
  switch (T) {
    case Value::Type::Void: return "a void";
    case Value::Type::Integer: return "an integer";
    case Value::Type::Float: return "a float";
    case Value::Type::Symbol: return "a symbol";
    case Value::Type::String: return "a string";
    case Value::Type::Fact: return "a fact address";
    case Value::Type::Multifield: return "a multifield";
    case Value::Type::Other: return "an engine object";
  }
  return "a";
}

}  // namespace

// What the facade's classes keep private, reached from here only.
struct Access {
  static Value Other(std::string Text) {
    Value v;
    v.Type_ = Value::Type::Other;
    v.Text_ = std::move(Text);
    return v;
  }

  // A host value for an engine value; nil (no value, or the null object
  // an unset slot and a call that returns nothing hold) is Void.
  static Value FromEngine(const IKbValue& V) {
    if (!V) return Value();
    switch (V->GetDType()) {
      case dtNone: return Value();
      case dtObject:
        if (!V->GetAsObject()) return Value();
        return Other(V->GetToString());
      case dtAtom: return Value(Symbol(std::string(V->TextPayload()->View())));
      case dtString: return Value(std::string(V->TextPayload()->View()));
      case dtInteger: return Value(static_cast<int64_t>(V->IntPayload()));
      case dtFloat: return Value(V->FloatPayload());
      case dtFactId: return Value::FactAddress(V->IntPayload());
      case dtFact: return Value::FactAddress(V->GetAsFact()->GetID());
      case dtList: {
        std::vector<Value> items;
        const TValueVector& list = *V->ListPtr();
        items.reserve(static_cast<size_t>(list.Count()));
        for (const IKbValue& item : list) items.push_back(FromEngine(item));
        return Value(std::move(items));
      }
      default: return Other(V->GetToString());
    }
  }

  // Multifields are flat in the language: a multifield among the items of
  // another gives its items.
  static void AddItems(const Value& V, TValueVector& Out) {
    if (V.Type_ == Value::Type::Multifield) {
      for (const Value& item : V.Items_) AddItems(item, Out);
      return;
    }
    Out.Add(ToEngine(V));
  }

  // An engine value for a host value (Void is the symbol nil).
  static IKbValue ToEngine(const Value& V) {
    switch (V.Type_) {
      case Value::Type::Void: return FCNil;
      case Value::Type::Integer: return NewInteger(V.Integer_);
      case Value::Type::Float: return NewFloat(V.Float_);
      case Value::Type::Symbol: return NewAtom(V.Text_);
      case Value::Type::String: return NewString(V.Text_);
      case Value::Type::Fact: {
        if (V.Integer_ < 0 || V.Integer_ > std::numeric_limits<int32_t>::max())
          KbError(SNoSuchFact, std::to_string(V.Integer_));
        return NewFactId(static_cast<int32_t>(V.Integer_));
      }
      case Value::Type::Multifield: {
        IValueVector items = NewVector();
        AddItems(V, *items);
        return NewList(items);
      }
      case Value::Type::Other: break;
    }
    KbError(SNoEngineForm, V.Text_);
  }

  static Fact Snapshot(const TFact& F) {
    Fact r;
    r.Id_ = F.GetID();
    const IFactTemplate& t = F.GetTemplate();
    r.Template_ = t->GetTemplateName();
    r.Ordered_ = t->IsOrdered();
    if (r.Ordered_) {
      const int index = t->IndexOfSlot(SDefaultSlotName);
      Value fields = index < 0 ? Value() : FromEngine(F.PeekValue(index));
      if (fields.Type_ == Value::Type::Multifield) r.Fields_ = std::move(fields.Items_);
    } else {
      r.Slots_.reserve(static_cast<size_t>(t->GetSlotCount()));
      for (int i = 0; i < t->GetSlotCount(); ++i)
        r.Slots_.emplace_back(t->GetSlotAt(i)->GetName(), FromEngine(F.PeekValue(i)));
    }
    r.Text_ = F.GetToString();
    return r;
  }
};

namespace {

// Runs Body, raising what the engine raises as deducer::Error.
template <class F>
auto Guarded(F&& Body) -> decltype(Body()) {
  try {
    return Body();
  } catch (const Error&) {
    throw;
  } catch (const EKbParseException& e) {
    throw Error(e.Message(), e.GetLineNumber());
  } catch (const Exception& e) {
    throw Error(e.Message());
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw Error(e.what());
  }
}

// Refuses an argument the host function's parameter cannot take, with the
// message the built-in functions give for the same mistake.
void CheckArgument(detail::ArgKind Kind, const IKbValue& V, const std::string& Function) {
  const TKbType type = V ? V->GetDType() : dtNone;
  switch (Kind) {
    case detail::ArgKind::Integer:
      if (type != dtInteger) KbError(SNotCorrectType, "integer", EnumName(type));
      break;
    case detail::ArgKind::Float:
      if (type != dtInteger && type != dtFloat) KbError(SMissingNumeric, Function);
      break;
    case detail::ArgKind::Text:
      if (type != dtAtom && type != dtString) KbError(SNotCorrectType, "string", EnumName(type));
      break;
    case detail::ArgKind::Symbol:
      if (type != dtAtom) KbError(SNotCorrectType, "symbol", EnumName(type));
      break;
    case detail::ArgKind::Multifield:
      if (type != dtList) KbError(SNotCorrectType, "list", EnumName(type));
      break;
    case detail::ArgKind::Bool:
    case detail::ArgKind::Any: break;
  }
}

// A host callable registered with one engine.
class THostFunction final : public TKbUserFunction {
 public:
  THostFunction(const std::string& Name, std::unique_ptr<detail::HostFunction> Function)
      : TKbUserFunction(Name), Function_(std::move(Function)) {
    SetMinArgumentCount(std::max(Function_->MinCount, 0));
    SetMaxArgumentCount(Function_->MaxCount < 0 ? MaxArguments : Function_->MaxCount);
  }

  void Call(TFunctionCall& FunCall, TKbContext* Context, IKbValue& Result) override {
    TKbUserFunction::Call(FunCall, Context, Result);
    const std::string& name = GetFunctionName();
    std::vector<Value> args;
    args.reserve(static_cast<size_t>(FunCall.GetArgumentCount()));
    for (int i = 0; i < FunCall.GetArgumentCount(); ++i) {
      IKbValue v = FunCall.Eval(i, Context);
      if (static_cast<size_t>(i) < Function_->Count) CheckArgument(Function_->Kinds[i], v, name);
      args.push_back(Access::FromEngine(v));
    }
    Value r;
    try {
      r = Function_->Call(args);
    } catch (const Exception&) {
      throw;
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      // Reaches the language as any function's error ("try" catches it).
      throw EKbException(e.what());
    }
    if (!r.IsVoid()) Result = Access::ToEngine(r);
  }

 private:
  std::unique_ptr<detail::HostFunction> Function_;
};

int32_t EngineFactId(int64_t Id) {
  return Id < 0 || Id > std::numeric_limits<int32_t>::max() ? -1 : static_cast<int32_t>(Id);
}

}  // namespace

const char* LibraryVersion() noexcept { return kb::LibraryVersion(); }

Error::Error(const std::string& Message, int Line) : std::runtime_error(Message), Line_(Line) {}

void Value::Mismatch(Type Wanted) const {
  throw Error(Format(SValueNotOfType, TypeName(Wanted), TypeName(Type_)));
}

std::string Value::ToString() const {
  switch (Type_) {
    case Type::Void: return std::string();
    case Type::Integer: return std::to_string(Integer_);
    case Type::Float: return FloatToStr(Float_);
    case Type::Symbol:
    case Type::Other: return Text_;
    case Type::String: return QuoteString(Text_);
    case Type::Fact: return "<Fact-" + std::to_string(Integer_) + ">";
    case Type::Multifield: {
      std::string r = "(";
      for (size_t i = 0; i < Items_.size(); ++i) {
        if (i > 0) r += ' ';
        r += Items_[i].ToString();
      }
      return r + ")";
    }
  }
  return std::string();
}

const Value& Fact::Get(std::string_view Slot) const {
  for (const auto& [name, value] : Slots_)
    if (name == Slot) return value;
  throw Error(Format(SInvalidSlotName, Slot));
}

// ------------------------------------------------------------------ Engine

struct Engine::Impl {
  // Declared first, so that it outlives the engine that writes to it.
  std::unique_ptr<detail::OutputSink> Sink;
  TDeducer Kb;

  Impl() {
    Kb.OnPrintOut = [this](TPersistent*, const std::string& Channel, const std::string& Text) {
      Write(Channel, Text);
    };
  }

  // The engine ends lines with CR LF; the host gets "\n".
  void Write(const std::string& Channel, const std::string& Text) {
    std::string text;
    text.reserve(Text.size());
    for (size_t i = 0; i < Text.size(); ++i)
      if (Text[i] != '\r' || i + 1 >= Text.size() || Text[i + 1] != '\n') text += Text[i];
    const std::string_view channel = Channel.empty() ? std::string_view("t") : Channel;
    if (Sink)
      Sink->Write(channel, text);
    else
      std::fwrite(text.data(), 1, text.size(), stdout);
  }

  // The fact in working memory holding the values What was asserted with:
  // the new fact, or the equal one that kept it out.
  Fact Asserted(int32_t Id, const IFact& What) {
    if (Id >= 0) {
      if (IFact f = Kb.Facts().GetFactByID(Id)) return Access::Snapshot(*f);
    }
    if (TFact* equal = Kb.Facts().FindEqual(*What)) return Access::Snapshot(*equal);
    // Asserted and at once retracted again (by a rule's test on the way):
    // what was asserted, as it was.
    return Access::Snapshot(*What);
  }

  Fact AssertSlots(std::string_view Name, const SlotValues& Slots) {
    IFactTemplate t = Kb.FindFactTemplate(Name);
    if (!t) KbError(SUnknownFactTemplate, Name);
    if (t->IsOrdered()) KbError(SOrderedTemplate, Name);
    IFact fact(new TFact(t));
    const bool staticChecks = Kb.GetTypeChecks().Contains(tcStatic);
    for (const auto& [slotName, value] : Slots) {
      IFactSlot slot = t->GetSlot(slotName);
      IKbValue v = Access::ToEngine(value);
      // A constant of a type the slot does not allow is refused as it is
      // in a fact read from text (computed values are checked by assert).
      const TKbType type = v->GetDType();
      if (staticChecks && !slot->IsMultiSlot() &&
          (type == dtAtom || type == dtString || type == dtInteger || type == dtFloat) &&
          !slot->GetSlotType().Contains(type))
        KbError(SNotCorrectType, TypeSetText(slot->GetSlotType(), ", "), EnumName(type));
      // One value in a multislot is a multifield of one, as in text.
      if (slot->IsMultiSlot() && type != dtList) {
        IValueVector items = NewVector();
        items->Add(v);
        v = NewList(items);
      }
      fact->SetValue(slot->GetIndex(), v);
    }
    return Asserted(Kb.AssertParsed(fact), fact);
  }

  Fact AssertFields(std::string_view Relation, const std::vector<Value>& Fields) {
    IFactTemplate t = Kb.FindFactTemplate(Relation);
    if (!t) {
      if (!IsPlainSymbol(Relation)) KbError(SNameNotSymbol, Relation);
      t = Kb.CreateFactTemplate(std::string(Relation));
    }
    if (!t->IsOrdered()) KbError(STemplateHasSlots, Relation);
    IFact fact(new TFact(t));
    fact->SetValue(SDefaultSlotName, Access::ToEngine(Value(Fields)));
    return Asserted(Kb.AssertParsed(fact), fact);
  }

  // Modify is the language's "modify", called with values: the same
  // checks, the same retract and assert, and working memory as it was when
  // it fails.
  Fact ModifyFact(int64_t Id, const SlotValues& Changes) {
    const int32_t id = EngineFactId(Id);
    IFact fact = id < 0 ? IFact() : Kb.Facts().GetFactByID(id);
    if (!fact) KbError(SNoSuchFact, std::to_string(Id));
    IFunCall call(new TFunctionCall(&Kb, "modify"));
    call->AddArgument(NewFactId(id));
    for (const auto& [slotName, value] : Changes) {
      IValueVector change = NewVector();
      change->Add(NewAtom(slotName));
      change->Add(Access::ToEngine(value));
      call->AddArgument(change);
    }
    IKbValue result = call->Execute(Kb.GetContext());
    const int32_t newId = result && result->GetDType() == dtFactId ? result->IntPayload() : -1;
    // The modified object is the one that went back (or was kept out).
    return Asserted(newId, fact);
  }
};

Engine::Engine() : Impl_(Guarded([] { return std::make_unique<Impl>(); })) {}
Engine::~Engine() = default;

Engine::Impl& Engine::Self() const {
  if (!Impl_) throw Error(SMovedEngine);
  return *Impl_;
}
Engine::Engine(Engine&&) noexcept = default;
Engine& Engine::operator=(Engine&&) noexcept = default;

void Engine::Load(std::string_view Text) {
  Guarded([&] { Self().Kb.Parse(std::string(Text)); });
}

void Engine::LoadFile(const std::string& Path) {
  Guarded([&] { Self().Kb.LoadFromFile(Path); });
}

Value Engine::Eval(std::string_view Expression) {
  return Guarded([&] {
    const std::string text(Expression);
    const size_t start = text.find_first_not_of(" \t\r\n");
    TDeducer& kb = Self().Kb;
    if (start != std::string::npos && text[start] == '(')
      return Access::FromEngine(kb.ParseNExecuteFunCall(text));
    // A constant or a global variable.
    return Access::FromEngine(kb.ParseValue(text)->Resolve(kb.GetContext()));
  });
}

Fact Engine::Assert(std::string_view FactText) {
  return Guarded([&] {
    Impl& self = Self();
    IFact fact = self.Kb.ParseFact(std::string(FactText));
    return self.Asserted(self.Kb.AssertParsed(fact), fact);
  });
}

Fact Engine::Assert(std::string_view Template, const SlotValues& Slots) {
  return Guarded([&] { return Self().AssertSlots(Template, Slots); });
}

Fact Engine::AssertOrdered(std::string_view Relation, const std::vector<Value>& Fields) {
  return Guarded([&] { return Self().AssertFields(Relation, Fields); });
}

bool Engine::Retract(int64_t FactId) {
  return Guarded([&] {
    const int32_t id = EngineFactId(FactId);
    TDeducer& kb = Self().Kb;
    IFact fact = id < 0 ? IFact() : kb.Facts().GetFactByID(id);
    if (!fact) return false;
    kb.RetractFact(fact);
    return true;
  });
}

Fact Engine::Modify(int64_t FactId, const SlotValues& Changes) {
  return Guarded([&] { return Self().ModifyFact(FactId, Changes); });
}

int64_t Engine::Run(int64_t Limit) {
  return Guarded([&] {
    constexpr int64_t most = std::numeric_limits<int32_t>::max();
    return static_cast<int64_t>(
        Self().Kb.Run(static_cast<int32_t>(Limit < 0 || Limit > most ? most : Limit)));
  });
}

void Engine::Halt() noexcept {
  if (Impl_) Impl_->Kb.SetHalted(true);
}

void Engine::Reset() {
  Guarded([&] { Self().Kb.Reset(); });
}

void Engine::Clear() {
  Guarded([&] { Self().Kb.Clear(); });
}

std::vector<Fact> Engine::Facts() const {
  return Guarded([&] {
    std::vector<Fact> r;
    for (const IFact& f : Self().Kb.Facts().Snapshot()) r.push_back(Access::Snapshot(*f));
    return r;
  });
}

std::vector<Fact> Engine::Facts(std::string_view Template) const {
  return Guarded([&] {
    std::vector<Fact> r;
    for (const IFact& f : Self().Kb.Facts().Snapshot())
      if (f->GetTemplate()->GetTemplateName() == Template) r.push_back(Access::Snapshot(*f));
    return r;
  });
}

std::optional<Fact> Engine::FindFact(int64_t FactId) const {
  return Guarded([&]() -> std::optional<Fact> {
    const int32_t id = EngineFactId(FactId);
    IFact fact = id < 0 ? IFact() : Self().Kb.Facts().GetFactByID(id);
    if (!fact) return std::nullopt;
    return Access::Snapshot(*fact);
  });
}

std::string Engine::FactsJson() const {
  return Guarded([&] { return kb::FactsJson(Self().Kb); });
}

void Engine::SaveFactsJson(const std::string& Path) const {
  Guarded([&] { kb::SaveFactsJson(Self().Kb, Path); });
}

int64_t Engine::LoadFactsJson(std::string_view Json) {
  return Guarded([&] { return kb::LoadFactsJson(Self().Kb, std::string(Json)); });
}

int64_t Engine::LoadFactsJsonFile(const std::string& Path) {
  return Guarded([&] { return kb::LoadFactsJsonFile(Self().Kb, Path); });
}

void Engine::AddHostFunction(std::string_view Name,
                             std::unique_ptr<detail::HostFunction> Function) {
  Guarded([&] {
    const std::string name(Name);
    if (!IsPlainSymbol(name)) KbError(SNameNotSymbol, name);
    if (Function->MaxCount >= 0 && Function->MaxCount < Function->MinCount)
      KbError(SBadArgumentCounts, name, Function->MinCount, Function->MaxCount);
    TDeducer& kb = Self().Kb;
    // The host's function takes the name whatever held it.
    if (kb.ContainsUserFunction(name)) kb.UserFunctions().Remove(name);
    kb.AddUserFunction(IUserFunction(new THostFunction(name, std::move(Function))));
  });
}

void Engine::SetOutputSink(std::unique_ptr<detail::OutputSink> Sink) {
  Self().Sink = std::move(Sink);
}

}  // namespace deducer
