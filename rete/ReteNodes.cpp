// Node evaluation: what each kind of node does with a token. The terminal
// nodes are in ReteActivations.cpp, the joins' backward chaining in
// ReteGoals.cpp.
#include "rete/ReteNodes.h"

#include <algorithm>
#include <typeinfo>
#include <utility>

#include "framework/ScopeExit.h"
#include "rete/KbRule.h"
#include "rete/ReteActivations.h"
#include "rete/ReteNetwork.h"

namespace kb {

namespace {

constexpr TEnumName<TCallType> CallTypeNames[] = {KB_ENUM_NAME(ctLeft), KB_ENUM_NAME(ctRight),
                                                  KB_ENUM_NAME(ctSingle), KB_ENUM_NAME(ctActivate)};
static_assert(std::size(CallTypeNames) == ctActivate + 1);

// Sets a context's token and fact for one evaluation and clears them again,
// also on failure.
class TMatchScope {
 public:
  TMatchScope(TKbContext* Context, const IReteToken& Token, const IFact& Fact) : C_(Context) {
    C_->SetToken(Token);
    C_->SetFact(Fact);
  }
  ~TMatchScope() {
    C_->SetToken(nullptr);
    C_->SetFact(nullptr);
  }
  TMatchScope(const TMatchScope&) = delete;
  TMatchScope& operator=(const TMatchScope&) = delete;

 private:
  TKbContext* C_;
};

int32_t ArgInt(const TNodeArgsArray& Args, size_t I) {
  return I < Args.size() && Args[I].IsNumeric() ? static_cast<int32_t>(Args[I].AsInteger())
                                                : NoSubIndex;
}

std::string ArgText(const TNodeArgsArray& Args, size_t I) {
  return I < Args.size() ? Args[I].AsString() : std::string();
}

// The value a slot accessor reads, or element Sub of it.
const IKbValue* ValueAt(const TSlotAccessor& Slot, const TFact& Fact, int32_t Sub) {
  const IKbValue* v = Slot.Get(Fact);
  return Sub == NoSubIndex ? v : ListElement(v, Sub);
}

int32_t HashOf(const IKbValue* Value) { return Value && *Value ? (*Value)->GetHashCode() : 0; }

}  // namespace

KB_DEFINE_ENUM_INFO(TCallType, CallTypeNames)

// -------------------------------------------------------------------- nodes

TReteNode::TReteNode(TReteNetwork* Rete)
    : Rete_(Rete), Engine_(Rete ? Rete->GetEngine() : nullptr) {}

TReteNode::~TReteNode() = default;

void TReteNode::CallMatch(const TMatch&, TCallType CallType) {
  KbError(SInvalidCallType, EnumName(CallType));
}

std::string TReteNode::GetName() const { return "Node" + IntToStr(Number_); }

TKbContext* TReteNode::GetContext() {
  if (!Context_ && Rete_ && Rete_->GetEngine())
    Context_.reset(Rete_->GetEngine()->GetContext()->Push());
  if (!Context_) KbError(SUnknownEngine);
  return Context_.get();
}

namespace {

IFunCall Substitute(const IFunCall& Call, const TKbToken* Token, const TFact* Fact) {
  IFunCall copy = Call->CloneCall();
  for (int i = 0; i < copy->GetArgumentCount(); ++i) {
    const IKbValue& a = copy->GetArgument(i);
    if (!a) continue;
    if (const TSlotReference* r = a->GetSlotReference())
      copy->SetArgument(i, r->Resolve(Token, Fact));
    else if (a->GetDType() == dtFunCall)
      copy->SetArgument(i, NewFunCall(Substitute(a->GetAsFunCall(), Token, Fact)));
  }
  return copy;
}

}  // namespace

IFunCall TReteNode::Evaluate(const IFunCall& Call, const IReteToken& Token,
                             const IFact& Fact) const {
  return Call ? Substitute(Call, Token.get(), Fact.get()) : IFunCall();
}

std::string TReteNode::GetToString() const {
  return GetName() + " In/Out#: " + IntToStr(GetInDegree()) + "/" + IntToStr(GetEdgeCount()) +
         " RuleUse: " + IntToStr(RuleUseCount_);
}

// ------------------------------------------------------- pattern match node

TPatternMatchNode::TPatternMatchNode(TReteNetwork* Rete, TPatternMatchTest Test,
                                     TNodeArgsArray Args, IKbValue Value)
    : TReteNode(Rete), Test_(Test), Args_(std::move(Args)), Value_(std::move(Value)) {
  ValueIsCall_ = Value_ && Value_->GetDType() == dtFunCall;
  if (ValueIsCall_) Compiled_ = TCompiledPredicate::Compile(Value_);
  switch (Test_) {
    case pmtTestClassType:
      if (Value_) ClassName_ = Value_->GetAsString();
      break;
    case pmtTestSlotValueEqual:
    case pmtTestSlotValueNotEqual:
      AddressA_ = ArgText(Args_, 0) == SPatternBinding;
      SlotA_.SetName(ArgText(Args_, 0));
      SlotB_.SetName(ArgText(Args_, 1));
      IntA_ = ArgInt(Args_, 2);
      IntB_ = ArgInt(Args_, 3);
      break;
    case pmtTestEqual:
    case pmtTestNotEqual:
    case pmtTestMultiSlotEqual:
    case pmtTestMultiSlotNotEqual:
    case pmtTestMultiSlotLength:
      SlotA_.SetName(ArgText(Args_, 0));
      IntA_ = ArgInt(Args_, 1);
      break;
    case pmtTestMultiSlotMultiField:
      for (size_t i = 0; i + 2 < Args_.size();) {
        TCut c{TSlotAccessor(ArgText(Args_, i)), ArgInt(Args_, i + 1), {}};
        const int32_t count = ArgInt(Args_, i + 2);
        i += 3;
        for (int32_t k = 0; k < count && i < Args_.size(); ++k)
          c.Multi.push_back(ArgInt(Args_, i++));
        if (!c.Multi.empty()) Cuts_.push_back(std::move(c));
      }
      break;
    default: break;
  }
}

bool TPatternMatchNode::MatchesTemplate(const TFactTemplate* Template) const {
  for (const TFactTemplate* t = Template; t; t = t->GetParent().get())
    if (t->GetTemplateName() == ClassName_) return true;
  return false;
}

bool TPatternMatchNode::CallHolds(const IReteToken& Token) {
  if (Compiled_ && MayCompute()) {
    const TCompiledPredicate::TTruth t =
        Compiled_->Test(PredicateFacts(*Token, Token->GetFact().get()));
    if (t != TCompiledPredicate::ptUnknown) return t == TCompiledPredicate::ptTrue;
  }
  TKbContext* c = GetContext();
  TMatchScope scope(c, Token, Token->GetFact());
  IKbValue r = Value_->Resolve(c);
  return !IsFalse(r);
}

bool TPatternMatchNode::Holds(const IReteToken& Token) {
  const TFact* f = Token->GetFact().get();
  if (!f) return false;
  // A removal passes a test that calls a function: what the call said when
  // the fact was added may not be what it says now, and a removal that
  // meets nothing is harmless.
  const bool removing = Token->GetTag() == taRemove;
  switch (Test_) {
    case pmtUnknown:
    case pmtFailTest: return false;
    case pmtTestClassType: return MatchesTemplate(f->GetTemplate().get());
    case pmtTestEqual:
    case pmtTestNotEqual: {
      if (ValueIsCall_) return removing || (CallHolds(Token) == (Test_ == pmtTestEqual));
      const IKbValue* v = SlotA_.Get(*f);
      if (!v) return false;
      return (*v)->Equals(Value_) == (Test_ == pmtTestEqual);
    }
    case pmtTestMultiSlotEqual:
    case pmtTestMultiSlotNotEqual: {
      const IKbValue* e = ListElement(SlotA_.Get(*f), IntA_);
      if (!e) return false;
      if (ValueIsCall_) return removing || (CallHolds(Token) == (Test_ == pmtTestMultiSlotEqual));
      return (*e)->Equals(Value_) == (Test_ == pmtTestMultiSlotEqual);
    }
    case pmtTestMultiSlotLength: return LengthHolds(*f);
    case pmtTestSlotValueEqual:
    case pmtTestSlotValueNotEqual: {
      const IKbValue* b = ValueAt(SlotB_, *f, IntB_);
      if (AddressA_) return b && IsAddressOf(*b, *f) == (Test_ == pmtTestSlotValueEqual);
      const IKbValue* a = ValueAt(SlotA_, *f, IntA_);
      if (!a || !b) return false;
      return (*a)->Equals(*b) == (Test_ == pmtTestSlotValueEqual);
    }
    case pmtTestMultiSlotMultiField: return false;
  }
  return false;
}

void TPatternMatchNode::Filter(const IReteToken& Token, const TTokenSink& Out) {
  if (Test_ != pmtTestMultiSlotMultiField) {
    if (Holds(Token)) Out(Token);
    return;
  }
  Segment(Token, Out);
}

namespace {

// The ways of sharing Free fields out among Parts segments in order (some
// empty), or Limit + 1 when there are more than Limit.
uint64_t Compositions(int64_t Free, int64_t Parts, uint64_t Limit) {
  if (Free < 0) return 0;
  if (Parts <= 1) return 1;
  // C(Free + Parts - 1, r), each step an exact binomial that only grows.
  const int64_t n = Free + Parts - 1;
  const int64_t r = std::min(Free, Parts - 1);
  uint64_t c = 1;
  for (int64_t i = 1; i <= r; ++i) {
    c = c * static_cast<uint64_t>(n - r + i) / static_cast<uint64_t>(i);
    if (c > Limit) return Limit + 1;
  }
  return c;
}

// The next way of sharing the same fields out (Parts holds a way): the
// ways come with the first segment longest first, then the second, and so
// on. False after the last.
bool NextComposition(std::vector<int64_t>& Parts) {
  for (size_t i = Parts.size() - (Parts.empty() ? 0 : 1); i-- > 0;) {
    if (Parts[i] == 0) continue;
    int64_t tail = 1;
    for (size_t j = i + 1; j < Parts.size(); ++j) tail += std::exchange(Parts[j], 0);
    --Parts[i];
    Parts[i + 1] = tail;
    return true;
  }
  return false;
}

// Items with the segment of each multifield position made one nested list.
IKbValue CutList(const TValueItems& Items, const std::vector<int32_t>& Multi,
                 const std::vector<int64_t>& Parts) {
  TValueItems out;
  size_t raw = 0;
  int32_t position = 0;
  auto take = [&](size_t Count) {
    out.insert(out.end(), Items.begin() + static_cast<ptrdiff_t>(raw),
               Items.begin() + static_cast<ptrdiff_t>(raw + Count));
    raw += Count;
  };
  for (size_t j = 0; j < Multi.size(); ++j) {
    take(static_cast<size_t>(Multi[j] - position));
    const auto from = Items.begin() + static_cast<ptrdiff_t>(raw);
    const size_t length = static_cast<size_t>(Parts[j]);
    out.push_back(NewList(
        IValueVector(new TValueVector(TValueItems(from, from + static_cast<ptrdiff_t>(length))))));
    raw += length;
    position = Multi[j] + 1;
  }
  take(Items.size() - raw);
  return NewList(IValueVector(new TValueVector(std::move(out))));
}

}  // namespace

void TPatternMatchNode::Segment(const IReteToken& Token, const TTokenSink& Out) {
  // A multifield term takes a segment of the list, which the token's copy
  // of the fact holds as one nested list element. Every way of choosing
  // the segments that leaves each single-field position one field (and a
  // list of exactly its positions, unless the pattern leaves it open) is
  // a token, made one after another without recursion.
  const TFact* f = Token->GetFact().get();
  if (!f) return;
  struct TState {
    const TCut* Cut;
    int Index;                   // the slot in the fact
    const TValueItems* Items;    // nullptr: nil, left as it is
    int64_t Free;                // the fields the segments share
    std::vector<int64_t> Parts;  // segment lengths (then, open, the rest)
  };
  std::vector<TState> states;
  states.reserve(Cuts_.size());
  uint64_t ways = 1;
  for (const TCut& c : Cuts_) {
    const IKbValue* v = c.Slot.Get(*f);
    if (!v || !*v || c.Multi.front() < 0) return;
    TState s{&c, c.Slot.GetCachedIndex(), nullptr, 0, {}};
    if (!(*v)->Equals(FCNil)) {
      if ((*v)->GetDType() != dtList) return;
      s.Items = &(*v)->ListPtr()->Items();
      const auto m = static_cast<int64_t>(c.Multi.size());
      const bool open = c.Positions < 0;
      if (!open && c.Positions <= c.Multi.back()) return;
      // The single-field positions take one field each: all of them, or
      // (open) those before the last multifield term.
      const int64_t singles = open ? c.Multi.back() - (m - 1) : c.Positions - m;
      s.Free = static_cast<int64_t>(s.Items->size()) - singles;
      if (s.Free < 0) return;
      s.Parts.assign(static_cast<size_t>(m + (open ? 1 : 0)), 0);
      s.Parts[0] = s.Free;
      constexpr auto limit = static_cast<uint64_t>(MaxSegmentations);
      ways *= Compositions(s.Free, static_cast<int64_t>(s.Parts.size()), limit);
      if (ways > limit) {
        // A removal finds nothing to withdraw: the fact's assertion (or
        // the rule's addition) failed here.
        if (Token->GetTag() == taRemove) return;
        KbError(STooManySegmentations, "f-" + IntToStr(f->GetID()), MaxSegmentations);
      }
    }
    states.push_back(std::move(s));
  }
  if (std::none_of(states.begin(), states.end(), [](const TState& s) { return s.Items; })) {
    Out(Token);
    return;
  }
  for (;;) {
    IFact clone = f->CloneFact();
    // The lengths tell this match from the fact's others.
    uint64_t cut = 0x243F6A8885A308D3ull;
    for (const TState& s : states) {
      if (!s.Items) continue;
      clone->SetValue(s.Index, CutList(*s.Items, s.Cut->Multi, s.Parts));
      for (int64_t length : s.Parts) {
        cut = (cut ^ static_cast<uint64_t>(length)) * 0x100000001B3ull;
        cut ^= cut >> 29;
      }
    }
    Out(IReteToken(new TKbToken(Token->GetTag(), clone, ShareSnapshot, cut)));
    // The last list's segments change first.
    size_t i = states.size();
    for (; i > 0; --i) {
      TState& s = states[i - 1];
      if (NextComposition(s.Parts)) break;
      std::fill(s.Parts.begin(), s.Parts.end(), 0);
      if (!s.Parts.empty()) s.Parts[0] = s.Free;
    }
    if (i == 0) return;
  }
}

bool TPatternMatchNode::CallNode(const IReteToken& Token, TCallType) {
  const TFact* f = Token->GetFact().get();
  if (!f || Token->GetTag() == taClear) {
    CallChildren(Token);
    return true;
  }
  switch (Test_) {
    case pmtTestClassType:
      // A root, the most common node: what Holds does for it.
      if (MatchesTemplate(f->GetTemplate().get())) CallChildren(Token);
      break;
    case pmtTestMultiSlotLength:
      // The length of an ordered fact's list, the next most common.
      if (LengthHolds(*f)) CallChildren(Token);
      break;
    case pmtTestMultiSlotMultiField:
      Segment(Token, [this](const IReteToken& Out) { CallChildren(Out); });
      break;
    default:
      if (Holds(Token)) CallChildren(Token);
  }
  return true;
}

std::string TPatternMatchNode::GetToString() const {
  std::string r = TReteNode::GetToString();
  if (Value_) r += " Value: " + Value_->GetToString();
  r += " Test: ";
  r += EnumName(Test_);
  if (!Args_.empty()) {
    r += " Args: (";
    for (size_t i = 0; i < Args_.size(); ++i) {
      if (i) r += ", ";
      r += Args_[i].AsString();
    }
    r += ")";
  }
  return r;
}

// ----------------------------------------------------------------- test node

int TTestNode::AddTest(TSlotTestType SlotTestType, const std::string&, int32_t SubIndex,
                       const IKbValue& Value) {
  auto test = std::make_unique<TKbPatternMatchTest>(nullptr, SlotTestType, SubIndex, Value);
  if (auto fast = TCompiledPredicate::Compile(test->GetSlotValue()))
    Fast_.emplace(test.get(), std::move(fast));
  Tests_.push_back(std::move(test));
  Recompile();
  return GetTestCount() - 1;
}

void TTestNode::ClearTests() {
  Fast_.clear();
  Tests_.clear();
  Recompile();
}

void TTestNode::DeleteTest(int I) {
  if (I < 0 || I >= GetTestCount()) ListIndexError(I);
  Fast_.erase(Tests_[static_cast<size_t>(I)].get());
  Tests_.erase(Tests_.begin() + I);
  Recompile();
}

void TTestNode::Recompile() {
  ++Generation_;
  Compiled_.clear();
  HasPredicates_ = false;
  for (const auto& t : Tests_) {
    auto* j = dynamic_cast<const TKbJoinTest*>(t.get());
    auto* p = j ? nullptr : dynamic_cast<const TKbPatternMatchTest*>(t.get());
    const auto fast = p ? Fast_.find(p) : Fast_.end();
    Compiled_.push_back({j, p, fast == Fast_.end() ? nullptr : fast->second.get()});
    HasPredicates_ = HasPredicates_ || p;
  }
}

bool TTestNode::Equals(const TTestNode* Other) const {
  if (Other == this) return true;
  if (!Other || typeid(*Other) != typeid(*this) || Other->GetTestCount() != GetTestCount() ||
      HasPredicates_ || Other->HasPredicates_)
    return false;
  for (const TCompiled& c : Compiled_) {
    bool found = false;
    for (const TCompiled& o : Other->Compiled_)
      if (o.Join && c.Join->Equals(o.Join)) {
        found = true;
        break;
      }
    if (!found) return false;
  }
  return true;
}

bool TTestNode::RunTests(const TKbToken* Token, const IFact& Fact) {
  for (const TCompiled& c : Compiled_)
    if (c.Join && !c.Join->Test(Token, Fact.get())) return false;
  if (!HasPredicates_) return true;
  if (Token) return RunPredicates(*Token, Fact.get());
  return RunPredicates(TMatch{nullptr, nullptr, nullptr, nullptr, 0, 0, taAdd}, Fact.get());
}

bool TTestNode::RunGeneral(const TKbPatternMatchTest& Check, const IReteToken& Token,
                           const TFact* Fact) {
  TKbContext* ctx = GetContext();
  TMatchScope scope(ctx, Token, IFact(const_cast<TFact*>(Fact)));
  return Check.PerformTest(ctx);
}

bool TTestNode::CallNode(const IReteToken& Token, TCallType CallType) {
  if (Token->GetTag() == taClear || !Token->GetFact()) {
    CallChildren(Token);
    return true;
  }
  // The right input is a root that passes no fact.
  if (CallType != ctLeft) return true;
  // A removal goes on whatever the tests say now.
  if (Token->GetTag() != taRemove && !RunTests(Token.get(), nullptr)) return true;
  IReteToken out(TKbToken::NewExtended(Token, Rete_->GetEngine()->GetNullFact()));
  out->SetTag(Token->GetTag());
  CallChildren(out);
  return true;
}

void TTestNode::CallMatch(const TMatch& Match, TCallType CallType) {
  if (CallType != ctLeft) KbError(SInvalidCallType, EnumName(CallType));
  if (!MatchPasses(Match, nullptr)) return;
  // A rule's last test element (the usual case) hands the match to the
  // terminal node, which extends it by the null fact as it keeps it.
  if (Edges_.size() == 1 && Edges_.front().CallType == ctActivate) {
    static_cast<TPatternMatchTerminalNode*>(Edges_.front().Target)
        ->CallMatchWith(Match, Engine_->GetNullFact().get());
    return;
  }
  // The match goes on with the null fact: its facts in one array, on the
  // stack unless the match is long.
  constexpr int32_t InPlace = 16;
  if (Match.Count > InPlace) {
    std::vector<const TFact*> heap(static_cast<size_t>(Match.Count));
    PassOn(Match, heap.data());
    return;
  }
  const TFact* facts[InPlace];
  PassOn(Match, facts);
}

void TTestNode::PassOn(const TMatch& Match, const TFact** Facts) {
  Match.CopyFacts(Facts);
  const TFact* null = Engine_->GetNullFact().get();
  CallChildren(TMatch{Facts, null, Match.Left, Match.Right, Match.Count + 1,
                      TKbToken::ExtendSortCode(Match.SortCode, *null), Match.Action});
}

std::string TTestNode::GetToString() const {
  std::string r = TReteNode::GetToString() + " NumTests: " + IntToStr(GetTestCount());
  for (const auto& t : Tests_) r += " (" + t->GetToString() + ")";
  return r;
}

// ----------------------------------------------------------------- join node

TJoinNode::TJoinNode(TReteNetwork* Rete, TJoinMode Mode, bool Unique, int32_t HashSize)
    : TTestNode(Rete), Mode_(Mode), Unique_(Unique), HashSize_(HashSize < 1 ? 1 : HashSize) {
  ClearMemory();
}

void TJoinNode::AddTest(TSlotTestType SlotTestType, int32_t TokenIndex,
                        const std::string& LeftIndex, const std::string& RightIndex) {
  Tests_.push_back(std::make_unique<TKbJoinTest>(SlotTestType, LeftIndex, RightIndex, TokenIndex));
  Recompile();
}

void TJoinNode::AddTest(TSlotTestType SlotTestType, int32_t TokenIndex,
                        const std::string& LeftIndex, int32_t LeftSubIndex,
                        const std::string& RightIndex, int32_t RightSubIndex) {
  if (LeftSubIndex == NoSubIndex && RightSubIndex == NoSubIndex) {
    AddTest(SlotTestType, TokenIndex, LeftIndex, RightIndex);
    return;
  }
  Tests_.push_back(std::make_unique<TKbJoinTest>(SlotTestType, LeftIndex, LeftSubIndex, RightIndex,
                                                 RightSubIndex, TokenIndex));
  Recompile();
}

void TJoinNode::PrepareShortCut() {
  ShortCut_ = nullptr;
  auto pick = [&](TJoinTestType Type) -> size_t {
    for (size_t i = 0; i < Tests_.size(); ++i) {
      auto* j = dynamic_cast<const TKbJoinTest*>(Tests_[i].get());
      if (j && j->GetJoinTestType() == Type && !j->IsNotEquals()) return i;
    }
    return Tests_.size();
  };
  size_t at = pick(tstSlot);
  if (at == Tests_.size()) at = pick(tstMultiSlot);
  if (at < Tests_.size()) {
    std::rotate(Tests_.begin(), Tests_.begin() + static_cast<ptrdiff_t>(at),
                Tests_.begin() + static_cast<ptrdiff_t>(at) + 1);
    Recompile();
    ShortCut_ = Compiled_.front().Join;
  }
  Key_.clear();
  Imaged_.clear();
  Rest_.clear();
  for (const TCompiled& c : Compiled_) {
    const TKbJoinTest* j = c.Join;
    if (ShortCut_ && j && !j->IsNotEquals())
      Key_.push_back({TSlotAccessor(j->GetLeftIndex()), TSlotAccessor(j->GetRightIndex()),
                      j->GetLeftSubIndex(), j->GetRightSubIndex(), j->GetTokenIndex(),
                      j->IsLeftAddress(), j->IsRightAddress()});
    if (j && j->GetJoinTestType() == tstSlot && j->GetLeftSubIndex() == NoSubIndex &&
        j->GetRightSubIndex() == NoSubIndex)
      Imaged_.push_back({TSlotAccessor(j->GetLeftIndex()), TSlotAccessor(j->GetRightIndex()),
                         j->GetTokenIndex(), j->IsNotEquals(), j->IsLeftAddress(),
                         j->IsRightAddress()});
    else
      Rest_.push_back(c);
  }
  Untested_ = Imaged_.empty() && Rest_.empty() && !HasPredicates_;
  KeyGeneration_ = Generation_;
  ClearMemory();
}

void TJoinNode::ClearMemory() {
  ReleaseGoals();
  // Without a short cut every stored token is a candidate: one bucket
  // keeps them in the order they came, so that the newest match is made
  // last and, depth first, fires first.
  const int32_t buckets = ShortCut_ ? HashSize_ : 1;
  Left_ = std::make_unique<TJoinMemory>(this, buckets, ShortCut_ == nullptr, 0);
  Right_ = std::make_unique<TJoinMemory>(this, buckets, ShortCut_ == nullptr, 1);
  Right_->SetImages(static_cast<int32_t>(Imaged_.size()));
}

bool TJoinNode::Equals(const TTestNode* Other) const {
  auto* o = dynamic_cast<const TJoinNode*>(Other);
  if (!o || Mode_ != jmPositive || o->Mode_ != jmPositive || Unique_ != o->Unique_ || BackChain_ ||
      o->BackChain_)
    return false;
  return TTestNode::Equals(Other);
}

namespace {

int32_t SortCodeOf(const TKbToken& Token) noexcept { return Token.GetSortCode(); }
int32_t SortCodeOf(const TMatch& Match) noexcept { return Match.SortCode; }

}  // namespace

template <class M>
int32_t TJoinNode::LeftKey(const M& Match) const {
  if (!ShortCut_) return SortCodeOf(Match);
  uint32_t h = 0;
  for (const TKeyPart& k : Key_) {
    const TFact* f = Match.FactAt(k.TokenIndex);
    h = h * 0x9E3779B1u + static_cast<uint32_t>(!f ? 0
                                                : k.LeftAddress
                                                    ? f->GetID()
                                                    : HashOf(ValueAt(k.Left, *f, k.LeftSub)));
  }
  return static_cast<int32_t>(h);
}

int32_t TJoinNode::RightKey(const TFact* Fact) const {
  if (!ShortCut_) return Fact ? Fact->GetID() : 0;
  if (!Fact) return 0;
  uint32_t h = 0;
  for (const TKeyPart& k : Key_)
    h = h * 0x9E3779B1u + static_cast<uint32_t>(k.RightAddress
                                                    ? Fact->GetID()
                                                    : HashOf(ValueAt(k.Right, *Fact, k.RightSub)));
  return static_cast<int32_t>(h);
}

template <class F>
void TJoinNode::Candidates(TJoinMemory& Memory, bool Keyed, int32_t Key, F&& Body) {
  if (Keyed && ShortCut_) {
    for (TJoinMemory::TEntry* e = Memory.First(Key); e; e = e->Next)
      if (e->Key == Key && !Body(e)) return;
    return;
  }
  bool go = true;
  Memory.ForEach([&](TJoinMemory::TEntry* e) {
    if (go) go = Body(e);
  });
}

[[gnu::always_inline]] inline void TJoinNode::SendTo(TReteNode* Target, TCallType CallType,
                                                     TJoinEntry* Left, TJoinEntry* Right,
                                                     const TFact* Fact, TTokenAction Action) {
  const TMatch out{Left->Facts(),
                   Fact,
                   Left,
                   Right,
                   Left->Count + 1,
                   TKbToken::ExtendSortCode(Left->SortCode, *Fact),
                   Action};
  if (Target)
    Target->CallMatch(out, CallType);
  else
    CallChildren(out);
}

[[gnu::always_inline]] inline void TJoinNode::Send(TJoinEntry* Left, TJoinEntry* Right,
                                                   const TFact* Fact, TTokenAction Action) {
  ++OutputCount_;
  SendTo(nullptr, ctLeft, Left, Right, Fact, Action);
}

void TJoinNode::TakeImages(TJoinEntry& Right) {
  using TImage = TJoinEntry::TImage;
  TImage* image = Right.Images();
  for (const TImaged& k : Imaged_) {
    TImage& i = *image++;
    if (k.RightAddress) {
      // The fact's address, as a dtFactId value of it would be imaged.
      i.Kind = TImage::ikNumber;
      i.Type = dtFactId;
      i.Payload = static_cast<uint64_t>(static_cast<int64_t>(Right.RightFact()->GetID()));
      continue;
    }
    const IKbValue* v = k.Right.Get(*Right.RightFact());
    i.Payload = 0;
    i.Type = dtNone;
    if (!v || !*v) {
      i.Kind = v ? TImage::ikEmpty : TImage::ikMissing;
      continue;
    }
    const TKbValue& value = **v;
    i.Type = value.GetDType();
    switch (i.Type) {
      case dtInteger:
      case dtFactId:
      case dtDescriptor:
        i.Kind = TImage::ikNumber;
        i.Payload = static_cast<uint64_t>(static_cast<int64_t>(value.IntPayload()));
        break;
      default:
        if (value.IsText()) {
          i.Kind = TImage::ikText;
          i.Payload = reinterpret_cast<uintptr_t>(value.TextPayload());
        } else {
          i.Kind = TImage::ikOther;
        }
    }
  }
}

// What TKbJoinTest::TestFacts decides for the tests on whole slots,
// read from the right entry's images where they settle it.
template <class M>
bool TJoinNode::MeetsRightTested(const M& Left, const TJoinEntry& Right) {
  using TImage = TJoinEntry::TImage;
  if (KeyGeneration_ != Generation_) return MatchPasses(Left, Right.RightFact());
  const TImage* image = Right.Images();
  for (const TImaged& k : Imaged_) {
    const TImage& i = *image++;
    const TFact* f = Left.FactAt(k.TokenIndex);
    bool equal;
    if (k.LeftAddress) {
      // The left fact's address against the right value's image.
      if (!f || i.Kind == TImage::ikMissing) return false;
      equal = i.Kind == TImage::ikNumber && i.Type == dtFactId &&
              static_cast<int64_t>(i.Payload) == f->GetID();
      if (equal == k.NotEquals) return false;
      continue;
    }
    const IKbValue* v = f ? k.Left.Get(*f) : nullptr;
    if (!v || !*v || i.Kind == TImage::ikMissing) return false;
    const TKbValue& value = **v;
    switch (i.Kind) {
      case TImage::ikEmpty: equal = false; break;
      case TImage::ikNumber:
        equal = value.GetDType() == i.Type &&
                static_cast<int64_t>(value.IntPayload()) == static_cast<int64_t>(i.Payload);
        break;
      case TImage::ikText:
        equal = value.GetDType() == i.Type &&
                value.TextPayload()->SameAs(reinterpret_cast<const TKbText*>(i.Payload));
        break;
      default: {
        const IKbValue* r = k.Right.Get(*Right.RightFact());
        if (!r) return false;
        equal = value.Equals(r->get());
      }
    }
    if (equal == k.NotEquals) return false;
  }
  for (const TCompiled& c : Rest_)
    if (c.Join && !c.Join->TestFacts(Left.FactAt(c.Join->GetTokenIndex()), Right.RightFact()))
      return false;
  return !HasPredicates_ || RunPredicates(Left, Right.RightFact());
}

int32_t TJoinNode::CountMatches(const TJoinEntry& Left, int32_t Dying) {
  int32_t n = 0;
  Candidates(*Right_, true, Left.Key, [&](TJoinMemory::TEntry* e) {
    if ((Dying == NoDyingFact || e->RightFact()->GetID() != Dying) && MeetsRight(Left, *e)) ++n;
    return true;
  });
  return n;
}

// Inlined into CallNode: every fact entering a rule's first join comes
// this way.
[[gnu::always_inline]] inline void TJoinNode::LeftArrived(const IReteToken& Token) {
  if (Token->GetTag() == taRemove) {
    // Only a token made from a fact alone comes back to be removed; what
    // was made from stored matches goes with them.
    TJoinMemory::TEntry* e = Left_->Find(Token.get(), MatchHash(Token.get()));
    if (e) Rete_->Withdraw(e);
    return;
  }
  const TKbToken& t = *Token;
  TJoinMemory::TEntry* e = Left_->Add(Token, t.GetCount(), LeftKey(t), true);
  if (!e) return;
  const TFact** facts = e->Facts();
  for (int32_t i = 0; i < e->Count; ++i) facts[i] = t.FactAt(i);
  e->SortCode = t.GetSortCode();
  LeftStored(e, t.GetTag());
}

void TJoinNode::CallMatch(const TMatch& Match, TCallType CallType) {
  if (CallType != ctLeft) KbError(SInvalidCallType, EnumName(CallType));
  OutputCount_ = 0;
  TJoinMemory::TEntry* e = Left_->Add(nullptr, Match.Count, LeftKey(Match), false);
  Match.CopyFacts(e->Facts());
  e->SortCode = Match.SortCode;
  LinkHolder(e, Match.Left, Match.Right);
  LeftStored(e, Match.Action);
}

void TJoinNode::LeftStored(TJoinEntry* E, TTokenAction Action) {
  // A fact on its way out is passed over (its removal reaches the right
  // memory later): a unique join must not pick it, and no match with it
  // is made only to be withdrawn.
  const int32_t dying = Rete_->GetDyingFact();
  E->Uncounted = dying;
  switch (Mode_) {
    case jmPositive:
      Candidates(*Right_, true, E->Key, [&](TJoinMemory::TEntry* r) {
        if (dying != NoDyingFact && r->RightFact()->GetID() == dying) return true;
        if (!MeetsRight(*E, *r)) return true;
        Send(E, r, r->RightFact(), Action);
        return !Unique_;
      });
      break;
    case jmNegated:
      E->Matches = CountMatches(*E, dying);
      if (E->Matches == 0) Send(E, nullptr, Rete_->GetEngine()->GetNullFact().get(), Action);
      break;
    case jmExists:
      E->Matches = CountMatches(*E, dying);
      if (E->Matches > 0) Send(E, nullptr, Rete_->GetEngine()->GetNullFact().get(), Action);
      break;
  }
  if (BackChain_) AskForBackChain(E);
}

void TJoinNode::RightArrived(const IReteToken& Token) {
  const TTokenAction action = Token->GetTag();
  const uint64_t id = MatchHash(Token.get());
  const TFact* null = Rete_->GetEngine()->GetNullFact().get();
  if (action == taRemove) {
    TJoinMemory::TEntry* e = Right_->Find(Token.get(), id);
    if (!e) return;
    if (Mode_ == jmPositive) {
      // Every match made with the fact goes with it.
      Rete_->Withdraw(e);
      return;
    }
    Right_->Unlink(e);
    auto release = OnScopeExit([&memory = *Right_, e] { memory.Free(e); });
    const TFact* fact = e->RightFact();
    Candidates(*Left_, true, e->Key, [&](TJoinMemory::TEntry* l) {
      if (l->Uncounted == fact->GetID() || !MatchPasses(*l, fact)) return true;
      if (l->Matches > 0 && --l->Matches == 0) {
        if (Mode_ == jmNegated)
          Send(l, nullptr, null, taAdd);
        else
          Rete_->WithdrawChildren(l);
      }
      return true;
    });
    return;
  }
  const TFact* fact = Token->GetFact().get();
  TJoinMemory::TEntry* e = Right_->Add(Token, 1, RightKey(fact), true);
  if (!e) return;
  e->Facts()[0] = fact;
  TakeImages(*e);
  e->SortCode = Token->GetSortCode();
  Candidates(*Left_, true, e->Key, [&](TJoinMemory::TEntry* l) {
    if (!MatchPasses(*l, fact)) return true;
    switch (Mode_) {
      case jmPositive: Send(l, e, fact, action); break;
      case jmNegated:
        if (++l->Matches == 1) Rete_->WithdrawChildren(l);
        break;
      case jmExists:
        if (++l->Matches == 1) Send(l, nullptr, null, action == taUpdate ? taUpdate : taAdd);
        break;
    }
    return true;
  });
  if (!Waits_.empty() && action != taRemove) GoalsMet(Token->GetFact());
}

bool TJoinNode::CallNode(const IReteToken& Token, TCallType CallType) {
  OutputCount_ = 0;
  if (Token->GetTag() == taClear || !Token->GetFact()) {
    ClearMemory();
    CallChildren(Token);
    return false;
  }
  switch (CallType) {
    case ctLeft: LeftArrived(Token); break;
    case ctRight: RightArrived(Token); break;
    default: KbError(SInvalidCallType, EnumName(CallType));
  }
  return true;
}

void TJoinNode::Replay(TReteNode* Target, TCallType CallType, TTokenAction Action) {
  const TFact* null = Rete_->GetEngine()->GetNullFact().get();
  Left_->ForEach([&](TJoinMemory::TEntry* l) {
    switch (Mode_) {
      case jmPositive:
        Candidates(*Right_, true, l->Key, [&](TJoinMemory::TEntry* r) {
          if (!MeetsRight(*l, *r)) return true;
          SendTo(Target, CallType, l, r, r->RightFact(), Action);
          return !Unique_;
        });
        break;
      case jmNegated:
        if (l->Matches == 0) SendTo(Target, CallType, l, nullptr, null, Action);
        break;
      case jmExists:
        if (l->Matches > 0) SendTo(Target, CallType, l, nullptr, null, Action);
        break;
    }
  });
}

std::string TJoinNode::GetToString() const { return TTestNode::GetToString(); }

}  // namespace kb
