// The agenda (activations ordered by salience and strategy) and the run
// loop that fires them.
#include <chrono>
#include <exception>

#include "engine/Deducer.h"
#include "framework/LinkedList.h"
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

TAgenda::TBlock* TAgenda::Locate(int Index, size_t& Offset) const {
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

TAgenda::TBlock* TAgenda::AddBlock(TBlock* After) {
  auto* b = new TBlock;
  ListInsert<&TBlock::Prev, &TBlock::Next>(b, After ? After->Next : FirstBlock_, FirstBlock_,
                                           LastBlock_);
  return b;
}

void TAgenda::DropBlock(TBlock* Block) noexcept {
  ListUnlink<&TBlock::Prev, &TBlock::Next>(Block, FirstBlock_, LastBlock_);
  delete Block;
}

void TAgenda::Split(TBlock* Block) {
  TBlock* n = AddBlock(Block);
  const size_t half = Block->Size / 2;
  TActivation* last = Block->First;
  for (size_t i = 1; i < half; ++i) last = last->AgendaNext_;
  n->First = last->AgendaNext_;
  n->Last = Block->Last;
  n->Size = Block->Size - half;
  Block->Last = last;
  Block->Size = half;
  for (TActivation* a = n->First;; a = a->AgendaNext_) {
    a->Block_ = n;
    if (a == n->Last) break;
  }
}

void TAgenda::Insert(int Index, TActivation* Activation) {
  if (Index < 0 || Index > Count_) ListIndexError(Index);
  TBlock* b;
  TActivation* before = nullptr;
  if (Index == Count_) {
    // Appended to the last block.
    b = LastBlock_ ? LastBlock_ : AddBlock(nullptr);
  } else {
    // In front of the activation now at Index, in its block.
    before = At(Index);
    b = static_cast<TBlock*>(before->Block_);
  }
  ListInsert<&TActivation::AgendaPrev_, &TActivation::AgendaNext_>(Activation, before, Head_,
                                                                   Tail_);
  if (!before || !b->Last) b->Last = Activation;
  if (before == b->First) b->First = Activation;
  Activation->Block_ = b;
  ++b->Size;
  ++Count_;
  if (b->Size > MaxBlockSize) Split(b);
}

int TAgenda::IndexOf(const TActivation* Activation) const {
  if (!Activation || !Activation->Block_) return -1;
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

void TAgenda::Remove(TActivation* Activation) {
  auto* b = static_cast<TBlock*>(Activation->Block_);
  if (!b) return;
  TActivation* prev = Activation->AgendaPrev_;
  TActivation* next = Activation->AgendaNext_;
  if (b->First == Activation) b->First = b->Size > 1 ? next : nullptr;
  if (b->Last == Activation) b->Last = b->Size > 1 ? prev : nullptr;
  ListUnlink<&TActivation::AgendaPrev_, &TActivation::AgendaNext_>(Activation, Head_, Tail_);
  Activation->AgendaPrev_ = Activation->AgendaNext_ = nullptr;
  Activation->Block_ = nullptr;
  --Count_;
  if (--b->Size == 0) DropBlock(b);
}

std::vector<TActivation*> TAgenda::TakeAll() {
  std::vector<TActivation*> all;
  all.reserve(static_cast<size_t>(Count_));
  for (TActivation* a = Head_; a;) {
    TActivation* next = a->AgendaNext_;
    a->AgendaPrev_ = a->AgendaNext_ = nullptr;
    a->Block_ = nullptr;
    all.push_back(a);
    a = next;
  }
  while (FirstBlock_) DropBlock(FirstBlock_);
  Head_ = Tail_ = nullptr;
  Count_ = 0;
  return all;
}

void TAgenda::Clear(const TActivation* Keep) {
  for (TActivation* a : TakeAll())
    if (a != Keep) delete a;
}

// ---------------------------------------------------------------- TDeducer

int TDeducer::SearchSalience(int32_t Salience) {
  const int count = Agenda_->Count();
  if (count == 0) return -1;
  auto s = [&](int I) { return Agenda_->At(I)->GetRule()->GetSalience(); };
  if (Strategy_ == ssDepthFirst) {
    if (Salience >= s(0)) return 0;
    if (Salience < s(count - 1)) return -1;
  } else {
    if (Salience <= s(count - 1)) return -1;
    if (Salience > s(0)) return 0;
  }
  int lo = 0, hi = count - 1;
  while (hi >= lo) {
    const int mid = (lo + hi) / 2;
    const int32_t m = s(mid);
    if (m < Salience)
      hi = mid - 1;
    else if (m > Salience)
      lo = mid + 1;
    else
      return mid;
  }
  return lo;
}

void TDeducer::AddActivation(TActivation* Activation) {
  if (!Activation) return;
  // A constant salience needs no evaluation (it would give the same
  // integer at the cost of a context).
  TRule* rule = Activation->GetRule();
  const IKbValue& salience = rule->GetSalienceValue();
  if (salience && salience->GetDType() != dtInteger) {
    // A new salience is no change of the rule's conditions: the rule is not
    // compiled again (its activations, this one among them, would go).
    ++EvaluatingSalience_;
    struct TDone {
      int32_t& N;
      ~TDone() { --N; }
    } done{EvaluatingSalience_};
    rule->EvaluateSalience();
  }
  int index = SearchSalience(Activation->GetRule()->GetSalience());
  if (index < 0) index = Agenda_->Count();
  Agenda_->Insert(index, Activation);
  if (IsWatched(cwActivation)) WatchActivationAdded(Activation->GetToString());
  if (OnAddActivation) OnAddActivation(this, index, Activation);
}

void TDeducer::RemoveActivation(int Index) {
  TActivation* a = GetActivation(Index);
  if (OnRemoveActivation) OnRemoveActivation(this, Index, a);
  if (IsWatched(cwActivation))
    WatchActivationRemoved(a->GetRule()->GetRuleName(), a->GetToken()->GetToFactsString());
  Agenda_->Remove(a);
  // The activation firing is freed by the run loop.
  if (a != CurrentActivation_) delete a;
}

void TDeducer::RemoveActivation(TActivation* Activation) {
  if (!Agenda_ || !Agenda_->Contains(Activation)) return;
  // Taken off whatever the handler or the trace raise: the network has
  // let it go, and its facts may go next.
  struct TTakeOff {
    TDeducer* Engine;
    TActivation* Activation;
    ~TTakeOff() {
      Engine->Agenda_->Remove(Activation);
      if (Activation != Engine->CurrentActivation_) delete Activation;
    }
  } takeOff{this, Activation};
  // The index is worked out only for whoever listens.
  const int index = OnRemoveActivation ? Agenda_->IndexOf(Activation) : 0;
  if (OnRemoveActivation) OnRemoveActivation(this, index, Activation);
  if (IsWatched(cwActivation))
    WatchActivationRemoved(Activation->GetRule()->GetRuleName(),
                           Activation->GetToken()->GetToFactsString());
}

void TDeducer::RuleFired(TActivation* Activation) {
  if (OnRuleFired) OnRuleFired(this, Activation->GetRule());
  RemoveActivation(Activation);
}

TActivation* TDeducer::GetActivation(int Index) const { return Agenda_->At(Index); }

std::string TDeducer::GetActivationText(int Index) const {
  return Agenda_->At(Index)->GetToString();
}

void TDeducer::SetActivation(int Index, TActivation* Activation) {
  TActivation* old = Agenda_->At(Index);
  if (old == Activation) return;
  Agenda_->Remove(old);
  Agenda_->Insert(Index, Activation);
  if (old != CurrentActivation_) delete old;
}

void TDeducer::SetStrategy(TSearchStrategy Value) {
  if (Value == Strategy_) return;
  Strategy_ = Value;
  // The same activations go back in under the new strategy: the terminal
  // nodes keep pointing at them.
  for (TActivation* a : Agenda_->TakeAll()) AddActivation(a);
}

std::string TDeducer::RuleFailedBy(const std::exception_ptr& Error) const {
  return Error && Error == FailedFiring_ ? FailedRule_ : std::string();
}

int32_t TDeducer::Run(int32_t MaxRules) {
  // A run asked for while a rule fires (by its actions or an event handler)
  // would fire that very activation again, still first on the agenda, and
  // free it under the outer run: it does nothing.
  if (CurrentActivation_) return 0;
  if (OnStartInference) OnStartInference(this);
  const bool everyTime = SalienceEvaluation_ == sEveryTime;
  const bool statistics = Watch_.Contains(cwStatistics);
  const double start = NowMilliseconds();
  RunTime_ = start;
  RulesFired_ = 0;
  MaxFacts_ = Facts_->Count();
  MeanFacts_ = 0;
  MaxActivations_ = Agenda_->Count();
  MeanActivations_ = 0;
  SetHalted(false);
  while (Agenda_->Count() > 0 && !GetHalted() && RulesFired_ < MaxRules) {
    std::lock_guard<std::recursive_mutex> lock(LockSection_);
    if (Agenda_->Count() > 0) {
      TActivation* a = Agenda_->At(0);
      CurrentActivation_ = a;
      // The rule stays whole until the activation has gone, even when its
      // actions delete it and then fail: the error names it.
      TRule::TFiringHold hold(a->GetRule());
      struct TFree {
        TDeducer* E;
        TActivation* A;
        ~TFree() {
          // Also when the firing fails: the activation leaves its node and
          // the agenda (without OnRuleFired) and goes.
          if (A->GetNode()) A->GetNode()->Unlink(A);
          E->Agenda_->Remove(A);
          E->CurrentActivation_ = nullptr;
          delete A;
        }
      } release{this, a};
      if (IsWatched(cwRule))
        WatchRuleFiring(RulesFired_, a->GetRule()->GetRuleName(),
                        a->GetToken()->GetToFactsString());
      try {
        a->Fire();
      } catch (...) {
        FailedFiring_ = std::current_exception();
        FailedRule_ = a->GetRule()->GetRuleName();
        throw;
      }
      if (statistics) {
        const int32_t facts = Facts_->Count();
        const int32_t activations = Agenda_->Count();
        MeanFacts_ += facts;
        if (facts > MaxFacts_) MaxFacts_ = facts;
        MeanActivations_ += activations;
        if (activations > MaxActivations_) MaxActivations_ = activations;
      }
    }
    ++RulesFired_;
    if (everyTime) {
      for (TActivation* x : Agenda_->TakeAll()) AddActivation(x);
    }
  }
  if (statistics) {
    RunTime_ = (NowMilliseconds() - start) / 1000.0;
    if (RulesFired_ > 0) {
      MeanFacts_ /= RulesFired_;
      MeanActivations_ /= RulesFired_;
      WatchStatistics(RulesFired_, RunTime_, MeanFacts_, MaxFacts_, MeanActivations_,
                      MaxActivations_);
    }
  }
  if (OnEndInference) OnEndInference(this, RulesFired_);
  return RulesFired_;
}

}  // namespace kb
