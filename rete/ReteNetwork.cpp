// Building the network: compiling a rule into shared nodes (four passes),
// compiling predicates into positional references, removing rules, and
// bringing a newly added rule up to date with working memory. Node
// evaluation is in ReteNodes.cpp, memories and withdrawal in
// ReteMemories.cpp.
#include "rete/ReteNetwork.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "framework/ScopeExit.h"
#include "rete/KbRule.h"
#include "rete/ReteActivations.h"

namespace kb {

namespace {

bool IsMultiVariable(const TKbPatternMatchTest& T) {
  return T.GetSlotValue() && T.GetSlotValue()->GetDType() == dtMultiVariable;
}

// A global variable (?*name*) is read from the root context when it runs.
bool IsGlobalName(std::string_view Name) {
  return Name.size() >= 2 && Name.front() == '*' && Name.back() == '*';
}

TPatternMatchTest OneFactKind(const TKbPatternMatchTest& T) {
  const bool whole = T.GetMultiSlotSubIndex() == NoSubIndex;
  if (T.IsNotEquals()) return whole ? pmtTestNotEqual : pmtTestMultiSlotNotEqual;
  return whole ? pmtTestEqual : pmtTestMultiSlotEqual;
}

bool SameArgs(const TNodeArgsArray& A, const TNodeArgsArray& B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (A[i] != B[i]) return false;
  return true;
}

// The mode of a join for a pattern under NegatedCount "not".
TJoinMode ModeOf(int32_t NegatedCount) {
  if (NegatedCount <= 0) return jmPositive;
  return (NegatedCount & 1) ? jmNegated : jmExists;
}

}  // namespace

// What one AddRule works with.
struct TReteNetwork::TBuild {
  TRule* Rule;
  std::vector<TReteNode*>* Nodes;
  std::vector<TReteNode*> Roots;  // the first node of each pattern
  std::vector<TReteNode*> Lasts;  // the last node of each pattern's chain
  std::string Trace;
};

TReteNetwork::TReteNetwork(TRuleCatalog* Engine, TActivationSink* Agenda)
    : Engine_(Engine), Agenda_(Agenda), Goals_(Engine) {}

TReteNetwork::~TReteNetwork() { Clear(); }

template <class T, class... A>
T* TReteNetwork::NewNode(A&&... Args) {
  auto node = std::make_unique<T>(this, std::forward<A>(Args)...);
  T* n = node.get();
  n->Number_ = NextNumber_++;
  n->New_ = true;
  n->Slot_ = Nodes_.size();
  Nodes_.push_back(std::move(node));
  Roots_.push_back(n);
  RootsChanged();
  return n;
}

void TReteNetwork::AddEdge(TReteNode* From, TReteNode* To, TCallType CallType) {
  if (To->Parents_.empty()) {
    auto it = std::find(Roots_.begin(), Roots_.end(), To);
    if (it != Roots_.end()) Roots_.erase(it);
    RootsChanged();
  }
  From->Edges_.push_back({To, CallType});
  To->Parents_.push_back(From);
  ++Shape_;
}

void TReteNetwork::FreeNode(TReteNode* Node) {
  // Withdraws the activations of a terminal node before it goes.
  Node->ClearMemory();
  ++Shape_;
  for (TReteNode* p : Node->Parents_) {
    auto& e = p->Edges_;
    e.erase(
        std::remove_if(e.begin(), e.end(), [&](const TReteEdge& x) { return x.Target == Node; }),
        e.end());
  }
  for (const TReteEdge& e : Node->Edges_) {
    auto& ps = e.Target->Parents_;
    auto it = std::find(ps.begin(), ps.end(), Node);
    if (it != ps.end()) ps.erase(it);
    if (ps.empty()) Roots_.push_back(e.Target);
  }
  auto r = std::find(Roots_.begin(), Roots_.end(), Node);
  if (r != Roots_.end()) Roots_.erase(r);
  RootsChanged();
  const size_t at = Node->Slot_;
  if (at < Nodes_.size() && Nodes_[at].get() == Node) {
    if (at + 1 != Nodes_.size()) {
      std::swap(Nodes_[at], Nodes_.back());
      Nodes_[at]->Slot_ = at;
    }
    Nodes_.pop_back();
  }
}

void TReteNetwork::UseNode(TReteNode* Node, TRule* Rule) {
  (void)Rule;
  Node->RuleUseCount_ += 1;
}

void TReteNetwork::Clear() {
  // The goals go with working memory, not one by one with their joins.
  Goals_.Clear();
  RuleNodes_.clear();
  Roots_.clear();
  RootsChanged();
  // Terminal nodes withdraw their activations while the graph is whole.
  for (auto& n : Nodes_) n->ClearMemory();
  Nodes_.clear();
}

const std::vector<TReteNode*>* TReteNetwork::GetRuleNodesList(const TRule* Rule) const {
  auto it = RuleNodes_.find(Rule);
  return it == RuleNodes_.end() ? nullptr : &it->second;
}

// ---------------------------------------------------------------- AddRule

void TReteNetwork::AddRule(TRule* Rule) {
  if (!Rule) return;
  // The nodes a propagating token walks must stay as they are.
  if (IsBusy()) KbError(SRulesBusy);
  if (Rule->GetPatterns().IsEmpty()) {
    // A rule without patterns matches the initial fact. Adding the pattern
    // reports a change, which may already have compiled the rule.
    if (!Engine_) KbError(SUnknownEngine);
    std::unique_ptr<TKbPattern> initial = Engine_->InitialFactPattern().Clone(Engine_);
    initial->SetGenerated(true);
    Rule->GetPatterns().Add(std::move(initial));
    if (RuleNodes_.count(Rule)) return;
  }
  if (RuleNodes_.count(Rule)) RemoveRule(Rule);

  TBuild b;
  b.Rule = Rule;
  b.Nodes = &RuleNodes_[Rule];
  b.Trace = Rule->GetRuleName() + ": ";
  try {
    CheckSize(*Rule);
    BuildPatterns(b);
    BuildRepeats(b);
    BuildJoins(b);
    BuildTerminal(b);
    Rule->SetCompileTrace(b.Trace);
    UpdateNodes(b);
  } catch (...) {
    for (TReteNode* n : *b.Nodes) n->New_ = false;
    RemoveRule(Rule);
    throw;
  }
  for (TReteNode* n : *b.Nodes) n->New_ = false;
}

void TReteNetwork::CheckSize(const TRule& Rule) {
  int32_t written = 0;
  for (const auto& p : Rule.GetPatterns()) {
    if (p->GetTestCount() > MaxPatternTests) KbError(STooManyPatternTests, MaxPatternTests);
    if (!p->IsGenerated() && ++written > MaxRulePatterns)
      KbError(STooManyRulePatterns, MaxRulePatterns);
  }
}

TReteNode* TReteNetwork::CreateSuccessor(TReteNode* Parent, TPatternMatchTest Test, TRule* Rule,
                                         TNodeArgsArray Args, const IKbValue& Value) {
  IKbValue value = Value;
  if (value && value->GetDType() == dtFunCall) {
    // A one-fact node evaluates against a single-fact token.
    IFunCall call = value->GetAsFunCall()->CloneCall();
    CleanUpBinding(call);
    value = NewFunCall(call);
  }
  auto matches = [&](TReteNode* n) {
    auto* p = dynamic_cast<TPatternMatchNode*>(n);
    if (!p || p->GetPatternMatchTest() != Test || !SameArgs(p->GetArgs(), Args)) return false;
    if (!p->GetValue() || !value) return !p->GetValue() && !value;
    return p->GetValue()->Equals(value);
  };
  TReteNode* found = nullptr;
  if (Parent) {
    for (const TReteEdge& e : Parent->Edges_)
      if (e.CallType == ctSingle && matches(e.Target)) {
        found = e.Target;
        break;
      }
  } else {
    for (TReteNode* r : Roots_)
      if (matches(r)) {
        found = r;
        break;
      }
  }
  std::vector<TReteNode*>& nodes = RuleNodes_[Rule];
  if (found) {
    UseNode(found, Rule);
    nodes.push_back(found);
    return found;
  }
  TPatternMatchNode* n = NewNode<TPatternMatchNode>(Test, std::move(Args), value);
  if (Parent) AddEdge(Parent, n, ctSingle);
  nodes.push_back(n);
  return n;
}

// One-fact tests of each pattern.
void TReteNetwork::BuildPatterns(TBuild& B) {
  const TRulePatternList& patterns = B.Rule->GetPatterns();
  auto chain = [&](TReteNode* Parent, TPatternMatchTest Test, TNodeArgsArray Args,
                   const IKbValue& Value) {
    const size_t before = Nodes_.size();
    TReteNode* n = CreateSuccessor(Parent, Test, B.Rule, std::move(Args), Value);
    B.Trace += Nodes_.size() > before ? "+1" : "=1";
    return n;
  };
  for (int i = 0; i < patterns.Count(); ++i) {
    const TKbPattern& p = *patterns[i];
    if (p.IsTest()) {
      // A root that never passes a fact: the test node's right input.
      TReteNode* root = chain(nullptr, pmtUnknown, {0, 0}, NewAtom(STestCE));
      B.Roots.push_back(root);
      B.Lasts.push_back(root);
      continue;
    }
    if (!p.GetFactTemplate()) KbError(SNoTemplate);
    TReteNode* node =
        chain(nullptr, pmtTestClassType, {0, 0}, NewAtom(p.GetFactTemplate()->GetTemplateName()));
    B.Roots.push_back(node);
    // One node cuts the lists of every multislot with multifield terms:
    // slot, positions, count of terms and their positions, per slot.
    TNodeArgsArray cuts;
    for (int s = 0; s < p.GetSlotCount(); ++s) {
      const TSlotTests* tests = p.GetSlotTests(s);
      if (!tests) continue;
      std::vector<int32_t> multi;
      for (const auto& t : *tests)
        if (IsMultiVariable(*t)) multi.push_back(t->GetMultiSlotSubIndex());
      if (multi.empty()) continue;
      std::sort(multi.begin(), multi.end());
      multi.erase(std::unique(multi.begin(), multi.end()), multi.end());
      cuts.emplace_back(p.GetSlotName(s));
      cuts.emplace_back(p.GetSlotLength(s));
      cuts.emplace_back(static_cast<int32_t>(multi.size()));
      for (int32_t m : multi) cuts.emplace_back(m);
    }
    if (!cuts.empty()) node = chain(node, pmtTestMultiSlotMultiField, std::move(cuts), nullptr);
    for (int s = 0; s < p.GetSlotCount(); ++s)
      if (p.GetSlotLength(s) >= 0)
        node =
            chain(node, pmtTestMultiSlotLength, {p.GetSlotName(s), p.GetSlotLength(s), 0}, nullptr);
    for (int s = 0; s < p.GetSlotCount(); ++s) {
      const TSlotTests* tests = p.GetSlotTests(s);
      if (!tests) continue;
      for (const auto& t : *tests) {
        if (t->IsVariable() || !t->GetSlotValue()) continue;
        TNodeArgsArray args{p.GetSlotName(s), t->GetMultiSlotSubIndex()};
        if (t->IsFunCall()) {
          IFunCall compiled = Evaluate(t->GetSlotValue()->GetAsFunCall(), B.Rule, i);
          if (!HasMorePatterns(compiled, i))
            node = chain(node, OneFactKind(*t), std::move(args), NewFunCall(compiled));
        } else {
          node = chain(node, OneFactKind(*t), std::move(args), t->GetSlotValue());
        }
      }
    }
    B.Lasts.push_back(node);
  }
}

// A variable used more than once in one pattern: every later use is
// compared with the first (in the same slot as well as in later ones).
// The pattern's own fact variable used in its slots is compared with the
// fact's address.
void TReteNetwork::BuildRepeats(TBuild& B) {
  const TRulePatternList& patterns = B.Rule->GetPatterns();
  auto chain = [&](int I, TPatternMatchTest Kind, TNodeArgsArray Args) {
    const size_t before = Nodes_.size();
    TReteNode*& last = B.Lasts[static_cast<size_t>(I)];
    last = CreateSuccessor(last, Kind, B.Rule, std::move(Args), nullptr);
    B.Trace += Nodes_.size() > before ? "+1" : "=1";
  };
  for (int i = 0; i < patterns.Count(); ++i) {
    const TKbPattern& p = *patterns[i];
    if (p.IsTest()) continue;
    const std::string& bound = p.GetBoundName();
    const TRuleBinding* self = bound.empty() ? nullptr : B.Rule->FindBinding(bound, i);
    if (self && self->IsPatternBinding() && self->GetFactIndex() == i)
      for (int s = 0; s < p.GetSlotCount(); ++s)
        if (const TSlotTests* tests = p.GetSlotTests(s))
          for (const auto& t : *tests)
            if (t->IsVariable() && t->GetSlotValue()->GetText() == bound)
              chain(i, t->IsNotEquals() ? pmtTestSlotValueNotEqual : pmtTestSlotValueEqual,
                    {SPatternBinding, p.GetSlotName(s), NoSubIndex, t->GetMultiSlotSubIndex()});
    std::unordered_set<std::string> seen;
    for (int s = 0; s < p.GetSlotCount(); ++s) {
      const TSlotTests* tests = p.GetSlotTests(s);
      if (!tests) continue;
      for (int j = 0; j < tests->Count(); ++j) {
        const TKbPatternMatchTest& first = *tests->Get(j);
        if (!first.IsVariable()) continue;
        std::string name(first.GetSlotValue()->GetText());
        if (!seen.insert(name).second) continue;
        for (int s2 = s; s2 < p.GetSlotCount(); ++s2) {
          const TSlotTests* later = p.GetSlotTests(s2);
          if (!later) continue;
          for (int k = s2 == s ? j + 1 : 0; k < later->Count(); ++k) {
            const TKbPatternMatchTest& second = *later->Get(k);
            if (!second.IsVariable() || second.GetSlotValue()->GetText() != name) continue;
            if (first.IsNotEquals() && second.IsNotEquals()) continue;
            const TPatternMatchTest kind = first.IsNotEquals() || second.IsNotEquals()
                                               ? pmtTestSlotValueNotEqual
                                               : pmtTestSlotValueEqual;
            chain(i, kind,
                  {p.GetSlotName(s), p.GetSlotName(s2), first.GetMultiSlotSubIndex(),
                   second.GetMultiSlotSubIndex()});
          }
        }
      }
    }
  }
}

// Joins: each pattern after the first meets the partial matches of those
// before it.
void TReteNetwork::BuildJoins(TBuild& B) {
  const TRulePatternList& patterns = B.Rule->GetPatterns();
  for (int i = 1; i < patterns.Count(); ++i) {
    const TKbPattern& p = *patterns[i];
    const size_t ii = static_cast<size_t>(i);
    std::unique_ptr<TTestNode> owned;
    TJoinNode* join = nullptr;
    if (p.IsTest()) {
      owned = std::make_unique<TTestNode>(this);
    } else {
      auto j =
          std::make_unique<TJoinNode>(this, ModeOf(p.GetNegatedCount()), p.GetUnique(), HashKey_);
      join = j.get();
      owned = std::move(j);
    }
    const bool backward = p.GetFactTemplate() && p.GetFactTemplate()->IsBackwardChaining();
    // Join tests: each use of a variable bound by an earlier pattern, once
    // per distinct comparison.
    std::vector<std::tuple<std::string, int32_t, bool, std::string>> added;
    for (int s = 0; s < p.GetSlotCount(); ++s) {
      const TSlotTests* tests = p.GetSlotTests(s);
      if (!tests) continue;
      for (const auto& t : *tests) {
        if (t->IsVariable()) {
          if (!join) continue;
          const std::string name(t->GetSlotValue()->GetText());
          const TRuleBinding* b = B.Rule->FindBinding(name, i);
          if (!b && IsGlobalName(name)) continue;
          if (!b) KbError(SCorruptedVariable, name);
          if (b->GetFactIndex() == i) continue;
          auto key =
              std::make_tuple(p.GetSlotName(s), t->GetMultiSlotSubIndex(), t->IsNotEquals(), name);
          if (std::find(added.begin(), added.end(), key) != added.end()) continue;
          added.push_back(key);
          join->AddTest(t->GetSlotTestType(), b->GetFactIndex(), b->GetSlotIndex(),
                        b->GetSubIndex(), p.GetSlotName(s), t->GetMultiSlotSubIndex());
        } else if (t->IsFunCall()) {
          if (backward) KbError(SBackChainFuncallPatterns, p.GetName());
          IFunCall compiled = Evaluate(t->GetSlotValue()->GetAsFunCall(), B.Rule, i);
          if (p.IsTest() || HasMorePatterns(compiled, i))
            owned->AddTest(t->GetSlotTestType(), p.GetSlotName(s), t->GetMultiSlotSubIndex(),
                           NewFunCall(compiled));
        }
      }
    }

    // A pattern bound to a variable an earlier pattern binds: its fact is
    // the one that variable's value addresses.
    if (join && !p.GetBoundName().empty()) {
      const TRuleBinding* b = B.Rule->FindBinding(p.GetBoundName(), i);
      if (b && b->GetFactIndex() != i)
        join->AddTest(sttEquals, b->GetFactIndex(), b->GetSlotIndex(), b->GetSubIndex(),
                      SPatternBinding, NoSubIndex);
    }

    TReteNode* left = B.Lasts[ii - 1];
    TReteNode* right = B.Lasts[ii];
    TReteNode* current = nullptr;
    // Joins that ask for goals belong to their rule alone.
    if (join && join->GetMode() == jmPositive && !(backward && !p.GetExplicit())) {
      for (const TReteEdge& e : left->Edges_) {
        auto* other = dynamic_cast<TJoinNode*>(e.Target);
        if (e.CallType != ctLeft || !other || other->GetMode() != jmPositive) continue;
        const bool fedByRight = std::any_of(
            right->Edges_.begin(), right->Edges_.end(),
            [&](const TReteEdge& x) { return x.Target == other && x.CallType == ctRight; });
        if (fedByRight && join->Equals(other)) {
          current = other;
          break;
        }
      }
    }
    if (current) {
      UseNode(current, B.Rule);
      B.Nodes->push_back(current);
      B.Trace += "=2";
    } else {
      TTestNode* n = owned.get();
      n->Number_ = NextNumber_++;
      n->New_ = true;
      n->Slot_ = Nodes_.size();
      Nodes_.push_back(std::move(owned));
      Roots_.push_back(n);
      RootsChanged();
      AddEdge(left, n, ctLeft);
      AddEdge(right, n, ctRight);
      B.Nodes->push_back(n);
      if (join) {
        if (backward && !p.GetExplicit()) join->SetPattern(&p, B.Rule);
        join->PrepareShortCut();
      }
      B.Trace += "+2";
      current = n;
    }
    B.Lasts[ii - 1] = current;
    B.Lasts[ii] = current;
  }
}

void TReteNetwork::BuildTerminal(TBuild& B) {
  TPatternMatchTerminalNode* t = NewNode<TPatternMatchTerminalNode>(B.Rule);
  AddEdge(B.Lasts.back(), t, ctActivate);
  B.Nodes->push_back(t);
  B.Trace += "+t";
}

// ------------------------------------------------------------ UpdateNodes

// Brings the nodes made for a rule up to date. Each edge from an older
// node into a new one carries what the older node holds or passes: a
// join's current output is replayed from its memories, and the facts of
// working memory are passed again along the older one-fact nodes that
// lead to new nodes. Older nodes keep their memories and older rules see
// nothing of it.
void TReteNetwork::UpdateNodes(TBuild& B) {
  if (!Engine_) return;
  if (Busy_++ == 0) ++Propagations_;
  auto done = OnScopeExit([this] { --Busy_; });

  // An older node feeding a new one is a one-fact node or a shared join
  // (test nodes and terminals are never shared). Joins replay first.
  std::unordered_set<TReteNode*> onPath;
  for (TReteNode* n : *B.Nodes) {
    if (!n->New_) continue;
    for (TReteNode* p : n->Parents_) {
      if (p->New_) continue;
      for (const TReteEdge& e : p->Edges_) {
        if (e.Target != n) continue;
        if (dynamic_cast<TPatternMatchNode*>(p))
          onPath.insert(p);
        else if (auto* j = dynamic_cast<TJoinNode*>(p))
          j->Replay(n, e.CallType, taUpdate);
      }
    }
  }
  // The older one-fact nodes on the way from a root to such an edge.
  {
    std::vector<TReteNode*> work(onPath.begin(), onPath.end());
    while (!work.empty()) {
      TReteNode* n = work.back();
      work.pop_back();
      for (TReteNode* p : n->Parents_)
        if (!p->New_ && onPath.insert(p).second) work.push_back(p);
    }
  }
  std::vector<TReteNode*> newRoots;
  for (TReteNode* r : B.Roots)
    if ((r->New_ || onPath.count(r)) &&
        std::find(newRoots.begin(), newRoots.end(), r) == newRoots.end())
      newRoots.push_back(r);
  if (newRoots.empty()) return;

  // Facts pass older nodes only towards new ones.
  std::function<void(TPatternMatchNode*, const IReteToken&)> pass = [&](TPatternMatchNode* N,
                                                                        const IReteToken& T) {
    N->Filter(T, [&](const IReteToken& Out) {
      for (const TReteEdge& e : N->Edges_) {
        if (e.Target->New_)
          e.Target->CallNode(Out, e.CallType);
        else if (onPath.count(e.Target))
          pass(static_cast<TPatternMatchNode*>(e.Target), Out);
      }
    });
  };
  const std::vector<IFact> facts = Engine_->FactSnapshot();
  for (const IFact& f : facts) {
    IReteToken token(new TKbToken(taUpdate, f, ShareSnapshot));
    for (TReteNode* r : newRoots) {
      if (r->New_)
        r->CallNode(token, ctSingle);
      else
        pass(static_cast<TPatternMatchNode*>(r), token);
    }
  }
}

// ------------------------------------------------------------- RemoveRule

void TReteNetwork::RemoveRule(TRule* Rule) {
  auto it = RuleNodes_.find(Rule);
  if (it == RuleNodes_.end()) return;
  if (IsBusy()) KbError(SRulesBusy);
  std::vector<TReteNode*> nodes = std::move(it->second);
  RuleNodes_.erase(it);
  // One reference per entry: a node reaches 0 at its last entry in any
  // list, so no entry visited later names a freed node. Children come
  // after their parents in the list and go first.
  for (auto n = nodes.rbegin(); n != nodes.rend(); ++n)
    if (--(*n)->RuleUseCount_ <= 0) FreeNode(*n);
}

// ------------------------------------------------------------- predicates

namespace {

// Limit: the pattern whose test the call is (a variable bound later, or
// inside another pattern's negation, is unknown there); -1 for a call
// that sees every rule-wide variable.
void CompileArguments(TFunctionCall& Call, TRule* Rule, int32_t Limit) {
  for (int i = 0; i < Call.GetArgumentCount(); ++i) {
    const IKbValue& a = Call.GetArgument(i);
    if (!a) continue;
    switch (a->GetDType()) {
      case dtVariable:
      case dtMultiVariable: {
        const std::string name(a->GetText());
        const TRuleBinding* b = Rule->FindBinding(name, Limit);
        if (!b) {
          if (IsGlobalName(name)) continue;
          KbError(SUnknownVariable, name);
        }
        IKbValue ref = NewValue();
        const std::string slot = b->IsPatternBinding() ? std::string() : b->GetSlotIndex();
        ref->SetAsVariantArray(
            {TVariant(b->GetFactIndex()), TVariant(slot), TVariant(b->GetSubIndex())});
        Call.SetArgument(i, ref);
        break;
      }
      case dtFunCall: CompileArguments(*a->GetAsFunCall(), Rule, Limit); break;
      default: break;
    }
  }
}

}  // namespace

IFunCall TReteNetwork::Evaluate(const IFunCall& Call, TRule* Rule) {
  return Evaluate(Call, Rule, -1);
}

IFunCall TReteNetwork::Evaluate(const IFunCall& Call, TRule* Rule, int32_t Limit) {
  IFunCall copy = Call->CloneCall();
  CompileArguments(*copy, Rule, Limit);
  return copy;
}

bool TReteNetwork::HasMorePatterns(const IFunCall& Call, int32_t I) {
  if (!Call) return false;
  for (const IKbValue& a : Call->Arguments()) {
    if (!a) continue;
    switch (a->GetDType()) {
      case dtVariantArray: {
        const TVariantArray& v = a->GetAsVariantArray();
        if (!v.empty() && v[0].IsNumeric() && v[0].AsInteger() != I) return true;
        break;
      }
      case dtIntArray: {
        const TIntegerArray& v = a->GetAsIntArray();
        if (!v.empty() && v[0] != I) return true;
        break;
      }
      case dtFunCall:
        if (HasMorePatterns(a->GetAsFunCall(), I)) return true;
        break;
      default: break;
    }
  }
  return false;
}

void TReteNetwork::CleanUpBinding(const IFunCall& Call) {
  if (!Call) return;
  for (int i = 0; i < Call->GetArgumentCount(); ++i) {
    const IKbValue& a = Call->GetArgument(i);
    if (!a) continue;
    switch (a->GetDType()) {
      case dtVariantArray: {
        TVariantArray v = a->GetAsVariantArray();
        if (v.empty()) break;
        v[0] = TVariant(0);
        IKbValue n = NewValue();
        n->SetAsVariantArray(v);
        Call->SetArgument(i, n);
        break;
      }
      case dtIntArray: {
        TIntegerArray v = a->GetAsIntArray();
        if (v.empty()) break;
        v[0] = 0;
        IKbValue n = NewValue();
        n->SetAsIntArray(v);
        Call->SetArgument(i, n);
        break;
      }
      case dtFunCall: CleanUpBinding(a->GetAsFunCall()); break;
      default: break;
    }
  }
}

// ---------------------------------------------------------------- tokens

const std::vector<TPatternMatchNode*>& TReteNetwork::RootsOf(const TFactTemplate* Template) {
  auto it = RootCache_.find(Template);
  if (it == RootCache_.end()) {
    TRootList& list = RootCache_[Template];
    list.Template = IFactTemplate(const_cast<TFactTemplate*>(Template));
    for (TReteNode* r : Roots_)
      if (auto* p = dynamic_cast<TPatternMatchNode*>(r))
        if (p->GetPatternMatchTest() == pmtTestClassType && p->MatchesTemplate(Template))
          list.Roots.push_back(p);
    it = RootCache_.find(Template);
  }
  // The map's entries stay where they are until it is cleared.
  LastTemplate_ = Template;
  LastRoots_ = &it->second.Roots;
  return it->second.Roots;
}

bool TReteNetwork::ProcessToken(const IReteToken& Token) {
  if (!Token) return false;
  const TKbToken& token = *Token;
  if (Busy_++ == 0) ++Propagations_;
  const int32_t dying = DyingFact_;
  // However the token's passage ends: the network is no longer busy with
  // it, the fact dying before it dies again, and the first failure of a
  // handler is forgotten when it was not raised (an error ended the
  // passage).
  auto done = OnScopeExit([this, dying] {
    DyingFact_ = dying;
    if (--Busy_ == 0) Failure_ = nullptr;
  });
  // The first failure of a handler, raised once the token has passed.
  auto raise = [this] {
    if (Busy_ == 1 && Failure_) std::rethrow_exception(std::exchange(Failure_, {}));
  };
  const TFact* fact = token.GetFact().get();
  if (token.GetTag() == taClear || !fact) {
    ClearMemories();
    raise();
    return !Roots_.empty();
  }
  const TFactTemplate* t = fact->GetTemplate().get();
  if (!t) return false;
  DyingFact_ = token.GetTag() == taRemove ? fact->GetID() : NoDyingFact;
  // A copy: a root may be freed while the token passes (a rule deleted by
  // an event handler). A few roots are copied to the stack.
  const std::vector<TPatternMatchNode*>& cached = t == LastTemplate_ ? *LastRoots_ : RootsOf(t);
  const bool any = !cached.empty();
  constexpr size_t Few = 16;
  if (cached.size() == 1) {
    // Most templates have one root. The fact passes its test (the roots
    // were found by it, just now): it goes straight to the children.
    cached.front()->CallChildren(Token);
  } else if (cached.size() <= Few) {
    TPatternMatchNode* roots[Few];
    const size_t n = cached.size();
    std::copy(cached.begin(), cached.end(), roots);
    for (size_t i = 0; i < n; ++i) roots[i]->CallNode(Token, ctSingle);
  } else {
    const std::vector<TPatternMatchNode*> roots = cached;
    for (TPatternMatchNode* r : roots) r->CallNode(Token, ctSingle);
  }
  raise();
  return any;
}

void TReteNetwork::ClearMemories() {
  // Every node once, in the order the token would reach them from the
  // roots, so that activations are withdrawn in that order.
  std::unordered_set<TReteNode*> visited;
  std::vector<TReteNode*> order;
  std::function<void(TReteNode*)> visit = [&](TReteNode* N) {
    if (!visited.insert(N).second) return;
    order.push_back(N);
    for (const TReteEdge& e : N->Edges_) visit(e.Target);
  };
  for (TReteNode* r : std::vector<TReteNode*>(Roots_)) visit(r);
  // Every fact goes, goals included: the joins' waits end silently.
  Goals_.Clear();
  for (TReteNode* n : order) n->ClearMemory();
}

bool TReteNetwork::ProcessTokenOneNode(const IReteToken& Token, TReteNode* Node) {
  return Node && Node->CallNode(Token, ctSingle);
}

}  // namespace kb
