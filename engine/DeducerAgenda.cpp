// The agenda (activations ordered by salience and strategy) and the run
// loop that fires them.
#include <chrono>
#include <exception>

#include "engine/Deducer.h"
#include "rete/ReteNetwork.h"

namespace kb {

namespace {

// Blocks split past this many activations: small enough that a shift
// inside one is a short move, large enough that walking the blocks is
// short too.
constexpr size_t MaxBlockSize = 64;

double NowMilliseconds() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

// ----------------------------------------------------------------- TAgenda

TActivation* TAgenda::At(int Index) const {
  if (Index < 0 || Index >= Count_) ListIndexError(Index);
  // The ends directly: they are the common cases.
  if (Index == 0) return Blocks_.front()->Items.front();
  if (Index == Count_ - 1) return Blocks_.back()->Items.back();
  size_t i = static_cast<size_t>(Index);
  for (const auto& b : Blocks_) {
    if (i < b->Items.size()) return b->Items[i];
    i -= b->Items.size();
  }
  ListIndexError(Index);
}

size_t TAgenda::BlockIndex(const TBlock* Block) const {
  for (size_t i = 0; i < Blocks_.size(); ++i)
    if (Blocks_[i].get() == Block) return i;
  return Blocks_.size();
}

void TAgenda::Split(size_t Block) {
  TBlock& b = *Blocks_[Block];
  auto n = std::make_unique<TBlock>();
  const size_t half = b.Items.size() / 2;
  n->Items.assign(b.Items.begin() + static_cast<ptrdiff_t>(half), b.Items.end());
  b.Items.resize(half);
  for (TActivation* a : n->Items) a->Block_ = n.get();
  Blocks_.insert(Blocks_.begin() + static_cast<ptrdiff_t>(Block) + 1, std::move(n));
}

void TAgenda::Insert(int Index, TActivation* Activation) {
  if (Index < 0 || Index > Count_) ListIndexError(Index);
  if (Blocks_.empty()) Blocks_.push_back(std::make_unique<TBlock>());
  size_t block = 0;
  size_t at = static_cast<size_t>(Index);
  if (Index == Count_) {
    block = Blocks_.size() - 1;
    at = Blocks_[block]->Items.size();
  } else {
    while (at > Blocks_[block]->Items.size() ||
           (at == Blocks_[block]->Items.size() && block + 1 < Blocks_.size())) {
      at -= Blocks_[block]->Items.size();
      ++block;
    }
  }
  TBlock& b = *Blocks_[block];
  b.Items.insert(b.Items.begin() + static_cast<ptrdiff_t>(at), Activation);
  Activation->Block_ = &b;
  ++Count_;
  if (b.Items.size() > MaxBlockSize) Split(block);
}

int TAgenda::IndexOf(const TActivation* Activation) const {
  if (!Activation || !Activation->Block_) return -1;
  int base = 0;
  for (const auto& b : Blocks_) {
    if (b.get() == Activation->Block_) {
      for (size_t i = 0; i < b->Items.size(); ++i)
        if (b->Items[i] == Activation) return base + static_cast<int>(i);
      return -1;
    }
    base += static_cast<int>(b->Items.size());
  }
  return -1;
}

bool TAgenda::Contains(const TActivation* Activation) const {
  return Activation && Activation->Block_ != nullptr;
}

void TAgenda::Remove(TActivation* Activation) {
  auto* b = static_cast<TBlock*>(Activation->Block_);
  if (!b) return;
  auto it = std::find(b->Items.begin(), b->Items.end(), Activation);
  if (it != b->Items.end()) {
    b->Items.erase(it);
    --Count_;
  }
  Activation->Block_ = nullptr;
  if (b->Items.empty()) Blocks_.erase(Blocks_.begin() + static_cast<ptrdiff_t>(BlockIndex(b)));
}

std::vector<TActivation*> TAgenda::TakeAll() {
  std::vector<TActivation*> all;
  all.reserve(static_cast<size_t>(Count_));
  for (const auto& b : Blocks_)
    for (TActivation* a : b->Items) {
      a->Block_ = nullptr;
      all.push_back(a);
    }
  Blocks_.clear();
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
  // The index is worked out only for whoever listens.
  const int index = OnRemoveActivation ? Agenda_->IndexOf(Activation) : 0;
  if (OnRemoveActivation) OnRemoveActivation(this, index, Activation);
  if (IsWatched(cwActivation))
    WatchActivationRemoved(Activation->GetRule()->GetRuleName(),
                           Activation->GetToken()->GetToFactsString());
  Agenda_->Remove(Activation);
  if (Activation != CurrentActivation_) delete Activation;
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
