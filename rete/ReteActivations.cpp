// A rule's end: the terminal nodes and the activations they make.
#include "rete/ReteActivations.h"

#include <utility>
#include <vector>

#include "framework/FreeList.h"
#include "framework/LinkedList.h"
#include "rete/KbRule.h"
#include "rete/ReteNetwork.h"

namespace kb {

// ------------------------------------------------------------- terminal node

TPatternMatchTerminalNode::TPatternMatchTerminalNode(TReteNetwork* Rete, TRule* Rule)
    : TReteNode(Rete), Rule_(Rule), Ids_(16, nullptr) {}

TPatternMatchTerminalNode::~TPatternMatchTerminalNode() {
  // Activations still listed outlive the node (the agenda owns them), and
  // so does the one firing, which the node may have withdrawn already.
  while (Head_) {
    TActivation* a = Head_;
    Unlink(a);
    a->Node_ = nullptr;
  }
  if (TActivationSink* e = Rete_ ? Rete_->GetAgenda() : nullptr)
    if (TActivation* a = e->GetCurrentActivation(); a && a->Node_ == this) a->Node_ = nullptr;
}

void TPatternMatchTerminalNode::GrowIds() {
  std::vector<TActivation*> old(Ids_.size() * 2, nullptr);
  old.swap(Ids_);
  for (TActivation* a : old)
    while (a) {
      TActivation* next = a->IdNext_;
      TActivation*& chain = Ids_[a->Token_->GetIdentity() & (Ids_.size() - 1)];
      a->IdNext_ = chain;
      chain = a;
      a = next;
    }
}

[[gnu::always_inline]] inline void TPatternMatchTerminalNode::Link(TActivation* A, TJoinEntry* Left,
                                                                   TJoinEntry* Right) {
  // An activation made from stored matches goes with them; one made from
  // a fact alone is found again by its match when the fact goes.
  const bool alone = !Left;
  if (alone && static_cast<size_t>(Indexed_) >= Ids_.size()) GrowIds();
  ListInsert<&TActivation::NodePrev_, &TActivation::NodeNext_>(A, nullptr, Head_, Tail_);
  if (alone) {
    TActivation*& chain = Ids_[A->Token_->GetIdentity() & (Ids_.size() - 1)];
    A->IdNext_ = chain;
    chain = A;
    A->Indexed = true;
    ++Indexed_;
  } else {
    LinkHolder(A, Left, Right);
  }
  A->Linked = true;
  ++Count_;
}

void TPatternMatchTerminalNode::Unlink(TActivation* A) noexcept {
  if (!A->Linked) return;
  ListUnlink<&TActivation::NodePrev_, &TActivation::NodeNext_>(A, Head_, Tail_);
  if (A->Indexed) {
    for (TActivation** p = &Ids_[A->Token_->GetIdentity() & (Ids_.size() - 1)]; *p;
         p = &(*p)->IdNext_)
      if (*p == A) {
        *p = A->IdNext_;
        break;
      }
    A->Indexed = false;
    --Indexed_;
  }
  // A withdrawn activation left its owners first.
  if (A->Owner[0] || A->Owner[1]) UnlinkHolder(A);
  A->NodePrev_ = A->NodeNext_ = A->IdNext_ = nullptr;
  A->Linked = false;
  --Count_;
}

TActivation* TPatternMatchTerminalNode::FindMatch(const TKbToken* Token, uint64_t Id) const {
  // The oldest of equal matches: chains hold the newest first.
  TActivation* found = nullptr;
  for (TActivation* a = Ids_[Id & (Ids_.size() - 1)]; a; a = a->IdNext_)
    if (a->Token_->GetIdentity() == Id && SameMatch(a->Token_.get(), Token)) found = a;
  return found;
}

TActivation* TPatternMatchTerminalNode::AddActivation(const IReteToken& Token) {
  if (Token->GetTag() == taUpdate && Initialized_) return nullptr;
  auto* a = new TActivation(Rule_, Token, this);
  Link(a, nullptr, nullptr);
  Rete_->Activate(a);
  return a;
}

[[gnu::always_inline]] inline void TPatternMatchTerminalNode::Activate(const TMatch& Match,
                                                                       const TFact* Extra) {
  if (Match.Action == taUpdate && Initialized_) return;
  TActivation* a =
      Extra ? TActivation::New(Rule_, Match, this, Extra) : TActivation::New(Rule_, Match, this);
  Link(a, Match.Left, Match.Right);
  Rete_->Activate(a);
}

void TPatternMatchTerminalNode::CallMatch(const TMatch& Match, TCallType) {
  Activate(Match, nullptr);
}

void TPatternMatchTerminalNode::CallMatchWith(const TMatch& Match, const TFact* Fact) {
  Activate(Match, Fact);
}

void TPatternMatchTerminalNode::Deactivate(TActivation* Activation) {
  if (!Activation || !Activation->Linked || Activation->Node_ != this) return;
  Unlink(Activation);
  Rete_->Deactivate(Activation);
}

void TPatternMatchTerminalNode::Deactivate(int Index) { Deactivate(GetActivation(Index)); }

// Beside the node's Deactivate, which it calls for every activation a
// withdrawal reaches. A handler that raises as an activation is withdrawn
// (the network's or the engine's) stops nothing: the rest is withdrawn all
// the same, so that the memories stay whole, and the first failure is
// raised at the end.
void TReteNetwork::EndHolder(TReteHolder* Holder, std::exception_ptr& Failure) noexcept {
  if (Holder->Kind == TReteHolder::hkActivation) {
    auto* a = static_cast<TActivation*>(Holder);
    Keep(Failure, [&] {
      if (a->Node_) a->Node_->Deactivate(a);
    });
  } else if (Holder->Kind == TReteHolder::hkGoal) {
    auto* w = static_cast<TGoalWait*>(Holder);
    Keep(Failure, [&] { w->Join->EndWait(w); });
  }
}

void TPatternMatchTerminalNode::StandDown() {
  while (Tail_) Deactivate(Tail_);
}

void TPatternMatchTerminalNode::StandDown(const IReteToken& Token) {
  if (TActivation* a = FindMatch(Token.get(), MatchHash(Token.get()))) Deactivate(a);
}

[[gnu::always_inline]] inline void TPatternMatchTerminalNode::RuleFired(TActivation* Activation) {
  Unlink(Activation);
  Rete_->RuleFired(Activation);
}

TActivation* TPatternMatchTerminalNode::GetActivation(int I) const {
  if (I < 0 || I >= Count_) ListIndexError(I);
  TActivation* a = Head_;
  while (I-- > 0) a = a->NodeNext_;
  return a;
}

int TPatternMatchTerminalNode::IndexOf(const TActivation* Activation) const {
  int i = 0;
  for (const TActivation* a = Head_; a; a = a->NodeNext_, ++i)
    if (a == Activation) return i;
  return -1;
}

bool TPatternMatchTerminalNode::CallNode(const IReteToken& Token, TCallType) {
  switch (Token->GetTag()) {
    case taClear: StandDown(); break;
    case taRemove: StandDown(Token); break;
    case taAdd:
    case taUpdate: AddActivation(Token); break;
  }
  return true;
}

std::string TPatternMatchTerminalNode::GetToString() const {
  return TReteNode::GetToString() + " Rule: " + (Rule_ ? Rule_->GetRuleName() : std::string());
}

// ---------------------------------------------------------------- activation

TActivation::TActivation(TRule* Rule, IReteToken Token, TPatternMatchTerminalNode* Node)
    : TReteHolder(hkActivation), Rule_(Rule), Token_(std::move(Token)), Node_(Node) {}

// Inlined into New, its callers (every complete match a join makes).
[[gnu::always_inline]] inline TActivation::TActivation(TRule* Rule, const TMatch& Match,
                                                       TPatternMatchTerminalNode* Node,
                                                       const TFact* Extra)
    : TReteHolder(hkActivation), Rule_(Rule), Node_(Node) {
  Count = Match.Count;
  Action = Match.Action;
  auto** facts = reinterpret_cast<const TFact**>(this + 1);
  Match.CopyFacts(facts);
  if (Extra) facts[Count++] = Extra;
}

[[gnu::always_inline]] inline TActivation* TActivation::New(TRule* Rule, const TMatch& Match,
                                                            TPatternMatchTerminalNode* Node) {
  return new (Match.Count) TActivation(Rule, Match, Node, nullptr);
}

[[gnu::always_inline]] inline TActivation* TActivation::New(TRule* Rule, const TMatch& Match,
                                                            TPatternMatchTerminalNode* Node,
                                                            const TFact* Extra) {
  return new (Match.Count + 1) TActivation(Rule, Match, Node, Extra);
}

TActivation::~TActivation() {
  if (Linked && Node_) Node_->Unlink(this);
}

namespace {

size_t ActivationSize(int32_t Facts) noexcept {
  return sizeof(TActivation) + static_cast<size_t>(Facts) * sizeof(const TFact*);
}

}  // namespace

void* TActivation::operator new(size_t Size) { return AllocatePooled(Size); }

void* TActivation::operator new(size_t, int32_t Facts) {
  return AllocatePooled(ActivationSize(Facts));
}

void TActivation::operator delete(TActivation* Activation, std::destroying_delete_t) noexcept {
  const size_t size = ActivationSize(Activation->Count);
  Activation->~TActivation();
  FreePooled(Activation, size);
}

void TActivation::operator delete(void* Pointer, size_t Size) noexcept {
  FreePooled(Pointer, Size);
}

void TActivation::operator delete(void* Pointer, int32_t Facts) noexcept {
  FreePooled(Pointer, ActivationSize(Facts));
}

const IReteToken& TActivation::GetToken() const {
  if (!Token_ && Count > 0) Token_ = ChainOf(*this, Action);
  return Token_;
}

std::unique_ptr<TActivation> TActivation::Clone() const {
  return std::make_unique<TActivation>(Rule_, GetToken(), Node_);
}

namespace {

// The facts of a firing match, held for the firing (the rule's actions may
// retract them), and the source of its token should an action ask for it.
class TFiringFacts final : public TTokenSource {
 public:
  TFiringFacts(const TFact* const* Facts, int32_t Count, TTokenAction Action)
      : Count(Count), Action_(Action) {
    Facts_ = Count <= InPlace ? Own_ : (Heap_ = std::make_unique<const TFact*[]>(Count)).get();
    for (int32_t i = 0; i < Count; ++i) {
      Facts_[i] = Facts[i];
      Facts_[i]->AddRef();
    }
  }
  ~TFiringFacts() {
    for (int32_t i = 0; i < Count; ++i) Facts_[i]->Release();
  }
  TFiringFacts(const TFiringFacts&) = delete;
  TFiringFacts& operator=(const TFiringFacts&) = delete;

  TRule::TMatchFacts Match() const noexcept { return {Facts_, Count, this}; }
  const TFact* FactAt(int32_t Index) const noexcept { return Match().FactAt(Index); }
  IReteToken MakeToken() const override { return ChainOf(*this, Action_); }

  const int32_t Count;

 private:
  static constexpr int32_t InPlace = 8;
  const TFact** Facts_;
  const TFact* Own_[InPlace];
  std::unique_ptr<const TFact*[]> Heap_;
  TTokenAction Action_;
};

}  // namespace

bool TActivation::Fire() {
  if (Token_ || Count == 0) {
    // The token first: it holds the facts, which the rule's actions may
    // retract.
    const IReteToken token = GetToken();
    Rule_->Fire(token);
  } else {
    const TFiringFacts facts(Facts(), Count, Action);
    Rule_->Fire(facts.Match());
  }
  // A rule deleted by its own actions took its terminal node along; the
  // node then forgot this activation.
  if (Node_) Node_->RuleFired(this);
  return true;
}

std::string TActivation::GetToString() const {
  std::string r = Rule_ ? Rule_->GetRuleName() : std::string();
  r += " : ";
  const IReteToken& token = GetToken();
  r += token ? token->GetToFactsString() : std::string();
  return r;
}

}  // namespace kb
