// The naive matcher, the runner, shrinking and the report of cross-check
// scenarios.
#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "rete/ReteCrossCheck.h"

namespace kb::crosscheck {

// ---- Reference matcher ------------------------------------------------------------

namespace {
// Where a negated or existential condition stands in a match.
constexpr int NullSlot = -2;

bool Truthy(const std::string& Result) { return Result != "FALSE"; }

// The address of a fact, as its fields hold it.
std::string AddressText(int Id) { return "<Fact-" + std::to_string(Id) + ">"; }
}  // namespace

TReferenceMatcher::TReferenceMatcher(const TKnowledgeBase& Kb, TEvaluator Evaluator)
    : Kb_(Kb),
      Evaluator_(std::move(Evaluator)),
      Active_(Kb.Rules.size(), false),
      Excluded_(Kb.Rules.size(), false) {}

void TReferenceMatcher::AddRule(int Rule) {
  if (Rule < 0 || Rule >= static_cast<int>(Kb_.Rules.size()))
    throw std::out_of_range("no rule " + std::to_string(Rule));
  Active_.resize(Kb_.Rules.size(), false);
  Excluded_.resize(Kb_.Rules.size(), false);
  Active_[Rule] = true;
}

void TReferenceMatcher::Reset() {
  Facts_.clear();
  NextId_ = 1;  // the initial fact is f-0
}

int TReferenceMatcher::Assert(const TFactDef& Fact) {
  for (const TFact& f : Facts_)
    if (f.Def == Fact) return -1;
  Facts_.push_back({NextId_, Fact});
  return NextId_++;
}

int TReferenceMatcher::Retract(const TFactDef& Fact) {
  for (auto it = Facts_.begin(); it != Facts_.end(); ++it)
    if (it->Def == Fact) {
      int id = it->Id;
      Facts_.erase(it);
      return id;
    }
  return -1;
}

std::vector<std::string> TReferenceMatcher::Activations(int NullFactId) {
  std::vector<std::string> out;
  for (size_t r = 0; r < Active_.size(); ++r) {
    if (!Active_[r] || Excluded_[r]) continue;
    const TRuleDef& rule = Kb_.Rules[r];
    std::vector<int> ids;
    if (rule.Conditions.empty() || rule.Conditions.front().Kind != TCondition::Pattern)
      ids.push_back(0);
    std::vector<std::vector<int>> matches;
    TEnv env;
    MatchFrom(static_cast<int>(r), 0, env, ids, matches);
    if (Excluded_[r]) continue;
    for (const std::vector<int>& m : matches) {
      std::string s = rule.Name + " :";
      for (size_t i = 0; i < m.size(); ++i)
        s += (i ? ", f-" : " f-") + std::to_string(m[i] == NullSlot ? NullFactId : m[i]);
      out.push_back(std::move(s));
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

void TReferenceMatcher::MatchFrom(int Rule, size_t Index, TEnv& Env, std::vector<int>& Ids,
                                  std::vector<std::vector<int>>& Out) {
  const TRuleDef& rule = Kb_.Rules[Rule];
  if (Index == rule.Conditions.size()) {
    Out.push_back(Ids);
    return;
  }
  const TCondition& c = rule.Conditions[Index];
  switch (c.Kind) {
    case TCondition::Pattern: {
      size_t found = 0;
      for (const TFact& f : Facts_) {
        if (f.Def.Template != c.Template) continue;
        std::vector<TEnv> envs;
        MatchPattern(c, f, Env, envs);
        if (!c.FactVar.empty()) {
          // The fact's variable binds its address, or, bound already (by a
          // slot of this pattern or an earlier one), must hold it.
          const std::string address = AddressText(f.Id);
          std::erase_if(envs, [&](TEnv& e) {
            auto it = e.find(c.FactVar);
            if (it == e.end()) {
              e[c.FactVar] = {false, {address}};
              return false;
            }
            return it->second.Multi || it->second.Values.at(0) != address;
          });
        }
        found += envs.size();
        for (TEnv& e : envs) {
          Ids.push_back(f.Id);
          MatchFrom(Rule, Index + 1, e, Ids, Out);
          Ids.pop_back();
        }
      }
      if (c.Unique && found > 1) Excluded_[Rule] = true;
      break;
    }
    case TCondition::Not:
    case TCondition::Exists:
      if (AnyMatch(c, Env) == (c.Kind == TCondition::Exists)) {
        Ids.push_back(NullSlot);
        MatchFrom(Rule, Index + 1, Env, Ids, Out);
        Ids.pop_back();
      }
      break;
    case TCondition::Test:
      // A test keeps its place in the match, as a negated condition does,
      // so that the positions of later patterns stay the pattern indexes.
      if (Truthy(Evaluate(c.Call, Env))) {
        Ids.push_back(NullSlot);
        MatchFrom(Rule, Index + 1, Env, Ids, Out);
        Ids.pop_back();
      }
      break;
  }
}

bool TReferenceMatcher::AnyMatch(const TCondition& Cond, const TEnv& Env) {
  for (const TFact& f : Facts_) {
    if (f.Def.Template != Cond.Template) continue;
    std::vector<TEnv> envs;
    MatchPattern(Cond, f, Env, envs);
    if (!envs.empty()) return true;
  }
  return false;
}

void TReferenceMatcher::MatchPattern(const TCondition& Cond, const TFact& Fact, const TEnv& Env,
                                     std::vector<TEnv>& Out) {
  TEnv e = Env;
  MatchSlots(Cond, 0, Fact.Def, e, Out);
}

void TReferenceMatcher::MatchSlots(const TCondition& Cond, size_t SlotIndex, const TFactDef& Fact,
                                   TEnv& Env, std::vector<TEnv>& Out) {
  if (SlotIndex == Cond.Slots.size()) {
    Out.push_back(Env);
    return;
  }
  const TSlotConstraint& sc = Cond.Slots[SlotIndex];
  if (Kb_.Templates[Cond.Template].Slots[sc.Slot].Multi) {
    MatchPositions(Cond, SlotIndex, Fact, 0, 0, Env, Out);
    return;
  }
  TEnv e = Env;
  if (MatchConstraint(sc.Single, Fact.Slots[sc.Slot].at(0), e))
    MatchSlots(Cond, SlotIndex + 1, Fact, e, Out);
}

// Every way of laying the positions over the fields, one per segmentation.
void TReferenceMatcher::MatchPositions(const TCondition& Cond, size_t SlotIndex,
                                       const TFactDef& Fact, size_t Position, size_t Field,
                                       TEnv& Env, std::vector<TEnv>& Out) {
  const TSlotConstraint& sc = Cond.Slots[SlotIndex];
  const TFieldValues& values = Fact.Slots[sc.Slot];
  if (Position == sc.Positions.size()) {
    if (Field == values.size()) MatchSlots(Cond, SlotIndex + 1, Fact, Env, Out);
    return;
  }
  const TPosition& p = sc.Positions[Position];
  if (!p.Multi) {
    if (Field >= values.size()) return;
    TEnv e = Env;
    if (MatchConstraint(p.Single, values[Field], e))
      MatchPositions(Cond, SlotIndex, Fact, Position + 1, Field + 1, e, Out);
    return;
  }
  for (size_t end = Field; end <= values.size(); ++end) {
    TFieldValues segment(values.begin() + static_cast<long>(Field),
                         values.begin() + static_cast<long>(end));
    TEnv e = Env;
    if (!p.MultiVar.empty()) {
      auto it = e.find(p.MultiVar);
      if (it == e.end()) {
        e[p.MultiVar] = {true, segment};
      } else if (!it->second.Multi || it->second.Values != segment) {
        continue;
      }
    }
    MatchPositions(Cond, SlotIndex, Fact, Position + 1, end, e, Out);
  }
}

bool TReferenceMatcher::MatchConstraint(const TConstraint& C, const std::string& Value, TEnv& Env) {
  if (C.Wildcard) return true;
  if (!C.Binder.empty()) {
    auto it = Env.find(C.Binder);
    if (it == Env.end()) {
      Env[C.Binder] = {false, {Value}};
    } else if (it->second.Multi || it->second.Values.at(0) != Value) {
      return false;
    }
  }
  if (C.Alternatives.empty()) return true;
  for (const std::vector<TTerm>& alt : C.Alternatives)
    if (std::all_of(alt.begin(), alt.end(),
                    [&](const TTerm& t) { return TermHolds(t, Value, Env); }))
      return true;
  return false;
}

bool TReferenceMatcher::TermHolds(const TTerm& Term, const std::string& Value, const TEnv& Env) {
  bool holds = false;
  switch (Term.Kind) {
    case TTerm::Const: holds = Value == Term.Text; break;
    case TTerm::Var: {
      auto it = Env.find(Term.Text);
      if (it == Env.end()) throw std::logic_error("variable read before it is bound: " + Term.Text);
      holds = !it->second.Multi && it->second.Values.at(0) == Value;
      break;
    }
    case TTerm::Predicate: holds = Truthy(Evaluate(Term.Call, Env)); break;
    case TTerm::ReturnValue: holds = Evaluate(Term.Call, Env) == Value; break;
  }
  return holds != Term.Negated;
}

namespace {
// A value as the evaluator reads it: its reader has no literal for a fact
// address, so an address goes as a symbol of its own, which compares with
// the values a scenario holds as the address would (eq, neq, member$).
std::string EvaluatorText(const std::string& Value) {
  if (!Value.starts_with("<Fact-")) return Value;
  return "fact_" + Value.substr(6, Value.size() - 7);
}

// The call's text with the variables' values in their place.
std::string CallText(const TExpr& Call,
                     const std::map<std::string, TReferenceMatcher::TBound>& Env) {
  std::string text = "(" + Call.Function;
  for (const TArg& a : Call.Args) {
    text += ' ';
    switch (a.Kind) {
      case TArg::Const: text += a.Text; break;
      case TArg::Call: text += CallText(*a.Nested, Env); break;
      case TArg::Var: {
        auto it = Env.find(a.Text);
        if (it == Env.end()) throw std::logic_error("variable read before it is bound: " + a.Text);
        if (!it->second.Multi) {
          text += EvaluatorText(it->second.Values.at(0));
        } else {
          text += "(create$";
          for (const std::string& v : it->second.Values) text += " " + EvaluatorText(v);
          text += ")";
        }
        break;
      }
    }
  }
  return text + ")";
}
}  // namespace

std::string TReferenceMatcher::Evaluate(const TExpr& Call, const TEnv& Env) {
  std::string text = CallText(Call, Env);
  auto it = Cache_.find(text);
  if (it != Cache_.end()) return it->second;
  std::string result = Evaluator_(text);
  Cache_.emplace(text, result);
  return result;
}

// ---- Running -----------------------------------------------------------------------

namespace {
std::string InitialText(const TKnowledgeBase& Kb) {
  std::string text;
  for (const TTemplateDef& t : Kb.Templates)
    if (!t.Ordered) text += RenderTemplate(t) + "\n";
  for (const TRuleDef& r : Kb.Rules)
    if (!r.Late) text += RenderRule(Kb, r) + "\n";
  return text;
}

std::vector<std::string> Difference(const std::vector<std::string>& A,
                                    const std::vector<std::string>& B) {
  std::vector<std::string> r;
  std::set_difference(A.begin(), A.end(), B.begin(), B.end(), std::back_inserter(r));
  return r;
}

std::string RuleOf(const std::string& Activation) {
  return Activation.substr(0, Activation.find(" :"));
}
}  // namespace

std::optional<TMismatch> RunScenario(const TScenario& Scenario, TEngineDriver& Engine,
                                     const TEvaluator& Evaluator) {
  const TKnowledgeBase& kb = Scenario.Kb;
  TReferenceMatcher ref(kb, Evaluator);
  size_t step = 0;
  auto compare = [&]() -> std::optional<TMismatch> {
    TMismatch m;
    m.Step = step;
    m.Expected = ref.Activations(Engine.NullFactId());
    for (std::string& a : Engine.Agenda()) {
      std::string rule = RuleOf(a);
      bool excluded = false;
      for (size_t r = 0; r < kb.Rules.size(); ++r)
        if (kb.Rules[r].Name == rule && ref.Excluded(static_cast<int>(r))) excluded = true;
      if (!excluded) m.Actual.push_back(std::move(a));
    }
    std::sort(m.Actual.begin(), m.Actual.end());
    m.Missing = Difference(m.Expected, m.Actual);
    m.Extra = Difference(m.Actual, m.Expected);
    if (m.Missing.empty() && m.Extra.empty()) return std::nullopt;
    return m;
  };
  try {
    for (size_t r = 0; r < kb.Rules.size(); ++r)
      if (!kb.Rules[r].Late) ref.AddRule(static_cast<int>(r));
    Engine.Define(InitialText(kb));
    Engine.Reset();
    ref.Reset();
    if (auto m = compare()) return m;
    for (const TOp& op : Scenario.Ops) {
      ++step;
      switch (op.Kind) {
        case TOp::Assert: {
          int want = ref.Assert(op.Fact);
          int got = Engine.Assert(RenderFact(kb, op.Fact));
          if (got != want) {
            TMismatch m;
            m.Step = step;
            m.Error = "asserting " + RenderFact(kb, op.Fact) + " gave " + std::to_string(got) +
                      ", expected " + std::to_string(want);
            return m;
          }
          break;
        }
        case TOp::Retract: {
          int id = ref.Retract(op.Fact);
          if (id >= 0) Engine.Retract(id);
          break;
        }
        case TOp::Reset:
          Engine.Reset();
          ref.Reset();
          break;
        case TOp::AddRule:
          if (!ref.IsActive(op.Rule)) {
            ref.AddRule(op.Rule);
            Engine.Define(RenderRule(kb, kb.Rules.at(op.Rule)));
          }
          break;
      }
      if (auto m = compare()) return m;
    }
  } catch (const std::logic_error& e) {
    throw;  // a fault of the harness, not of the engine
  } catch (const std::exception& e) {
    TMismatch m;
    m.Step = step;
    m.Error = e.what();
    return m;
  }
  return std::nullopt;
}

// ---- Shrinking -----------------------------------------------------------------------

namespace {
TScenario WithoutRule(const TScenario& S, size_t Rule) {
  TScenario r = S;
  r.Kb.Rules.erase(r.Kb.Rules.begin() + static_cast<long>(Rule));
  std::vector<TOp> ops;
  for (TOp op : r.Ops) {
    if (op.Kind == TOp::AddRule) {
      if (op.Rule == static_cast<int>(Rule)) continue;
      if (op.Rule > static_cast<int>(Rule)) --op.Rule;
    }
    ops.push_back(std::move(op));
  }
  r.Ops = std::move(ops);
  return r;
}

// Candidate simplifications of one condition, each a whole new condition.
// The constraint of an ordered pattern stays (possibly with no position
// left): without it the pattern's text would read back as the pattern of
// an empty fact, not as one without constraint.
std::vector<TCondition> Simplifications(const TCondition& C, bool Ordered) {
  std::vector<TCondition> r;
  if (C.Unique) {
    r.push_back(C);
    r.back().Unique = false;
  }
  if (!C.FactVar.empty()) {
    r.push_back(C);
    r.back().FactVar.clear();
  }
  auto simplerConstraints = [](const TConstraint& K) {
    std::vector<TConstraint> out;
    if (K.Wildcard) return out;
    TConstraint w;
    w.Wildcard = true;
    out.push_back(w);
    if (!K.Binder.empty() && !K.Alternatives.empty()) {
      TConstraint b = K;
      b.Alternatives.clear();
      out.push_back(b);
      TConstraint a = K;
      a.Binder.clear();
      out.push_back(a);
    }
    for (size_t i = 0; K.Alternatives.size() > 1 && i < K.Alternatives.size(); ++i) {
      TConstraint a = K;
      a.Alternatives.erase(a.Alternatives.begin() + static_cast<long>(i));
      out.push_back(a);
    }
    for (size_t i = 0; i < K.Alternatives.size(); ++i)
      for (size_t j = 0; K.Alternatives[i].size() > 1 && j < K.Alternatives[i].size(); ++j) {
        TConstraint a = K;
        a.Alternatives[i].erase(a.Alternatives[i].begin() + static_cast<long>(j));
        out.push_back(a);
      }
    return out;
  };
  for (size_t s = 0; s < C.Slots.size(); ++s) {
    const TSlotConstraint& sc = C.Slots[s];
    if (!Ordered) {
      TCondition without = C;
      without.Slots.erase(without.Slots.begin() + static_cast<long>(s));
      r.push_back(without);
    }
    for (const TConstraint& k : simplerConstraints(sc.Single)) {
      r.push_back(C);
      r.back().Slots[s].Single = k;
    }
    for (size_t p = 0; p < sc.Positions.size(); ++p) {
      TCondition dropped = C;
      dropped.Slots[s].Positions.erase(dropped.Slots[s].Positions.begin() + static_cast<long>(p));
      r.push_back(dropped);
      if (sc.Positions[p].Multi) {
        if (!sc.Positions[p].MultiVar.empty()) {
          r.push_back(C);
          r.back().Slots[s].Positions[p].MultiVar.clear();
        }
        continue;
      }
      for (const TConstraint& k : simplerConstraints(sc.Positions[p].Single)) {
        r.push_back(C);
        r.back().Slots[s].Positions[p].Single = k;
      }
    }
  }
  return r;
}
}  // namespace

TScenario Shrink(const TScenario& Scenario, const TDriverFactory& Factory,
                 const TEvaluator& Evaluator) {
  auto failure = [&](const TScenario& S) {
    std::unique_ptr<TEngineDriver> engine = Factory();
    return RunScenario(S, *engine, Evaluator);
  };
  TScenario best = Scenario;
  std::optional<TMismatch> m = failure(best);
  if (!m) return best;
  auto accept = [&](const TScenario& Candidate) {
    for (const TRuleDef& r : Candidate.Kb.Rules)
      if (!WellFormed(r)) return false;
    std::optional<TMismatch> f = failure(Candidate);
    if (!f) return false;
    best = Candidate;
    best.Ops.resize(std::min(best.Ops.size(), f->Step));
    return true;
  };
  best.Ops.resize(std::min(best.Ops.size(), m->Step));
  bool changed = true;
  while (changed) {
    changed = false;
    for (size_t r = best.Kb.Rules.size(); r-- > 0 && best.Kb.Rules.size() > 1;)
      if (accept(WithoutRule(best, r))) changed = true;
    for (size_t i = best.Ops.size(); i-- > 0;) {
      if (i >= best.Ops.size()) continue;
      TScenario c = best;
      c.Ops.erase(c.Ops.begin() + static_cast<long>(i));
      if (accept(c)) changed = true;
    }
    for (size_t r = 0; r < best.Kb.Rules.size(); ++r) {
      for (size_t k = best.Kb.Rules[r].Conditions.size(); k-- > 0;) {
        if (k >= best.Kb.Rules[r].Conditions.size()) continue;
        TScenario c = best;
        auto& conds = c.Kb.Rules[r].Conditions;
        conds.erase(conds.begin() + static_cast<long>(k));
        if (accept(c)) {
          changed = true;
          continue;
        }
        const TCondition& cond = best.Kb.Rules[r].Conditions[k];
        const bool ordered = cond.Kind != TCondition::Test &&
                             best.Kb.Templates.at(static_cast<size_t>(cond.Template)).Ordered;
        for (const TCondition& simpler : Simplifications(cond, ordered)) {
          TScenario s = best;
          s.Kb.Rules[r].Conditions[k] = simpler;
          if (accept(s)) {
            changed = true;
            break;
          }
        }
      }
    }
    if (best.Kb.Rules.size() == 1 && best.Kb.Rules[0].Late) {
      TScenario c = WithoutRule(best, 0);
      c.Kb.Rules = best.Kb.Rules;
      c.Kb.Rules[0].Late = false;
      if (accept(c)) changed = true;
    }
  }
  return best;
}

// ---- Report -----------------------------------------------------------------------------

namespace {
std::string Quoted(const std::vector<std::string>& Items) {
  std::string s = "{";
  for (size_t i = 0; i < Items.size(); ++i) s += (i ? ", \"" : "\"") + Items[i] + "\"";
  return s + "}";
}
}  // namespace

std::string Describe(const TScenario& Scenario, const TMismatch& Mismatch) {
  const TKnowledgeBase& kb = Scenario.Kb;
  std::ostringstream out;
  out << "// seed " << Scenario.Seed << ", features: " << Scenario.Features.ToString() << "\n";
  out << "ASSERT_TRUE(Engine.Parse(R\"(" << InitialText(kb) << ")\"));\n";
  out << "Engine.Reset();\n";
  TReferenceMatcher ids(kb, [](const std::string&) { return std::string(); });
  ids.Reset();
  for (size_t i = 0; i < Mismatch.Step && i < Scenario.Ops.size(); ++i) {
    const TOp& op = Scenario.Ops[i];
    switch (op.Kind) {
      case TOp::Assert: {
        int id = ids.Assert(op.Fact);
        out << "Engine.Assert(\"" << RenderFact(kb, op.Fact) << "\");  // "
            << (id < 0 ? std::string("equal fact present: -1") : "f-" + std::to_string(id)) << "\n";
        break;
      }
      case TOp::Retract: {
        int id = ids.Retract(op.Fact);
        if (id >= 0) out << "Engine.Retract(" << id << ");  // " << RenderFact(kb, op.Fact) << "\n";
        break;
      }
      case TOp::Reset: out << "Engine.Reset();\n"; break;
      case TOp::AddRule:
        out << "ASSERT_TRUE(Engine.Parse(R\"(" << RenderRule(kb, kb.Rules.at(op.Rule))
            << ")\"));\n";
        break;
    }
  }
  if (!Mismatch.Error.empty()) {
    out << "// fails: " << Mismatch.Error << "\n";
    return out.str();
  }
  out << "EXPECT_EQ(SortedAgenda(), (std::vector<std::string>" << Quoted(Mismatch.Expected)
      << "));\n";
  out << "// the engine's agenda: " << Quoted(Mismatch.Actual) << "\n";
  out << "// missing: " << Quoted(Mismatch.Missing) << "; extra: " << Quoted(Mismatch.Extra)
      << "\n";
  return out.str();
}

}  // namespace kb::crosscheck
