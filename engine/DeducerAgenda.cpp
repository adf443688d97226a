// The agenda (activations ordered by salience and strategy) and the run
// loop that fires them.
#include "engine/DeducerAgenda.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <mutex>
#include <optional>
#include <utility>

#include "engine/Deducer.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerIO.h"
#include "framework/LinkedList.h"
#include "framework/ScopeExit.h"
#include "rete/KbRule.h"
#include "rete/ReteActivations.h"
#include "rete/ReteNetwork.h"

namespace kb {

namespace {

// Blocks split past this many activations: small enough that a shift
// inside one is a short move, large enough that walking the blocks is
// short too.
constexpr size_t MaxBlockSize = 128;

double NowMilliseconds() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

// ----------------------------------------------------------------- TAgenda

namespace {

// The order of definition of an activation's rule.
int32_t RuleOrder(const TActivation* Activation) noexcept {
  const TRule* rule = Activation->GetRule();
  return rule ? rule->GetRuleId() : 0;
}

}  // namespace

TAgenda::TBlock* TAgenda::Locate(int Index, size_t& Offset) const {
  Cut();
  size_t i = static_cast<size_t>(Index);
  for (TBlock* b = FirstBlock_; b; b = b->Next) {
    if (i < b->Size) {
      Offset = i;
      return b;
    }
    i -= b->Size;
  }
  ListIndexError(Index);
}

TActivation* TAgenda::At(int Index) const {
  if (Index < 0 || Index >= Count_) ListIndexError(Index);
  // The ends directly: they are the common cases.
  if (Index == 0) return Head_;
  if (Index == Count_ - 1) return Tail_;
  size_t at = 0;
  TActivation* a = Locate(Index, at)->First;
  while (at-- > 0) a = a->AgendaNext_;
  return a;
}

TAgenda::TBlock* TAgenda::AddBlock(TBlock* After) const {
  auto* b = new TBlock;
  ListInsert<&TBlock::Prev, &TBlock::Next>(b, After ? After->Next : FirstBlock_, FirstBlock_,
                                           LastBlock_);
  return b;
}

void TAgenda::DropBlock(TBlock* Block) const noexcept {
  ListUnlink<&TBlock::Prev, &TBlock::Next>(Block, FirstBlock_, LastBlock_);
  delete Block;
}

void TAgenda::Cut() const {
  if (Cut_) return;
  // Half full, so that the next activations added split none. The blocks
  // are made first: nothing changes when that fails.
  constexpr size_t Fill = MaxBlockSize / 2;
  const size_t count = (static_cast<size_t>(Count_) + Fill - 1) / Fill;
  try {
    for (size_t i = 0; i < count; ++i) AddBlock(LastBlock_);
  } catch (...) {
    while (FirstBlock_) DropBlock(FirstBlock_);
    throw;
  }
  TBlock* b = FirstBlock_;
  for (TActivation* a = Head_; a; a = a->AgendaNext_) {
    if (b->Size == Fill) b = b->Next;
    if (!b->First) b->First = a;
    b->Last = a;
    ++b->Size;
    a->Block_ = b;
  }
  Cut_ = true;
}

void TAgenda::Uncut() const noexcept {
  while (FirstBlock_) DropBlock(FirstBlock_);
  for (TActivation* a = Head_; a; a = a->AgendaNext_) a->Block_ = const_cast<TAgenda*>(this);
  Cut_ = false;
}

void TAgenda::Split(TBlock* Block, TBlock* Spare) noexcept {
  const size_t half = Block->Size / 2;
  TActivation* last = Block->First;
  for (size_t i = 1; i < half; ++i) last = last->AgendaNext_;
  Spare->First = last->AgendaNext_;
  Spare->Last = Block->Last;
  Spare->Size = Block->Size - half;
  Block->Last = last;
  Block->Size = half;
  for (TActivation* a = Spare->First;; a = a->AgendaNext_) {
    a->Block_ = Spare;
    if (a == Spare->Last) break;
  }
}

[[gnu::always_inline]] inline void TAgenda::Link(TActivation* Activation, TActivation* Before) {
  if (!Cut_) {
    ListInsert<&TActivation::AgendaPrev_, &TActivation::AgendaNext_>(Activation, Before, Head_,
                                                                     Tail_);
    Activation->Block_ = this;
    ++Count_;
    return;
  }
  // Blocks are allocated first: nothing changes when that fails.
  TBlock* b = Before ? static_cast<TBlock*>(Before->Block_) : LastBlock_;
  if (!b) b = AddBlock(nullptr);
  TBlock* spare = b->Size >= MaxBlockSize ? AddBlock(b) : nullptr;
  ListInsert<&TActivation::AgendaPrev_, &TActivation::AgendaNext_>(Activation, Before, Head_,
                                                                   Tail_);
  if (!Before || !b->Last) b->Last = Activation;
  if (Before == b->First) b->First = Activation;
  Activation->Block_ = b;
  ++b->Size;
  ++Count_;
  if (spare) Split(b, spare);
}

[[gnu::always_inline]] inline void TAgenda::Unlink(TActivation* Activation) noexcept {
  if (Cut_) {
    auto* b = static_cast<TBlock*>(Activation->Block_);
    if (b->First == Activation) b->First = b->Size > 1 ? Activation->AgendaNext_ : nullptr;
    if (b->Last == Activation) b->Last = b->Size > 1 ? Activation->AgendaPrev_ : nullptr;
    if (--b->Size == 0) DropBlock(b);
    // An empty agenda is cut again only when asked for an index.
    Cut_ = FirstBlock_ != nullptr;
  }
  ListUnlink<&TActivation::AgendaPrev_, &TActivation::AgendaNext_>(Activation, Head_, Tail_);
  Activation->AgendaPrev_ = Activation->AgendaNext_ = nullptr;
  Activation->Block_ = nullptr;
  --Count_;
}

namespace {

// Groups and runs go in and out mostly at the end (the first run of a
// change, the lowest salience, the rule defined last): there, nothing is
// moved and the general insert and erase are not needed.
template <class V>
inline void InsertAt(V& Vector, typename V::iterator At, const typename V::value_type& Item) {
  if (At == Vector.end())
    Vector.push_back(Item);
  else
    Vector.insert(At, Item);
}

template <class V>
inline void EraseAt(V& Vector, typename V::iterator At) noexcept {
  if (At + 1 == Vector.end())
    Vector.pop_back();
  else
    Vector.erase(At);
}

}  // namespace

// A program has a few saliences and a change activates a few rules: up to
// this many groups or runs, walking them costs less than a bisection.
constexpr size_t WalkedEntries = 8;

inline std::vector<TAgenda::TGroup>::iterator TAgenda::FindGroup(int32_t Salience) noexcept {
  auto before = [](const TGroup& G, int32_t S) { return G.Salience > S; };
  if (Groups_.size() > WalkedEntries)
    return std::lower_bound(Groups_.begin(), Groups_.end(), Salience, before);
  auto g = Groups_.begin();
  while (g != Groups_.end() && before(*g, Salience)) ++g;
  return g;
}

inline std::vector<TAgenda::TRun>::iterator TAgenda::FindRun(int32_t Salience,
                                                             int32_t Rule) noexcept {
  auto before = [](const TRun& R, std::pair<int32_t, int32_t> K) {
    return R.Salience != K.first ? R.Salience > K.first : R.Rule < K.second;
  };
  const std::pair key{Salience, Rule};
  if (Runs_.size() > WalkedEntries)
    return std::lower_bound(Runs_.begin(), Runs_.end(), key, before);
  auto r = Runs_.begin();
  while (r != Runs_.end() && before(*r, key)) ++r;
  return r;
}

void TAgenda::NewChange() {
  Runs_.clear();
  if (Change_ == UINT32_MAX) Renumber();
  ++Change_;
}

void TAgenda::SetChange(uint32_t Value) noexcept {
  Runs_.clear();
  Change_ = Value;
}

void TAgenda::Renumber() {
  std::vector<TActivation*> all = List();
  std::stable_sort(all.begin(), all.end(), [](const TActivation* A, const TActivation* B) {
    return A->Change_ < B->Change_;
  });
  uint32_t stamp = 0, previous = 0;
  for (size_t i = 0; i < all.size(); ++i) {
    const uint32_t old = all[i]->Change_;
    if (i == 0 || old != previous) ++stamp;
    previous = old;
    all[i]->Change_ = stamp;
  }
  Change_ = stamp;
}

void TAgenda::Add(TActivation* Activation, int32_t Salience, bool DepthFirst) {
  // Room first: nothing below may fail after the activation is linked.
  if (Groups_.size() == Groups_.capacity()) Groups_.reserve(Groups_.size() * 2 + 4);
  if (Runs_.size() == Runs_.capacity()) Runs_.reserve(Runs_.size() * 2 + 4);
  const int32_t rule = RuleOrder(Activation);
  Activation->Salience_ = Salience;
  Activation->Change_ = Change_;
  auto g = FindGroup(Salience);
  auto r = FindRun(Salience, rule);
  if (g == Groups_.end() || g->Salience != Salience) {
    // A salience not on the agenda: in front of the next lower one.
    Link(Activation, g == Groups_.end() ? nullptr : g->First);
    InsertAt(Groups_, g, TGroup{Salience, Activation, Activation});
    InsertAt(Runs_, r, TRun{Salience, rule, Activation, Activation});
    return;
  }
  TActivation* before;
  const bool found = r != Runs_.end() && r->Salience == Salience && r->Rule == rule;
  if (found) {
    // Its rule has a run in this change: first or last in it.
    before = DepthFirst ? r->First : r->Last->AgendaNext_;
  } else if (DepthFirst) {
    // The change's runs open the group: after the run of the rule defined
    // last before this one, or first.
    before = r != Runs_.begin() && std::prev(r)->Salience == Salience
                 ? std::prev(r)->Last->AgendaNext_
                 : g->First;
  } else {
    // The change's runs close the group: before the run of the rule
    // defined first after this one, or last.
    before = r != Runs_.end() && r->Salience == Salience ? r->First : g->Last->AgendaNext_;
  }
  Link(Activation, before);
  if (Activation->AgendaNext_ == g->First) g->First = Activation;
  if (Activation->AgendaPrev_ == g->Last) g->Last = Activation;
  if (!found)
    InsertAt(Runs_, r, TRun{Salience, rule, Activation, Activation});
  else if (DepthFirst)
    r->First = Activation;
  else
    r->Last = Activation;
}

void TAgenda::Remove(TActivation* Activation) noexcept {
  if (!Activation->Block_) return;
  const int32_t salience = Activation->Salience_;
  TActivation* prev = Activation->AgendaPrev_;
  TActivation* next = Activation->AgendaNext_;
  // Groups and runs are stretches of the list: a neighbour inside takes
  // the place of an end that goes.
  const bool first = !prev || prev->Salience_ != salience;
  const bool last = !next || next->Salience_ != salience;
  if (first || last) {
    // The first activation is in the first group.
    auto g = Activation == Head_ ? Groups_.begin() : FindGroup(salience);
    if (first && last)
      EraseAt(Groups_, g);
    else if (first)
      g->First = next;
    else
      g->Last = prev;
  }
  if (Activation->Change_ == Change_ && !Runs_.empty()) {
    auto r = FindRun(salience, RuleOrder(Activation));
    if (r != Runs_.end() && (r->First == Activation || r->Last == Activation)) {
      if (r->First == r->Last)
        EraseAt(Runs_, r);
      else if (r->First == Activation)
        r->First = next;
      else
        r->Last = prev;
    }
  }
  Unlink(Activation);
}

void TAgenda::Replace(TActivation* Activation, TActivation* Replacement) {
  Link(Replacement, Activation);
  Replacement->Salience_ = Activation->Salience_;
  Replacement->Change_ = Activation->Change_;
  auto g = FindGroup(Activation->Salience_);
  if (g->First == Activation) g->First = Replacement;
  if (g->Last == Activation) g->Last = Replacement;
  // The replacement may be of another rule: the change's runs end.
  if (Activation->Change_ == Change_) Runs_.clear();
  Unlink(Activation);
}

std::vector<TActivation*> TAgenda::List() const {
  std::vector<TActivation*> all;
  all.reserve(static_cast<size_t>(Count_));
  for (TActivation* a = Head_; a; a = a->AgendaNext_) all.push_back(a);
  return all;
}

void TAgenda::Sort(std::vector<std::pair<TActivation*, int32_t>>& Items, bool DepthFirst,
                   bool Reversed) {
  if (Reversed) std::reverse(Items.begin(), Items.end());
  std::stable_sort(Items.begin(), Items.end(), [DepthFirst](const auto& A, const auto& B) {
    if (A.second != B.second) return A.second > B.second;
    const uint32_t a = A.first->Change_, b = B.first->Change_;
    if (a != b) return DepthFirst ? a > b : a < b;
    return RuleOrder(A.first) < RuleOrder(B.first);
  });
  std::vector<TGroup> groups;
  for (const auto& [a, salience] : Items)
    if (groups.empty() || groups.back().Salience != salience)
      groups.push_back(TGroup{salience, a, a});
    else
      groups.back().Last = a;
  // Nothing fails from here on. The activations are linked in their new
  // order, and cut into blocks again when an index is asked for.
  Groups_.swap(groups);
  Head_ = Tail_ = nullptr;
  for (const auto& [a, salience] : Items) {
    a->Salience_ = salience;
    a->AgendaPrev_ = Tail_;
    a->AgendaNext_ = nullptr;
    (Tail_ ? Tail_->AgendaNext_ : Head_) = a;
    Tail_ = a;
  }
  Uncut();
  NewChange();
}

int TAgenda::PlaceFor(int32_t Salience, bool DepthFirst) const {
  auto g = std::lower_bound(Groups_.begin(), Groups_.end(), Salience,
                            [](const TGroup& G, int32_t S) { return G.Salience > S; });
  if (g == Groups_.end()) return Count_;
  if (g->Salience != Salience || DepthFirst) return IndexOf(g->First);
  return IndexOf(g->Last) + 1;
}

int TAgenda::IndexOf(const TActivation* Activation) const {
  if (!Activation || !Activation->Block_) return -1;
  Cut();
  int base = 0;
  for (const TBlock* b = FirstBlock_; b; b = b->Next) {
    if (b == Activation->Block_) {
      int i = 0;
      for (const TActivation* a = b->First; a; a = a->AgendaNext_, ++i) {
        if (a == Activation) return base + i;
        if (a == b->Last) break;
      }
      return -1;
    }
    base += static_cast<int>(b->Size);
  }
  return -1;
}

bool TAgenda::Contains(const TActivation* Activation) const {
  return Activation && Activation->Block_ != nullptr;
}

std::vector<TActivation*> TAgenda::TakeAll() {
  std::vector<TActivation*> all = List();
  for (TActivation* a : all) {
    a->AgendaPrev_ = a->AgendaNext_ = nullptr;
    a->Block_ = nullptr;
  }
  while (FirstBlock_) DropBlock(FirstBlock_);
  Cut_ = false;
  Head_ = Tail_ = nullptr;
  Count_ = 0;
  Groups_.clear();
  Runs_.clear();
  return all;
}

void TAgenda::Clear(const TActivation* Keep) {
  for (TActivation* a : TakeAll())
    if (a != Keep) delete a;
}

// ---------------------------------------------------------- TDeducerAgenda

TDeducerAgenda::TDeducerAgenda(TDeducer& Engine, TDeducerIO& IO, TDeducerFactBase& FactBase)
    : Engine_(Engine), IO_(IO), FactBase_(FactBase) {}

TDeducerAgenda::~TDeducerAgenda() = default;

void TDeducerAgenda::Create() { Agenda_ = std::make_unique<TAgenda>(); }

void TDeducerAgenda::Destroy() { Agenda_.reset(); }

void TDeducerAgenda::Clear() {
  if (Agenda_) Agenda_->Clear(CurrentActivation_);
}

void TDeducerAgenda::ClearAll() {
  if (Agenda_) Agenda_->Clear();
}

int TDeducerAgenda::SearchSalience(int32_t Salience) const {
  const int index = Agenda_->PlaceFor(Salience, Strategy_ == ssDepthFirst);
  return index == Agenda_->Count() ? -1 : index;
}

inline int32_t TDeducerAgenda::NewSalience(TRule* Rule, std::exception_ptr& Failure) {
  // A constant salience needs no evaluation (it would give the same
  // integer at the cost of a context).
  const IKbValue& salience = Rule->GetSalienceValue();
  if (!salience || salience->GetDType() == dtInteger) return Rule->GetSalience();
  return EvaluatedSalience(Rule, Failure);
}

int32_t TDeducerAgenda::EvaluatedSalience(TRule* Rule, std::exception_ptr& Failure) {
  // A new salience is no change of the rule's conditions: the rule is not
  // compiled again (its activations, this one among them, would go).
  ++EvaluatingSalience_;
  auto done = OnScopeExit([this] { --EvaluatingSalience_; });
  try {
    return Rule->EvaluateSalience();
  } catch (...) {
    if (!Failure) Failure = std::current_exception();
    return Rule->GetSalience();
  }
}

void TDeducerAgenda::AddActivation(TActivation* Activation) {
  if (!Activation) return;
  // What one propagation makes is one change; an activation a host adds
  // by itself is one too.
  TReteNetwork* network = FactBase_.Network();
  const uint64_t propagation = network ? network->GetPropagation() : 0;
  if (propagation == 0 || propagation != AgendaPropagation_) {
    Agenda_->NewChange();
    AgendaPropagation_ = propagation;
  }
  // An activation whose salience cannot be evaluated is placed all the
  // same (by the rule's last salience), so that the network and the agenda
  // agree; the failure is raised once it is in place.
  std::exception_ptr failure;
  const int32_t salience = NewSalience(Activation->GetRule(), failure);
  Agenda_->Add(Activation, salience, Strategy_ == ssDepthFirst);
  auto announce = [&] {
    if (IO_.IsWatched(cwActivation)) IO_.WatchActivationAdded(Activation->GetToString());
    if (Engine_.OnAddActivation)
      Engine_.OnAddActivation(&Engine_, Agenda_->IndexOf(Activation), Activation);
  };
  if (!failure) return announce();
  try {
    announce();
  } catch (...) {
    // The first failure is the one raised.
  }
  std::rethrow_exception(failure);
}

void TDeducerAgenda::Reorder(bool OrderedDepthFirst) {
  std::vector<std::pair<TActivation*, int32_t>> items;
  items.reserve(static_cast<size_t>(Agenda_->Count()));
  for (TActivation* a : Agenda_->List()) items.emplace_back(a, 0);
  std::exception_ptr failure;
  {
    // Saliences are evaluated while nothing can change the facts or the
    // rules, and with them the agenda being ordered.
    std::optional<TReteNetwork::THold> hold;
    if (TReteNetwork* network = FactBase_.Network()) hold.emplace(*network);
    for (auto& [a, salience] : items) salience = NewSalience(a->GetRule(), failure);
  }
  const bool depthFirst = Strategy_ == ssDepthFirst;
  Agenda_->Sort(items, depthFirst, depthFirst != OrderedDepthFirst);
  // By index: a handler may take activations off as it is told.
  for (int i = 0; (IO_.IsWatched(cwActivation) || Engine_.OnAddActivation) && i < Agenda_->Count();
       ++i) {
    TActivation* a = Agenda_->At(i);
    if (IO_.IsWatched(cwActivation)) IO_.WatchActivationAdded(a->GetToString());
    if (Engine_.OnAddActivation) Engine_.OnAddActivation(&Engine_, i, a);
  }
  if (failure) std::rethrow_exception(failure);
}

// Inline: it is on the path of every firing and withdrawal.
inline void TDeducerAgenda::TakeOff(TActivation* Activation, int Index, bool Announce) {
  // Taken off whatever the handler or the trace raise: the network has
  // let it go, and its facts may go next. The activation firing is freed
  // when its firing ends (EndFiring).
  auto off = OnScopeExit([this, Activation] {
    Agenda_->Remove(Activation);
    if (Activation != CurrentActivation_) delete Activation;
  });
  if (!Announce) return;
  if (Engine_.OnRemoveActivation) Engine_.OnRemoveActivation(&Engine_, Index, Activation);
  if (IO_.IsWatched(cwActivation))
    IO_.WatchActivationRemoved(Activation->GetRule()->GetRuleName(),
                               Activation->GetToken()->GetToFactsString());
}

void TDeducerAgenda::RemoveActivation(int Index) { TakeOff(GetActivation(Index), Index, true); }

inline void TDeducerAgenda::RemoveActivation(TActivation* Activation) {
  if (!Agenda_ || !Agenda_->Contains(Activation)) return;
  // Withdrawn by a later propagation than the one that made the last
  // activation (a firing's retraction, the usual case): the next
  // activation added starts a new change, so the current one is over.
  if (const TReteNetwork* network = FactBase_.Network()) {
    const uint64_t propagation = network->GetPropagation();
    if (propagation != 0 && propagation != AgendaPropagation_) Agenda_->CloseChange();
  }
  // The index is worked out only for whoever listens.
  TakeOff(Activation, Engine_.OnRemoveActivation ? Agenda_->IndexOf(Activation) : 0, true);
}

void TDeducerAgenda::EndFiring(TActivation* Activation) noexcept {
  // A rule that fired took its activation off through RuleFired, and one
  // whose match its actions withdrew through the network; after a failed
  // firing it leaves its node and the agenda here, without a word.
  if (TPatternMatchTerminalNode* node = Activation->GetNode()) node->Unlink(Activation);
  CurrentActivation_ = nullptr;
  if (Agenda_->Contains(Activation))
    TakeOff(Activation, 0, false);
  else
    delete Activation;
}

void TDeducerAgenda::RuleFired(TActivation* Activation) {
  if (Engine_.OnRuleFired) Engine_.OnRuleFired(&Engine_, Activation->GetRule());
  RemoveActivation(Activation);
}

TActivation* TDeducerAgenda::GetActivation(int Index) const { return Agenda_->At(Index); }

std::string TDeducerAgenda::GetActivationText(int Index) const {
  return Agenda_->At(Index)->GetToString();
}

void TDeducerAgenda::SetActivation(int Index, TActivation* Activation) {
  TActivation* old = Agenda_->At(Index);
  if (old == Activation || !Activation) return;
  if (Agenda_->Contains(Activation)) Agenda_->Remove(Activation);
  Agenda_->Replace(old, Activation);
  if (old != CurrentActivation_) delete old;
}

void TDeducerAgenda::SetStrategy(TSearchStrategy Value) {
  if (Value == Strategy_) return;
  const bool wasDepthFirst = Strategy_ == ssDepthFirst;
  Strategy_ = Value;
  // The same activations are ordered anew: the terminal nodes keep
  // pointing at them.
  Reorder(wasDepthFirst);
}

std::string TDeducerAgenda::RuleFailedBy(const std::exception_ptr& Error) const {
  return Error && Error == FailedFiring_ ? FailedRule_ : std::string();
}

int32_t TDeducerAgenda::Run(int32_t MaxRules) {
  // A run asked for while a rule fires (by its actions or an event handler)
  // would fire that very activation again, still first on the agenda, and
  // free it under the outer run; one asked for while the network is busy
  // (a handler, a salience) would fire rules whose facts cannot change and
  // take activations off an agenda being filled or ordered: it does
  // nothing.
  if (CurrentActivation_ || FactBase_.IsBusy()) return 0;
  if (Engine_.OnStartInference) Engine_.OnStartInference(&Engine_);
  const bool everyTime = SalienceEvaluation_ == sEveryTime;
  const bool statistics = IO_.GetWatch().Contains(cwStatistics);
  const double start = NowMilliseconds();
  RunTime_ = 0;
  RulesFired_ = 0;
  MaxFacts_ = FactBase_.Facts().Count();
  MeanFacts_ = 0;
  MaxActivations_ = Agenda_->Count();
  MeanActivations_ = 0;
  SetHalted(false);
  while (Agenda_->Count() > 0 && !GetHalted() && RulesFired_ < MaxRules) {
    std::lock_guard lock(LockSection_);
    if (Agenda_->Count() > 0) {
      TActivation* a = Agenda_->At(0);
      CurrentActivation_ = a;
      // The rule stays whole until the activation has gone, even when its
      // actions delete it and then fail: the error names it.
      TRule::TFiringHold hold(a->GetRule());
      // Also when the firing fails: the activation goes.
      auto end = OnScopeExit([this, a] { EndFiring(a); });
      if (IO_.IsWatched(cwRule))
        IO_.WatchRuleFiring(RulesFired_, a->GetRule()->GetRuleName(),
                            a->GetToken()->GetToFactsString());
      try {
        a->Fire();
      } catch (...) {
        FailedFiring_ = std::current_exception();
        FailedRule_ = a->GetRule()->GetRuleName();
        throw;
      }
      if (statistics) {
        const int32_t facts = FactBase_.Facts().Count();
        const int32_t activations = Agenda_->Count();
        MeanFacts_ += facts;
        if (facts > MaxFacts_) MaxFacts_ = facts;
        MeanActivations_ += activations;
        if (activations > MaxActivations_) MaxActivations_ = activations;
      }
    }
    ++RulesFired_;
    if (everyTime) Reorder(Strategy_ == ssDepthFirst);
  }
  RunTime_ = (NowMilliseconds() - start) / 1000.0;
  if (statistics) {
    if (RulesFired_ > 0) {
      MeanFacts_ /= RulesFired_;
      MeanActivations_ /= RulesFired_;
      IO_.WatchStatistics(RulesFired_, RunTime_, MeanFacts_, MaxFacts_, MeanActivations_,
                          MaxActivations_);
    }
  }
  if (Engine_.OnEndInference) Engine_.OnEndInference(&Engine_, RulesFired_);
  return RulesFired_;
}

// ---------------------------------------------- TDeducer's agenda, forwarded

void TDeducer::AddActivation(TActivation* Activation) { Agenda_->AddActivation(Activation); }
void TDeducer::RemoveActivation(int Index) { Agenda_->RemoveActivation(Index); }
void TDeducer::RemoveActivation(TActivation* Activation) { Agenda_->RemoveActivation(Activation); }
void TDeducer::RuleFired(TActivation* Activation) { Agenda_->RuleFired(Activation); }
int TDeducer::SearchSalience(int32_t Salience) const { return Agenda_->SearchSalience(Salience); }
TActivation* TDeducer::GetActivation(int Index) const { return Agenda_->GetActivation(Index); }

void TDeducer::SetActivation(int Index, TActivation* Activation) {
  Agenda_->SetActivation(Index, Activation);
}

int TDeducer::GetAgendaCount() const { return Agenda_->Count(); }
std::string TDeducer::GetActivationText(int Index) const {
  return Agenda_->GetActivationText(Index);
}
TSearchStrategy TDeducer::GetStrategy() const { return Agenda_->GetStrategy(); }
void TDeducer::SetStrategy(TSearchStrategy Value) { Agenda_->SetStrategy(Value); }
TSalience TDeducer::GetSalienceEvaluation() const { return Agenda_->GetSalienceEvaluation(); }
void TDeducer::SetSalienceEvaluation(TSalience Value) { Agenda_->SetSalienceEvaluation(Value); }
int32_t TDeducer::Run(int32_t MaxRules) { return Agenda_->Run(MaxRules); }
TActivation* TDeducer::GetCurrentActivation() const { return Agenda_->GetCurrentActivation(); }

std::string TDeducer::RuleFailedBy(const std::exception_ptr& Error) const {
  return Agenda_->RuleFailedBy(Error);
}

void TDeducer::Lock() { Agenda_->Lock(); }
void TDeducer::Unlock() { Agenda_->Unlock(); }
int32_t TDeducer::GetRulesFired() const { return Agenda_->GetRulesFired(); }
double TDeducer::GetRunTime() const { return Agenda_->GetRunTime(); }
int32_t TDeducer::GetMaxActivations() const { return Agenda_->GetMaxActivations(); }
double TDeducer::GetMeanActivations() const { return Agenda_->GetMeanActivations(); }
int32_t TDeducer::GetMaxFacts() const { return Agenda_->GetMaxFacts(); }
double TDeducer::GetMeanFacts() const { return Agenda_->GetMeanFacts(); }
bool TDeducer::GetHalted() const { return Agenda_->GetHalted(); }
void TDeducer::SetHalted(bool Value) { Agenda_->SetHalted(Value); }
bool TDeducer::GetExitRequested() const { return Agenda_->GetExitRequested(); }
void TDeducer::SetExitRequested(bool Value) { Agenda_->SetExitRequested(Value); }

}  // namespace kb
