// Randomized cross-check of rule matching against a naive matcher.
//
// A scenario is a small knowledge base (templates and rules, kept in a
// structured form and rendered as CLIPS text) and a history of fact
// operations. After every operation the reference matcher works out the
// activations each rule should have by trying every combination of current
// facts against the rule's conditions directly; the runner compares them,
// as multisets, with the agenda of the engine under test. The reference
// shares no code with the engine's network: only the predicate calls of
// the rules are evaluated by a function the caller supplies (the tests use
// the functions of a separate engine for that), so both sides agree on
// what (> 2 1) means and disagree only about matching.
//
// Every generated feature can be switched off (TFeatures), so that a
// disagreement can be narrowed to the feature that causes it; Shrink
// reduces a failing scenario to a small one and Describe prints it as
// code a developer can paste into a unit test.
#pragma once

#include <bitset>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kb::crosscheck {

// The switchable features of generated scenarios.
enum TFeature : uint8_t {
  fOrdered,              // ordered facts and patterns: (o0 1 2)
  fMultislot,            // multislots in templates
  fConstant,             // constants in patterns
  fSharedVariable,       // variables shared between patterns
  fIntraVariable,        // a variable used twice in one pattern
  fNegation,             // ~ on constants and variables
  fOr,                   // | between alternatives
  fAnd,                  // & joining several terms
  fPredicate,            // :(...)
  fReturnValue,          // =(...)
  fNot,                  // (not ...)
  fExists,               // (exists ...)
  fTest,                 // (test ...)
  fUnique,               // (unique ...)
  fMultiVariable,        // $?x
  fWildcard,             // ? and $?
  fBoundPattern,         // ?f <- (...)
  fNonBooleanPredicate,  // predicates returning a value other than TRUE, e.g. member$
  fMultiSegment,         // two multifield terms in one slot (several segmentations)
  fFactAddress,          // (test (neq ?f ?g)) on pattern-bound variables
  fOrVariable,           // a variable as an alternative of |: ?y|a
  fLateRule,             // rules added after facts exist
  fReset,                // Reset in the middle of the history
  fEmptyMultislot,       // a multislot constraint with no field: (m)
  fLocalVariable,        // a name bound inside not/exists used again later (a new variable)
  fAddressInSlot,  // fact addresses as slot values: facts holding <Fact-n>, (s ?f), ?x <- (...)
  fFeatureCount
};

const char* FeatureName(TFeature Feature);

struct TFeatures {
  std::bitset<fFeatureCount> On;
  static TFeatures All();
  bool Has(TFeature F) const { return On.test(F); }
  TFeatures Without(TFeature F) const;
  // "all" or "all but a, b".
  std::string ToString() const;
  // Applies a comma-separated list of changes to Base: "-name" switches a
  // feature off, "+name" or "name" on, "none" everything off, "all" on.
  // Unknown names raise std::invalid_argument.
  static TFeatures Parse(std::string_view Text, TFeatures Base = All());
};

enum class TDomain : uint8_t { Int, Sym };

struct TSlotDef {
  std::string Name;
  bool Multi = false;
  TDomain Domain = TDomain::Int;
};

// An ordered template has exactly one slot, the multislot "__Data".
struct TTemplateDef {
  std::string Name;
  bool Ordered = false;
  std::vector<TSlotDef> Slots;
};

// Field texts of one slot; a single slot holds exactly one. A fact
// address is written <Fact-n>, as the engine prints it (its reader has no
// such literal: a driver makes the address of such a field).
using TFieldValues = std::vector<std::string>;

struct TFactDef {
  int Template = 0;
  std::vector<TFieldValues> Slots;  // one entry per slot of the template
  bool operator==(const TFactDef&) const = default;
};

// A function call of a rule: arguments are constants, variables or calls.
struct TExpr;
struct TArg {
  enum TKind : uint8_t { Const, Var, Call } Kind = Const;
  std::string Text;  // the constant, or the variable name without "?"
  std::shared_ptr<TExpr> Nested;
};
struct TExpr {
  std::string Function;
  std::vector<TArg> Args;
};

// One term of a constraint, with its "~".
struct TTerm {
  enum TKind : uint8_t { Const, Var, Predicate, ReturnValue } Kind = Const;
  bool Negated = false;
  std::string Text;  // constant or variable name
  TExpr Call;        // for Predicate and ReturnValue
};

// The constraint on one field: an optional variable that binds the field
// (or, when already bound, must equal it), then alternatives joined by "|"
// of terms joined by "&". Wildcard is the lone "?".
struct TConstraint {
  bool Wildcard = false;
  std::string Binder;
  std::vector<std::vector<TTerm>> Alternatives;
};

// One position of a multislot constraint list: a multifield term ("$?x",
// or "$?" when MultiVar is empty) or a single-field constraint.
struct TPosition {
  bool Multi = false;
  std::string MultiVar;
  TConstraint Single;
};

struct TSlotConstraint {
  int Slot = 0;
  TConstraint Single;                // for a single slot
  std::vector<TPosition> Positions;  // for a multislot
};

struct TCondition {
  enum TKind : uint8_t { Pattern, Not, Exists, Test } Kind = Pattern;
  int Template = 0;
  std::vector<TSlotConstraint> Slots;  // in template slot order
  std::string FactVar;                 // ?f <- ...
  bool Unique = false;
  TExpr Call;  // for Test
};

struct TRuleDef {
  std::string Name;
  std::vector<TCondition> Conditions;
  bool Late = false;  // added by an AddRule operation, not at the start
};

struct TKnowledgeBase {
  std::vector<TTemplateDef> Templates;
  std::vector<TRuleDef> Rules;
};

struct TOp {
  enum TKind : uint8_t { Assert, Retract, Reset, AddRule } Kind = Assert;
  TFactDef Fact;  // Assert; Retract retracts the present fact equal to it
  int Rule = -1;  // AddRule
};

struct TScenario {
  uint64_t Seed = 0;
  TFeatures Features;
  TKnowledgeBase Kb;
  std::vector<TOp> Ops;
};

// ---- Text ------------------------------------------------------------------

std::string RenderTemplate(const TTemplateDef& Template);
std::string RenderRule(const TKnowledgeBase& Kb, const TRuleDef& Rule);
std::string RenderFact(const TKnowledgeBase& Kb, const TFactDef& Fact);
std::string RenderCall(const TExpr& Call);
std::string RenderConstraint(const TConstraint& Constraint);
// Reads the templates and rules of Text (deftemplate with slot and
// multislot, defrule with the conditions above and no action) into the
// structured form, so that hand-made cases read as rules do. Templates
// used without a deftemplate are ordered. Raises std::invalid_argument.
TKnowledgeBase ParseKnowledgeBase(const std::string& Text);
// Adds the templates and rules of Text to Kb.
void ParseInto(TKnowledgeBase& Kb, const std::string& Text);
// A fact of Kb written as CLIPS text, e.g. "(t (x 1) (m a b))" or "(o 1 2)".
TFactDef ParseFact(const TKnowledgeBase& Kb, const std::string& Text);

// ---- Generation -------------------------------------------------------------

TScenario Generate(uint64_t Seed, const TFeatures& Features);
// Whether every variable the rule reads (in a "?x" term or a call) is
// bound before it is read.
bool WellFormed(const TRuleDef& Rule);

// ---- Reference matcher ----------------------------------------------------------

// Evaluates a call given as CLIPS text with constant arguments and returns
// the result's text (FALSE counts as false, anything else as true).
using TEvaluator = std::function<std::string(const std::string& CallText)>;

class TReferenceMatcher {
 public:
  TReferenceMatcher(const TKnowledgeBase& Kb, TEvaluator Evaluator);

  // Empties working memory and adds the initial fact as f-0.
  void Reset();
  // The new fact's identifier, or -1 when an equal fact is present.
  int Assert(const TFactDef& Fact);
  // The identifier of the retracted fact, or -1 when none is equal.
  int Retract(const TFactDef& Fact);
  // Makes a rule of the knowledge base take part (rules may be appended to
  // the knowledge base after construction).
  void AddRule(int Rule);
  bool IsActive(int Rule) const { return Rule < static_cast<int>(Active_.size()) && Active_[Rule]; }

  // Every activation of the active rules as "rule : f-1, f-4", sorted. A
  // negated or existential condition, and a test, show as NullFactId
  // (every condition keeps its place); a rule starting with anything but a pattern (or with no
  // condition) shows the initial fact first. Rules whose "unique"
  // conditions ever matched more than one fact are left out: they promised
  // at most one and the engine may then pick any.
  std::vector<std::string> Activations(int NullFactId);
  // Whether the rule is left out for a broken "unique" promise.
  bool Excluded(int Rule) const {
    return Rule < static_cast<int>(Excluded_.size()) && Excluded_[Rule];
  }

  struct TFact {
    int Id;
    TFactDef Def;
  };
  const std::vector<TFact>& Facts() const { return Facts_; }

  // A variable's value: one field, or a segment of a multislot.
  struct TBound {
    bool Multi = false;
    TFieldValues Values;
  };

 private:
  using TEnv = std::map<std::string, TBound>;

  void MatchFrom(int Rule, size_t Index, TEnv& Env, std::vector<int>& Ids,
                 std::vector<std::vector<int>>& Out);
  void MatchPattern(const TCondition& Cond, const TFact& Fact, const TEnv& Env,
                    std::vector<TEnv>& Out);
  void MatchSlots(const TCondition& Cond, size_t SlotIndex, const TFactDef& Fact, TEnv& Env,
                  std::vector<TEnv>& Out);
  void MatchPositions(const TCondition& Cond, size_t SlotIndex, const TFactDef& Fact,
                      size_t Position, size_t Field, TEnv& Env, std::vector<TEnv>& Out);
  bool MatchConstraint(const TConstraint& C, const std::string& Value, TEnv& Env);
  bool TermHolds(const TTerm& Term, const std::string& Value, const TEnv& Env);
  std::string Evaluate(const TExpr& Call, const TEnv& Env);
  bool AnyMatch(const TCondition& Cond, const TEnv& Env);

  const TKnowledgeBase& Kb_;
  TEvaluator Evaluator_;
  std::map<std::string, std::string> Cache_;
  std::vector<TFact> Facts_;
  std::vector<bool> Active_;
  std::vector<bool> Excluded_;
  int NextId_ = 0;
};

// ---- Running ---------------------------------------------------------------------

// The engine under test, seen through the operations the history needs.
class TEngineDriver {
 public:
  virtual ~TEngineDriver() = default;
  // Parses and installs constructs.
  virtual void Define(const std::string& Text) = 0;
  virtual void Reset() = 0;
  // The new fact's identifier, or -1 when an equal fact is present.
  virtual int Assert(const std::string& FactText) = 0;
  virtual void Retract(int Id) = 0;
  // The agenda's activations as "rule : f-1, f-4".
  virtual std::vector<std::string> Agenda() = 0;
  // The identifier that tokens show where a negated condition has no fact.
  virtual int NullFactId() = 0;
};

using TDriverFactory = std::function<std::unique_ptr<TEngineDriver>()>;

struct TMismatch {
  size_t Step = 0;                            // operations applied (0: after the initial Reset)
  std::vector<std::string> Missing;           // expected, not on the agenda
  std::vector<std::string> Extra;             // on the agenda, not expected
  std::string Error;                          // an exception or a wrong fact identifier
  std::vector<std::string> Expected, Actual;  // the whole agendas, sorted
};

// Runs the scenario; the first disagreement, or none.
std::optional<TMismatch> RunScenario(const TScenario& Scenario, TEngineDriver& Engine,
                                     const TEvaluator& Evaluator);

// A smaller scenario that still disagrees: fewer rules, operations,
// conditions and constraints.
TScenario Shrink(const TScenario& Scenario, const TDriverFactory& Factory,
                 const TEvaluator& Evaluator);

// The scenario and the disagreement as C++ a developer can paste into a
// unit test, with the expected and the actual activations.
std::string Describe(const TScenario& Scenario, const TMismatch& Mismatch);

}  // namespace kb::crosscheck
