// Features, text and generation of cross-check scenarios.
#include "rete/ReteCrossCheck.h"

#include <algorithm>
#include <set>
#include <stdexcept>

namespace kb::crosscheck {

// ---- Features ----------------------------------------------------------------

namespace {
constexpr const char* FeatureNames[fFeatureCount] = {"ordered",
                                                     "multislot",
                                                     "constant",
                                                     "shared-variable",
                                                     "intra-variable",
                                                     "negation",
                                                     "or",
                                                     "and",
                                                     "predicate",
                                                     "return-value",
                                                     "not",
                                                     "exists",
                                                     "test",
                                                     "unique",
                                                     "multi-variable",
                                                     "wildcard",
                                                     "bound-pattern",
                                                     "non-boolean-predicate",
                                                     "multi-segment",
                                                     "fact-address",
                                                     "or-variable",
                                                     "late-rule",
                                                     "reset",
                                                     "empty-multislot",
                                                     "local-variable",
                                                     "address-in-slot"};
}  // namespace

const char* FeatureName(TFeature Feature) { return FeatureNames[Feature]; }

TFeatures TFeatures::All() {
  TFeatures f;
  f.On.set();
  return f;
}

TFeatures TFeatures::Without(TFeature F) const {
  TFeatures r = *this;
  r.On.reset(F);
  return r;
}

std::string TFeatures::ToString() const {
  if (On.all()) return "all";
  std::string off;
  for (int i = 0; i < fFeatureCount; ++i) {
    if (On.test(i)) continue;
    if (!off.empty()) off += ", ";
    off += FeatureNames[i];
  }
  return "all but " + off;
}

TFeatures TFeatures::Parse(std::string_view Text, TFeatures Base) {
  TFeatures r = Base;
  size_t start = 0;
  while (start <= Text.size()) {
    size_t end = Text.find(',', start);
    if (end == std::string_view::npos) end = Text.size();
    std::string_view item = Text.substr(start, end - start);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    start = end + 1;
    if (item.empty()) continue;
    if (item == "all") {
      r.On.set();
      continue;
    }
    if (item == "none") {
      r.On.reset();
      continue;
    }
    bool on = true;
    if (item.front() == '-' || item.front() == '+') {
      on = item.front() == '+';
      item.remove_prefix(1);
    }
    int found = -1;
    for (int i = 0; i < fFeatureCount; ++i)
      if (item == FeatureNames[i]) found = i;
    if (found < 0) throw std::invalid_argument("unknown feature: " + std::string(item));
    r.On.set(found, on);
  }
  return r;
}

// ---- Text ----------------------------------------------------------------------

namespace {
std::string ArgText(const TArg& A) {
  switch (A.Kind) {
    case TArg::Const: return A.Text;
    case TArg::Var: return "?" + A.Text;
    case TArg::Call: return RenderCall(*A.Nested);
  }
  return {};
}

std::string TermText(const TTerm& T) {
  std::string s = T.Negated ? "~" : "";
  switch (T.Kind) {
    case TTerm::Const: return s + T.Text;
    case TTerm::Var: return s + "?" + T.Text;
    case TTerm::Predicate: return s + ":" + RenderCall(T.Call);
    case TTerm::ReturnValue: return s + "=" + RenderCall(T.Call);
  }
  return s;
}

std::string PositionsText(const std::vector<TPosition>& Positions) {
  std::string s;
  for (const TPosition& p : Positions) {
    if (!s.empty()) s += ' ';
    s += p.Multi ? "$?" + p.MultiVar : RenderConstraint(p.Single);
  }
  return s;
}

std::string PatternText(const TKnowledgeBase& Kb, const TCondition& C) {
  const TTemplateDef& t = Kb.Templates.at(C.Template);
  std::string s = "(" + t.Name;
  for (const TSlotConstraint& sc : C.Slots) {
    const TSlotDef& slot = t.Slots.at(sc.Slot);
    if (t.Ordered) {
      if (!sc.Positions.empty()) s += " " + PositionsText(sc.Positions);
      continue;
    }
    s += " (" + slot.Name;
    std::string body = slot.Multi ? PositionsText(sc.Positions) : RenderConstraint(sc.Single);
    if (!body.empty()) s += " " + body;
    s += ")";
  }
  return s + ")";
}

std::string FieldsText(const TFieldValues& Values) {
  std::string s;
  for (const std::string& v : Values) {
    if (!s.empty()) s += ' ';
    s += v;
  }
  return s;
}
}  // namespace

std::string RenderCall(const TExpr& Call) {
  std::string s = "(" + Call.Function;
  for (const TArg& a : Call.Args) s += " " + ArgText(a);
  return s + ")";
}

std::string RenderConstraint(const TConstraint& C) {
  if (C.Wildcard) return "?";
  std::string s;
  if (!C.Binder.empty()) s = "?" + C.Binder;
  if (C.Alternatives.empty()) return s;
  if (!s.empty()) s += "&";
  for (size_t a = 0; a < C.Alternatives.size(); ++a) {
    if (a > 0) s += "|";
    for (size_t t = 0; t < C.Alternatives[a].size(); ++t) {
      if (t > 0) s += "&";
      s += TermText(C.Alternatives[a][t]);
    }
  }
  return s;
}

std::string RenderTemplate(const TTemplateDef& Template) {
  std::string s = "(deftemplate " + Template.Name;
  for (const TSlotDef& slot : Template.Slots)
    s += std::string(slot.Multi ? " (multislot " : " (slot ") + slot.Name + ")";
  return s + ")";
}

std::string RenderRule(const TKnowledgeBase& Kb, const TRuleDef& Rule) {
  std::string s = "(defrule " + Rule.Name;
  for (const TCondition& c : Rule.Conditions) {
    s += "\n  ";
    switch (c.Kind) {
      case TCondition::Test: s += "(test " + RenderCall(c.Call) + ")"; break;
      case TCondition::Not: s += "(not " + PatternText(Kb, c) + ")"; break;
      case TCondition::Exists: s += "(exists " + PatternText(Kb, c) + ")"; break;
      case TCondition::Pattern: {
        std::string p = PatternText(Kb, c);
        if (c.Unique) p = "(unique " + p + ")";
        if (!c.FactVar.empty()) p = "?" + c.FactVar + " <- " + p;
        s += p;
        break;
      }
    }
  }
  return s + "\n  =>)";
}

std::string RenderFact(const TKnowledgeBase& Kb, const TFactDef& Fact) {
  const TTemplateDef& t = Kb.Templates.at(Fact.Template);
  std::string s = "(" + t.Name;
  if (t.Ordered) {
    std::string body = FieldsText(Fact.Slots.at(0));
    return s + (body.empty() ? "" : " " + body) + ")";
  }
  for (size_t i = 0; i < t.Slots.size(); ++i) {
    std::string body = FieldsText(Fact.Slots.at(i));
    s += " (" + t.Slots[i].Name + (body.empty() ? "" : " " + body) + ")";
  }
  return s + ")";
}

// ---- Reading ---------------------------------------------------------------------

namespace {
class TReader {
 public:
  explicit TReader(const std::string& Text) {
    size_t i = 0;
    while (i < Text.size()) {
      char c = Text[i];
      if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
        ++i;
      } else if (c == '(' || c == ')' || c == '&' || c == '|' || c == '~' || c == ':') {
        Tokens_.emplace_back(1, c);
        ++i;
      } else if (c == '=' && i + 1 < Text.size() && Text[i + 1] != '>') {
        Tokens_.emplace_back("=");
        ++i;
      } else {
        size_t j = i;
        while (j < Text.size() &&
               std::string_view(" \n\t\r()&|~").find(Text[j]) == std::string_view::npos)
          ++j;
        if (j == i) ++j;
        Tokens_.push_back(Text.substr(i, j - i));
        i = j;
      }
    }
  }
  bool AtEnd() const { return Pos_ >= Tokens_.size(); }
  const std::string& Peek() const {
    static const std::string end;
    return AtEnd() ? end : Tokens_[Pos_];
  }
  std::string Next() {
    if (AtEnd()) throw std::invalid_argument("unexpected end of text");
    return Tokens_[Pos_++];
  }
  void Expect(const std::string& T) {
    std::string got = Next();
    if (got != T) throw std::invalid_argument("expected " + T + ", got " + got);
  }

 private:
  std::vector<std::string> Tokens_;
  size_t Pos_ = 0;
};

bool IsVariable(const std::string& T) { return T.size() > 1 && T[0] == '?'; }
bool IsMultiVariable(const std::string& T) { return T.size() >= 2 && T[0] == '$' && T[1] == '?'; }

TExpr ReadCall(TReader& R) {
  R.Expect("(");
  TExpr e;
  e.Function = R.Next();
  while (R.Peek() != ")") {
    TArg a;
    if (R.Peek() == "(") {
      a.Kind = TArg::Call;
      a.Nested = std::make_shared<TExpr>(ReadCall(R));
    } else {
      std::string t = R.Next();
      if (IsMultiVariable(t)) {
        a.Kind = TArg::Var;
        a.Text = t.substr(2);
      } else if (IsVariable(t)) {
        a.Kind = TArg::Var;
        a.Text = t.substr(1);
      } else {
        a.Text = t;
      }
    }
    e.Args.push_back(std::move(a));
  }
  R.Expect(")");
  return e;
}

// One single-field constraint, up to the token that does not continue it.
TConstraint ReadConstraint(TReader& R) {
  TConstraint c;
  if (R.Peek() == "?") {
    R.Next();
    c.Wildcard = true;
    return c;
  }
  std::vector<std::vector<TTerm>> alts(1);
  for (;;) {
    TTerm t;
    if (R.Peek() == "~") {
      R.Next();
      t.Negated = true;
    }
    std::string tok = R.Next();
    if (tok == ":" || tok == "=") {
      t.Kind = tok == ":" ? TTerm::Predicate : TTerm::ReturnValue;
      t.Call = ReadCall(R);
    } else if (IsVariable(tok)) {
      t.Kind = TTerm::Var;
      t.Text = tok.substr(1);
    } else if (tok == "(" || tok == ")" || tok == "&" || tok == "|") {
      throw std::invalid_argument("bad constraint at " + tok);
    } else {
      t.Text = tok;
    }
    alts.back().push_back(std::move(t));
    if (R.Peek() == "&") {
      R.Next();
    } else if (R.Peek() == "|") {
      R.Next();
      alts.emplace_back();
    } else {
      break;
    }
  }
  // A leading plain variable binds the field, unless it is itself an
  // alternative of "|" (then it is one of the values allowed).
  std::vector<TTerm>& first = alts.front();
  if (first.front().Kind == TTerm::Var && !first.front().Negated &&
      (first.size() > 1 || alts.size() == 1)) {
    c.Binder = first.front().Text;
    first.erase(first.begin());
    if (first.empty()) alts.clear();
  }
  c.Alternatives = std::move(alts);
  return c;
}

std::vector<TPosition> ReadPositions(TReader& R) {
  std::vector<TPosition> ps;
  while (R.Peek() != ")") {
    TPosition p;
    if (IsMultiVariable(R.Peek())) {
      p.Multi = true;
      p.MultiVar = R.Next().substr(2);
    } else {
      p.Single = ReadConstraint(R);
    }
    ps.push_back(std::move(p));
  }
  return ps;
}

int TemplateIndex(TKnowledgeBase& Kb, const std::string& Name, bool CreateOrdered) {
  for (size_t i = 0; i < Kb.Templates.size(); ++i)
    if (Kb.Templates[i].Name == Name) return static_cast<int>(i);
  if (!CreateOrdered) throw std::invalid_argument("unknown template " + Name);
  TTemplateDef t;
  t.Name = Name;
  t.Ordered = true;
  t.Slots.push_back({"__Data", true, TDomain::Int});
  Kb.Templates.push_back(t);
  return static_cast<int>(Kb.Templates.size() - 1);
}

void ReadPatternBody(TReader& R, TKnowledgeBase& Kb, TCondition& C, const std::string& Name) {
  C.Template = TemplateIndex(Kb, Name, true);
  const TTemplateDef& t = Kb.Templates[C.Template];
  if (t.Ordered) {
    TSlotConstraint sc;
    sc.Positions = ReadPositions(R);
    C.Slots.push_back(std::move(sc));
    R.Expect(")");
    return;
  }
  while (R.Peek() == "(") {
    R.Next();
    std::string slot = R.Next();
    TSlotConstraint sc;
    sc.Slot = -1;
    for (size_t i = 0; i < t.Slots.size(); ++i)
      if (t.Slots[i].Name == slot) sc.Slot = static_cast<int>(i);
    if (sc.Slot < 0) throw std::invalid_argument("unknown slot " + slot);
    if (t.Slots[sc.Slot].Multi) {
      sc.Positions = ReadPositions(R);
    } else {
      sc.Single = ReadConstraint(R);
    }
    R.Expect(")");
    C.Slots.push_back(std::move(sc));
  }
  R.Expect(")");
  std::sort(C.Slots.begin(), C.Slots.end(),
            [](const TSlotConstraint& a, const TSlotConstraint& b) { return a.Slot < b.Slot; });
}

TCondition ReadCondition(TReader& R, TKnowledgeBase& Kb) {
  TCondition c;
  if (IsVariable(R.Peek())) {
    c.FactVar = R.Next().substr(1);
    R.Expect("<-");
  }
  R.Expect("(");
  std::string head = R.Next();
  if (head == "not" || head == "exists" || head == "unique") {
    TCondition inner = ReadCondition(R, Kb);
    R.Expect(")");
    if (head == "unique") {
      inner.Unique = true;
    } else {
      inner.Kind = head == "not" ? TCondition::Not : TCondition::Exists;
    }
    if (!c.FactVar.empty()) inner.FactVar = c.FactVar;
    return inner;
  }
  if (head == "test") {
    c.Kind = TCondition::Test;
    c.Call = ReadCall(R);
    R.Expect(")");
    return c;
  }
  ReadPatternBody(R, Kb, c, head);
  return c;
}
}  // namespace

TKnowledgeBase ParseKnowledgeBase(const std::string& Text) {
  TKnowledgeBase kb;
  ParseInto(kb, Text);
  return kb;
}

void ParseInto(TKnowledgeBase& kb, const std::string& Text) {
  TReader r(Text);
  while (!r.AtEnd()) {
    r.Expect("(");
    std::string kind = r.Next();
    if (kind == "deftemplate") {
      TTemplateDef t;
      t.Name = r.Next();
      while (r.Peek() == "(") {
        r.Next();
        std::string k = r.Next();
        TSlotDef s;
        s.Name = r.Next();
        s.Multi = k == "multislot";
        if (!s.Multi && k != "slot") throw std::invalid_argument("bad slot kind " + k);
        r.Expect(")");
        t.Slots.push_back(s);
      }
      r.Expect(")");
      kb.Templates.push_back(t);
    } else if (kind == "defrule") {
      TRuleDef rule;
      rule.Name = r.Next();
      while (r.Peek() != "=>") rule.Conditions.push_back(ReadCondition(r, kb));
      r.Next();
      r.Expect(")");
      kb.Rules.push_back(std::move(rule));
    } else {
      throw std::invalid_argument("unexpected construct " + kind);
    }
  }
}

TFactDef ParseFact(const TKnowledgeBase& Kb, const std::string& Text) {
  TReader r(Text);
  r.Expect("(");
  std::string name = r.Next();
  TFactDef f;
  f.Template = -1;
  for (size_t i = 0; i < Kb.Templates.size(); ++i)
    if (Kb.Templates[i].Name == name) f.Template = static_cast<int>(i);
  if (f.Template < 0) throw std::invalid_argument("unknown template " + name);
  const TTemplateDef& t = Kb.Templates[f.Template];
  f.Slots.resize(t.Slots.size());
  if (t.Ordered) {
    while (r.Peek() != ")") f.Slots[0].push_back(r.Next());
  } else {
    while (r.Peek() == "(") {
      r.Next();
      std::string slot = r.Next();
      size_t i = 0;
      while (i < t.Slots.size() && t.Slots[i].Name != slot) ++i;
      if (i == t.Slots.size()) throw std::invalid_argument("unknown slot " + slot);
      while (r.Peek() != ")") f.Slots[i].push_back(r.Next());
      r.Next();
    }
    for (size_t i = 0; i < t.Slots.size(); ++i)
      if (!t.Slots[i].Multi && f.Slots[i].size() != 1)
        throw std::invalid_argument("slot " + t.Slots[i].Name + " needs one value");
  }
  r.Expect(")");
  return f;
}

// ---- Well-formedness ---------------------------------------------------------------

namespace {
bool CallReadsBound(const TExpr& E, const std::set<std::string>& Bound) {
  for (const TArg& a : E.Args) {
    if (a.Kind == TArg::Var && !Bound.contains(a.Text)) return false;
    if (a.Kind == TArg::Call && !CallReadsBound(*a.Nested, Bound)) return false;
  }
  return true;
}

bool ConstraintReadsBound(const TConstraint& C, std::set<std::string>& Bound) {
  if (!C.Binder.empty()) Bound.insert(C.Binder);
  for (const auto& alt : C.Alternatives)
    for (const TTerm& t : alt) {
      if (t.Kind == TTerm::Var && !Bound.contains(t.Text)) return false;
      if ((t.Kind == TTerm::Predicate || t.Kind == TTerm::ReturnValue) &&
          !CallReadsBound(t.Call, Bound))
        return false;
    }
  return true;
}
}  // namespace

bool WellFormed(const TRuleDef& Rule) {
  std::set<std::string> bound;
  for (const TCondition& c : Rule.Conditions) {
    if (c.Kind == TCondition::Test) {
      if (!CallReadsBound(c.Call, bound)) return false;
      continue;
    }
    // Variables first bound in a negated or existential pattern are its own.
    std::set<std::string> scope = bound;
    for (const TSlotConstraint& sc : c.Slots) {
      if (!ConstraintReadsBound(sc.Single, scope)) return false;
      for (const TPosition& p : sc.Positions) {
        if (p.Multi) {
          if (!p.MultiVar.empty()) scope.insert(p.MultiVar);
        } else if (!ConstraintReadsBound(p.Single, scope)) {
          return false;
        }
      }
    }
    if (c.Kind == TCondition::Pattern) {
      bound = std::move(scope);
      if (!c.FactVar.empty()) bound.insert(c.FactVar);
    }
  }
  return true;
}

// ---- Generation -------------------------------------------------------------------

namespace {
class TRandom {
 public:
  explicit TRandom(uint64_t Seed) : State_(Seed) {}
  // splitmix64: the same sequence on every platform.
  uint64_t Next() {
    uint64_t z = (State_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Below(int N) { return N <= 0 ? 0 : static_cast<int>(Next() % static_cast<uint64_t>(N)); }
  bool Chance(int Percent) { return Below(100) < Percent; }
  template <class T>
  const T& Pick(const std::vector<T>& V) {
    return V.at(Below(static_cast<int>(V.size())));
  }

 private:
  uint64_t State_;
};

std::string Constant(TRandom& R, TDomain D) {
  static const char* const syms[] = {"a", "b", "c"};
  return D == TDomain::Int ? std::to_string(R.Below(4)) : syms[R.Below(3)];
}

TArg ConstArg(std::string T) { return TArg{TArg::Const, std::move(T), nullptr}; }
TArg VarArg(std::string Name) { return TArg{TArg::Var, std::move(Name), nullptr}; }
TArg CallArg(TExpr E) { return TArg{TArg::Call, {}, std::make_shared<TExpr>(std::move(E))}; }
TExpr MakeCall(std::string F, std::vector<TArg> Args) {
  return TExpr{std::move(F), std::move(Args)};
}

TTerm ConstTerm(std::string T, bool Negated = false) {
  return TTerm{TTerm::Const, Negated, std::move(T), {}};
}

struct TVar {
  enum TKind : uint8_t { Single, Multi, Fact } Kind;
  std::string Name;
  TDomain Domain;
  int Condition;  // index of the condition that binds it
};

class TGenerator {
 public:
  TGenerator(TRandom& R, const TFeatures& F) : R_(R), F_(F) {}

  TScenario Run(uint64_t Seed) {
    TScenario s;
    s.Seed = Seed;
    s.Features = F_;
    MakeTemplates(s.Kb);
    int rules = 2 + R_.Below(3);
    for (int i = 0; i < rules; ++i) s.Kb.Rules.push_back(MakeRule(s.Kb, i));
    MakeOps(s);
    return s;
  }

 private:
  void MakeTemplates(TKnowledgeBase& Kb) {
    int count = 2 + R_.Below(2);
    for (int i = 0; i < count; ++i) {
      TTemplateDef t;
      t.Name = "t" + std::to_string(i);
      int slots = 1 + R_.Below(3);
      for (int j = 0; j < slots; ++j) {
        TSlotDef s;
        int kind = R_.Below(F_.Has(fMultislot) ? 3 : 2);
        s.Multi = kind == 2;
        s.Domain = kind == 1 || (s.Multi && R_.Chance(40)) ? TDomain::Sym : TDomain::Int;
        s.Name = std::string(s.Multi                    ? "m"
                             : s.Domain == TDomain::Int ? "i"
                                                        : "s") +
                 std::to_string(j);
        t.Slots.push_back(s);
      }
      Kb.Templates.push_back(t);
    }
    if (F_.Has(fOrdered)) {
      TTemplateDef o;
      o.Name = "o0";
      o.Ordered = true;
      o.Slots.push_back({"__Data", true, TDomain::Int});
      Kb.Templates.push_back(o);
    }
    // Facts on this template match no rule.
    TTemplateDef z;
    z.Name = "z0";
    z.Slots.push_back({"v0", false, TDomain::Int});
    Kb.Templates.push_back(z);
    Rulable_ = static_cast<int>(Kb.Templates.size()) - 1;
  }

  std::string NewName(const char* Prefix) { return Prefix + std::to_string(++Counter_); }

  // Variables of the scope that are single fields of domain D, bound by the
  // current condition (Intra) or an earlier one, as the features allow.
  std::vector<TVar> Usable(TVar::TKind Kind, std::optional<TDomain> D) const {
    std::vector<TVar> r;
    for (const TVar& v : Scope_) {
      if (v.Kind != Kind || (D && v.Domain != *D)) continue;
      bool intra = v.Condition == Condition_;
      if (intra ? F_.Has(fIntraVariable) : F_.Has(fSharedVariable)) r.push_back(v);
    }
    return r;
  }

  // Variables a single field of domain D may be compared with: fact
  // addresses are symbolic values too.
  std::vector<TVar> Peers(TDomain D) const {
    std::vector<TVar> r = Usable(TVar::Single, D);
    if (D == TDomain::Sym && F_.Has(fAddressInSlot))
      for (const TVar& v : Usable(TVar::Fact, std::nullopt)) r.push_back(v);
    return r;
  }

  // A predicate reading Anchor (and perhaps another variable of the scope).
  std::optional<TExpr> PredicateOn(const TVar& A) {
    std::string k = std::to_string(R_.Below(4));
    switch (A.Kind) {
      case TVar::Single:
        if (A.Domain == TDomain::Int) {
          std::vector<TVar> others = Usable(TVar::Single, TDomain::Int);
          std::string b = others.empty() ? A.Name : R_.Pick(others).Name;
          switch (R_.Below(8)) {
            case 0: return MakeCall(">", {VarArg(A.Name), ConstArg(k)});
            case 1: return MakeCall("<", {VarArg(A.Name), ConstArg(k)});
            case 2: return MakeCall(">=", {VarArg(A.Name), VarArg(b)});
            case 3: return MakeCall("<>", {VarArg(A.Name), VarArg(b)});
            case 4: return MakeCall("evenp", {VarArg(A.Name)});
            case 5: return MakeCall("oddp", {VarArg(A.Name)});
            case 6:
              return MakeCall("=",
                              {CallArg(MakeCall("+", {VarArg(A.Name), VarArg(b)})), ConstArg(k)});
            default: return MakeCall("<=", {VarArg(A.Name), VarArg(b)});
          }
        } else {
          std::vector<TVar> others = Peers(TDomain::Sym);
          switch (R_.Below(3)) {
            case 0: return MakeCall("eq", {VarArg(A.Name), ConstArg(Constant(R_, TDomain::Sym))});
            case 1: return MakeCall("neq", {VarArg(A.Name), ConstArg(Constant(R_, TDomain::Sym))});
            default:
              if (others.empty()) return std::nullopt;
              return MakeCall("neq", {VarArg(A.Name), VarArg(R_.Pick(others).Name)});
          }
        }
      case TVar::Multi: {
        TExpr len = MakeCall("length$", {VarArg(A.Name)});
        switch (R_.Below(3)) {
          case 0: return MakeCall(">", {CallArg(len), ConstArg(std::to_string(R_.Below(3)))});
          case 1: return MakeCall("=", {CallArg(len), ConstArg(std::to_string(R_.Below(3)))});
          default:
            if (!F_.Has(fNonBooleanPredicate)) return std::nullopt;
            return MakeCall("member$", {ConstArg(Constant(R_, A.Domain)), VarArg(A.Name)});
        }
      }
      case TVar::Fact: {
        if (!F_.Has(fFactAddress)) return std::nullopt;
        std::vector<TVar> others;
        for (const TVar& v : Usable(TVar::Fact, std::nullopt))
          if (v.Name != A.Name) others.push_back(v);
        if (others.empty()) return std::nullopt;
        return MakeCall(R_.Chance(70) ? "neq" : "eq",
                        {VarArg(A.Name), VarArg(R_.Pick(others).Name)});
      }
    }
    return std::nullopt;
  }

  std::optional<TExpr> AnyPredicate(bool Combine) {
    std::vector<TVar> vars;
    for (TVar::TKind k : {TVar::Single, TVar::Multi, TVar::Fact})
      for (const TVar& v : Usable(k, std::nullopt)) vars.push_back(v);
    if (vars.empty()) return std::nullopt;
    std::optional<TExpr> p;
    for (int tries = 0; tries < 4 && !p; ++tries) p = PredicateOn(R_.Pick(vars));
    if (p && Combine && R_.Chance(20)) {
      std::optional<TExpr> q = PredicateOn(R_.Pick(vars));
      if (q) {
        const char* f = R_.Chance(50) ? "or" : "and";
        p = MakeCall(f, {CallArg(*p), CallArg(*q)});
      } else {
        p = MakeCall("not", {CallArg(*p)});
      }
    }
    return p;
  }

  TVar Bind(TVar::TKind Kind, TDomain D) {
    TVar v{Kind,
           NewName(Kind == TVar::Multi  ? "m"
                   : Kind == TVar::Fact ? "f"
                                        : "x"),
           D, Condition_};
    // The name of a variable an earlier negated condition bound names a new
    // variable here, of whatever kind.
    if (F_.Has(fLocalVariable) && !Retired_.empty() && R_.Chance(40)) {
      const size_t at = static_cast<size_t>(R_.Below(static_cast<int>(Retired_.size())));
      v.Name = Retired_[at];
      Retired_.erase(Retired_.begin() + static_cast<long>(at));
    }
    Scope_.push_back(v);
    return v;
  }

  TConstraint SingleConstraint(TDomain D) {
    for (;;) {
      TConstraint c;
      switch (R_.Below(9)) {
        case 0:
          if (!F_.Has(fWildcard)) continue;
          c.Wildcard = true;
          return c;
        case 1:
          if (!F_.Has(fConstant)) continue;
          c.Alternatives = {{ConstTerm(Constant(R_, D), F_.Has(fNegation) && R_.Chance(30))}};
          return c;
        case 2: {
          // A new variable, perhaps constrained further.
          TVar v = Bind(TVar::Single, D);
          c.Binder = v.Name;
          int extra = R_.Below(4);
          if (extra == 1 && F_.Has(fAnd) && F_.Has(fNegation) && F_.Has(fConstant)) {
            c.Alternatives = {{ConstTerm(Constant(R_, D), true)}};
            if (R_.Chance(40)) c.Alternatives[0].push_back(ConstTerm(Constant(R_, D), true));
          } else if (extra == 2 && F_.Has(fOr) && F_.Has(fConstant)) {
            c.Alternatives = {{ConstTerm(Constant(R_, D))}, {ConstTerm(Constant(R_, D))}};
            if (F_.Has(fAnd) && F_.Has(fNegation) && R_.Chance(40))
              c.Alternatives[1] = {ConstTerm(Constant(R_, D), true),
                                   ConstTerm(Constant(R_, D), true)};
          } else if (extra == 3 && F_.Has(fAnd) && F_.Has(fPredicate)) {
            if (std::optional<TExpr> p = PredicateOn(v))
              c.Alternatives = {{TTerm{TTerm::Predicate, false, {}, *p}}};
          }
          return c;
        }
        case 3: {
          std::vector<TVar> vars = Peers(D);
          if (vars.empty()) continue;
          const TVar& v = R_.Pick(vars);
          if (F_.Has(fNegation) && R_.Chance(35)) {
            c.Alternatives = {{TTerm{TTerm::Var, true, v.Name, {}}}};
          } else {
            c.Binder = v.Name;
          }
          return c;
        }
        case 4:
          if (!F_.Has(fOr) || !F_.Has(fConstant)) continue;
          c.Alternatives = {{ConstTerm(Constant(R_, D))}, {ConstTerm(Constant(R_, D))}};
          return c;
        case 5: {
          if (!F_.Has(fPredicate)) continue;
          std::optional<TExpr> p = AnyPredicate(false);
          if (!p) continue;
          c.Alternatives = {{TTerm{TTerm::Predicate, F_.Has(fNegation) && R_.Chance(20), {}, *p}}};
          return c;
        }
        case 6: {
          if (!F_.Has(fReturnValue) || D != TDomain::Int) continue;
          std::vector<TVar> ints = Usable(TVar::Single, TDomain::Int);
          if (ints.empty()) continue;
          std::string a = R_.Pick(ints).Name, b = R_.Pick(ints).Name;
          TExpr e = R_.Chance(50) ? MakeCall(R_.Chance(50) ? "+" : "-",
                                             {VarArg(a), ConstArg(std::to_string(R_.Below(2)))})
                                  : MakeCall("-", {VarArg(a), VarArg(b)});
          c.Alternatives = {{TTerm{TTerm::ReturnValue, F_.Has(fNegation) && R_.Chance(20), {}, e}}};
          return c;
        }
        case 7: {
          if (!F_.Has(fOrVariable) || !F_.Has(fOr)) continue;
          std::vector<TVar> vars = Peers(D);
          if (vars.empty()) continue;
          TTerm var{TTerm::Var, false, R_.Pick(vars).Name, {}};
          std::vector<TTerm> other = {ConstTerm(Constant(R_, D))};
          if (R_.Chance(50)) {
            c.Alternatives = {{var}, other};
          } else {
            c.Alternatives = {other, {var}};
          }
          return c;
        }
        default: {
          if (!F_.Has(fAnd) || !F_.Has(fPredicate)) continue;
          TVar v = Bind(TVar::Single, D);
          c.Binder = v.Name;
          if (std::optional<TExpr> p = PredicateOn(v))
            c.Alternatives = {{TTerm{TTerm::Predicate, false, {}, *p}}};
          return c;
        }
      }
    }
  }

  std::vector<TPosition> Positions(TDomain D, bool Ordered) {
    int n = F_.Has(fEmptyMultislot) ? R_.Below(4) : 1 + R_.Below(3);
    if (Ordered && n == 0 && !F_.Has(fEmptyMultislot)) n = 1;
    std::vector<TPosition> ps;
    bool multi = false;
    for (int i = 0; i < n; ++i) {
      TPosition p;
      bool canMulti =
          (!multi || F_.Has(fMultiSegment)) && (F_.Has(fMultiVariable) || F_.Has(fWildcard));
      if (canMulti && R_.Chance(40)) {
        p.Multi = true;
        multi = true;
        std::vector<TVar> bound = Usable(TVar::Multi, D);
        int choice = R_.Below(5);
        if (choice == 0 && !bound.empty()) {
          p.MultiVar = R_.Pick(bound).Name;
        } else if (F_.Has(fMultiVariable) && (choice < 3 || !F_.Has(fWildcard))) {
          p.MultiVar = Bind(TVar::Multi, D).Name;
        }  // else "$?"
      } else {
        p.Single = SingleConstraint(D);
      }
      ps.push_back(std::move(p));
    }
    return ps;
  }

  TCondition MakePattern(const TKnowledgeBase& Kb, TCondition::TKind Kind) {
    TCondition c;
    c.Kind = Kind;
    c.Template = R_.Below(Rulable_);
    const TTemplateDef& t = Kb.Templates[c.Template];
    for (size_t i = 0; i < t.Slots.size(); ++i) {
      if (!t.Ordered && R_.Chance(35)) continue;
      TSlotConstraint sc;
      sc.Slot = static_cast<int>(i);
      if (t.Slots[i].Multi) {
        sc.Positions = Positions(t.Slots[i].Domain, t.Ordered);
      } else {
        sc.Single = SingleConstraint(t.Slots[i].Domain);
      }
      c.Slots.push_back(std::move(sc));
    }
    return c;
  }

  TRuleDef MakeRule(const TKnowledgeBase& Kb, int Index) {
    TRuleDef r;
    r.Name = "r" + std::to_string(Index);
    r.Late = F_.Has(fLateRule) && R_.Chance(30);
    Scope_.clear();
    Retired_.clear();
    int n = R_.Chance(3) ? 0 : 1 + R_.Below(4);
    // What a negated condition binds is its own: later conditions cannot
    // read it, and may bind the name again.
    auto leave = [&](size_t Scope) {
      for (size_t i = Scope; i < Scope_.size(); ++i) Retired_.push_back(Scope_[i].Name);
      Scope_.resize(Scope);
    };
    for (Condition_ = 0; Condition_ < n; ++Condition_) {
      int k = R_.Below(100);
      size_t scope = Scope_.size();
      if (k < 15 && F_.Has(fNot)) {
        r.Conditions.push_back(MakePattern(Kb, TCondition::Not));
        leave(scope);
      } else if (k < 25 && F_.Has(fExists)) {
        r.Conditions.push_back(MakePattern(Kb, TCondition::Exists));
        leave(scope);
      } else if (k < 40 && F_.Has(fTest)) {
        std::optional<TExpr> p = AnyPredicate(true);
        if (!p) {
          --Condition_;
          continue;
        }
        TCondition c;
        c.Kind = TCondition::Test;
        c.Call = *p;
        r.Conditions.push_back(std::move(c));
      } else {
        TCondition c = MakePattern(Kb, TCondition::Pattern);
        c.Unique = F_.Has(fUnique) && R_.Chance(12);
        if (F_.Has(fBoundPattern) && R_.Chance(30)) {
          // A variable bound already names the fact its value addresses.
          std::vector<TVar> bound = Peers(TDomain::Sym);
          if (F_.Has(fAddressInSlot) && !bound.empty() && R_.Chance(30))
            c.FactVar = R_.Pick(bound).Name;
          else
            c.FactVar = Bind(TVar::Fact, TDomain::Sym).Name;
        }
        r.Conditions.push_back(std::move(c));
      }
    }
    return r;
  }

  // Symbolic fields may hold the address of a fact of Ids.
  TFactDef MakeFact(const TKnowledgeBase& Kb, int Template, const std::vector<int>& Ids) {
    TFactDef f;
    f.Template = Template;
    for (const TSlotDef& s : Kb.Templates[Template].Slots) {
      TFieldValues v;
      int n = s.Multi ? R_.Below(4) : 1;
      for (int i = 0; i < n; ++i) {
        if (s.Domain == TDomain::Sym && F_.Has(fAddressInSlot) && R_.Chance(50))
          v.push_back("<Fact-" + std::to_string(R_.Pick(Ids)) + ">");
        else
          v.push_back(Constant(R_, s.Domain));
      }
      f.Slots.push_back(std::move(v));
    }
    return f;
  }

  void MakeOps(TScenario& S) {
    std::vector<TFactDef> present, gone;
    // The identifiers handed out since the last reset, the initial fact's
    // first: the addresses a fact may hold.
    std::vector<int> ids{0};
    std::vector<int> late;
    for (size_t i = 0; i < S.Kb.Rules.size(); ++i)
      if (S.Kb.Rules[i].Late) late.push_back(static_cast<int>(i));
    int steps = 15 + R_.Below(25);
    for (int i = 0; i < steps; ++i) {
      TOp op;
      int k = R_.Below(100);
      if (!late.empty() && R_.Chance(8)) {
        op.Kind = TOp::AddRule;
        op.Rule = late.front();
        late.erase(late.begin());
      } else if (k < 3 && F_.Has(fReset)) {
        op.Kind = TOp::Reset;
        present.clear();
        ids.resize(1);
      } else if ((k < 28 && !present.empty()) || present.size() > 12) {
        op.Kind = TOp::Retract;
        size_t at = R_.Below(static_cast<int>(present.size()));
        op.Fact = present[at];
        gone.push_back(present[at]);
        present.erase(present.begin() + static_cast<long>(at));
      } else {
        op.Kind = TOp::Assert;
        if (k < 36 && !gone.empty()) {
          op.Fact = R_.Pick(gone);  // re-asserting a retracted fact
        } else if (k < 42 && !present.empty()) {
          op.Fact = R_.Pick(present);  // a duplicate: refused
        } else if (k < 45) {
          op.Fact = MakeFact(S.Kb, Rulable_, ids);  // matches nothing
        } else {
          op.Fact = MakeFact(S.Kb, R_.Below(Rulable_), ids);
        }
        if (std::find(present.begin(), present.end(), op.Fact) == present.end()) {
          present.push_back(op.Fact);
          ids.push_back(ids.back() + 1);
        }
      }
      S.Ops.push_back(std::move(op));
    }
    for (int r : late) {
      TOp op;
      op.Kind = TOp::AddRule;
      op.Rule = r;
      S.Ops.push_back(op);
    }
  }

  TRandom& R_;
  const TFeatures& F_;
  int Rulable_ = 0;  // templates before this index are used by rules
  int Counter_ = 0;
  int Condition_ = 0;
  std::vector<TVar> Scope_;
  // Names bound inside earlier negated conditions of the rule being made.
  std::vector<std::string> Retired_;
};
}  // namespace

TScenario Generate(uint64_t Seed, const TFeatures& Features) {
  TRandom r(Seed);
  return TGenerator(r, Features).Run(Seed);
}

}  // namespace kb::crosscheck
