// Saving and loading random knowledge bases: templates of every slot kind,
// type and default, facts of every value type, rules, deffunctions,
// globals and fact sets. What is saved, read into a new engine and into a
// cleared one, and saved again gives the same text, and all three engines
// run the same.
//
// Environment (for longer runs by hand):
//   KB_PERSIST_SEEDS=N   number of seeds (default: a moderate count)
//   KB_PERSIST_FIRST=S   first seed (default 1)
//   KB_PERSIST_PRINT=1   print each knowledge base and its saved text
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "EngineHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerFacts.h"

using namespace kb;

namespace {

uint64_t EnvNumber(const char* Name, uint64_t Default) {
  const char* v = std::getenv(Name);
  return v && *v ? std::strtoull(v, nullptr, 10) : Default;
}

// The type restriction of a single-field slot.
enum TSlotKind {
  skAny,       // no type qualifier
  skSymbol,    // SYMBOL
  skString,    // STRING
  skLexeme,    // LEXEME
  skInteger,   // INTEGER
  skFloat,     // FLOAT
  skNumber,    // NUMBER
  skVariable,  // ?VARIABLE
  skMulti,     // a multislot
  skKindCount
};

struct TSlot {
  std::string Name;
  TSlotKind Kind;
};

struct TTemplate {
  std::string Name;
  std::vector<TSlot> Slots;
  bool Parent = false;  // another template extends it
};

// Writes random knowledge bases as CLIPS text. Everything it writes is
// valid: loading the text must not fail, and neither may saving.
class TGenerator {
 public:
  explicit TGenerator(uint64_t Seed) : Rng_(Seed) {}

  std::string Base() {
    std::string r;
    const int templates = 1 + Pick(4);
    for (int i = 0; i < templates; ++i) r += Template(i);
    const int functions = Pick(3);
    for (int i = 0; i < functions; ++i) r += Function(i);
    r += Globals();
    Bound_ = Pick(3);
    if (Chance(10)) r += "(do-backward-chaining " + OneOf(Templates_).Name + ")\n";
    const int rules = Pick(5);
    for (int i = 0; i < rules; ++i) r += Rule(i, functions);
    // A template defined again takes the rules that use it with it. (Saving
    // refuses a child whose parent has been defined again.)
    const int again = Pick(static_cast<int>(Templates_.size()));
    if (Chance(15) && !Templates_[static_cast<size_t>(again)].Parent) r += Template(again);
    const int sets = Pick(3);
    for (int i = 0; i < sets; ++i) {
      r += "(deffacts set" + std::to_string(i) + Comment() + "\n";
      const int facts = Pick(3);
      for (int f = 0; f < facts; ++f) r += "  " + Fact() + "\n";
      r += ")\n";
    }
    r += "(reset)\n";
    // Globals made by bind, without defglobal; the rules read them.
    for (int i = Bound_; i > 0; --i)
      r += "(bind ?*b" + std::to_string(i) + "* " +
           (Chance(20) ? Call(skMulti) : Value(static_cast<TSlotKind>(Pick(8)))) + ")\n";
    for (int i = Pick(8); i > 0; --i) r += "(assert " + Fact() + ")\n";
    return r;
  }

 private:
  int Pick(int N) { return std::uniform_int_distribution<int>(0, N - 1)(Rng_); }
  bool Chance(int Percent) { return Pick(100) < Percent; }
  template <class T>
  const T& OneOf(const std::vector<T>& Items) {
    return Items[static_cast<size_t>(Pick(static_cast<int>(Items.size())))];
  }

  std::string Comment() {
    static const std::vector<std::string> comments = {"", " \"a comment\"",
                                                      " \"with \\\"quotes\\\" and \\\\\""};
    return OneOf(comments);
  }

  // A constant of the kind, as written in the source.
  std::string Value(TSlotKind Kind) {
    static const std::vector<std::string> symbols = {"red", "a-b", "x\\|y", "TRUE",
                                                     "nil", "<x>", "e5"};
    static const std::vector<std::string> strings = {
        "\"plain\"", "\"\"",          "\"say \\\"hi\\\"\"", "\"back\\\\slash\"", "\"(a; b)\"",
        "\"12\"",    "\"tab\there\"", "\"two\nlines\"",     "\"?x $?y\"",        "\"nil\""};
    static const std::vector<std::string> integers = {"0", "-5", "42", "2147483647", "-2147483648"};
    static const std::vector<std::string> floats = {"0.1",    "-2.5",  "1e-7",   "3.0",
                                                    "1.5e20", "-0.75", "100.25", "0.3"};
    switch (Kind) {
      case skSymbol: return OneOf(symbols);
      case skString: return OneOf(strings);
      case skLexeme: return Chance(50) ? OneOf(symbols) : OneOf(strings);
      case skInteger: return OneOf(integers);
      case skFloat: return OneOf(floats);
      case skNumber: return Chance(50) ? OneOf(integers) : OneOf(floats);
      default:
        switch (Pick(4)) {
          case 0: return OneOf(symbols);
          case 1: return OneOf(strings);
          case 2: return OneOf(integers);
          default: return OneOf(floats);
        }
    }
  }

  // A call giving a value of the kind.
  std::string Call(TSlotKind Kind) {
    switch (Kind) {
      case skSymbol:
      case skLexeme: return "(sym-cat a " + Value(skInteger) + ")";
      case skString: return "(str-cat \"s\" " + Value(skNumber) + ")";
      case skInteger: return "(+ 1 " + Value(skInteger).substr(0, 2) + ")";
      case skFloat:
        return Chance(50) ? "(* 0.5 " + Value(skFloat) + ")" : "(+ 0.1 " + Value(skFloat) + ")";
      case skMulti: return "(create$ a " + Value(skAny) + " (+ 1 2))";
      default: return "(+ 2 3)";
    }
  }

  std::string Template(int Index) {
    TTemplate t;
    t.Name = "t" + std::to_string(Index);
    std::string r = "(deftemplate " + t.Name + Comment();
    const bool again = Index < static_cast<int>(Templates_.size());
    // A child repeats its parent's slots.
    if (Index > 0 && !again && Chance(20)) {
      TTemplate& parent = Templates_[static_cast<size_t>(Pick(Index))];
      parent.Parent = true;
      r += " extends " + parent.Name;
      t.Slots = parent.Slots;
    }
    r += "\n";
    const int slots = 1 + Pick(4);
    for (int i = 0; i < slots; ++i) {
      TSlot s{"s" + std::to_string(Index) + "_" + std::to_string(i),
              static_cast<TSlotKind>(Pick(skKindCount))};
      t.Slots.push_back(s);
      r += "  " + SlotDefinition(s) + "\n";
    }
    r += ")\n";
    if (again)
      Templates_[static_cast<size_t>(Index)] = t;
    else
      Templates_.push_back(t);
    return r;
  }

  std::string SlotDefinition(const TSlot& S) {
    static const char* types[] = {"",        "SYMBOL", "STRING", "LEXEME",
                                  "INTEGER", "FLOAT",  "NUMBER", "?VARIABLE"};
    if (S.Kind == skMulti) {
      std::string r = "(multislot " + S.Name;
      switch (Pick(4)) {
        case 0: r += " (default a \"b c\" 1 2.5)"; break;
        case 1: r += " (default)"; break;
        case 2: r += " (default-dynamic " + Call(skMulti) + ")"; break;
        default: break;
      }
      return r + ")";
    }
    std::string r = std::string(Chance(80) ? "(slot " : "(field ") + S.Name;
    if (S.Kind != skAny) r += std::string(" (type ") + types[S.Kind] + ")";
    switch (Pick(4)) {
      case 0: r += " (default " + Value(S.Kind) + ")"; break;
      case 1: r += " (default-dynamic " + Call(S.Kind) + ")"; break;
      case 2:
        if (S.Kind == skInteger || S.Kind == skNumber || S.Kind == skAny) r += " (default (+ 2 3))";
        break;
      default: break;
    }
    return r + ")";
  }

  std::string Fact() {
    if (Chance(30)) {
      std::string r = "(o" + std::to_string(Pick(3));
      for (int i = Pick(4); i > 0; --i) r += " " + Value(skAny);
      return r + ")";
    }
    const TTemplate& t = OneOf(Templates_);
    std::string r = "(" + t.Name;
    for (const TSlot& s : t.Slots) {
      if (Chance(40)) continue;
      r += " (" + s.Name;
      if (s.Kind == skMulti) {
        for (int i = Pick(4); i > 0; --i) r += " " + Value(skAny);
      } else if (Chance(10)) {
        // nil reads as a symbol.
        const bool symbols =
            s.Kind == skAny || s.Kind == skSymbol || s.Kind == skLexeme || s.Kind == skVariable;
        r += symbols && Chance(50) ? " nil" : " " + Call(s.Kind);
      } else {
        r += " " + Value(s.Kind);
      }
      r += ")";
    }
    return r + ")";
  }

  std::string Function(int Index) {
    static const std::vector<std::string> bodies = {
        "(str-cat ?a \"/\" (length$ ?rest))",
        "(if (numberp ?a) then (* ?a 2) else ?a)",
        "(bind ?n 0) (foreach ?x ?rest (bind ?n (+ ?n 1))) (create$ ?a ?n)",
        "(assert (o2 ?a $?rest)) ?a",
    };
    return "(deffunction f" + std::to_string(Index) + " (?a $?rest)" + Comment() + " " +
           OneOf(bodies) + ")\n";
  }

  std::string Globals() {
    std::string r;
    for (int i = Pick(3); i > 0; --i) {
      r += "(defglobal ?*g" + std::to_string(i) + "* = ";
      r += Chance(30) ? Call(static_cast<TSlotKind>(Pick(skKindCount))) : Value(skAny);
      r += ")\n";
    }
    Globals_ = r;
    return r;
  }

  std::string Rule(int Index, int Functions) {
    std::string r = "(defrule r" + std::to_string(Index) + Comment() + "\n";
    if (Chance(60)) r += "  (declare (salience " + std::to_string(Pick(11) - 5) + "))\n";
    std::vector<std::string> variables;
    std::string address;
    const int patterns = 1 + Pick(2);
    for (int p = 0; p < patterns; ++p) {
      if (p > 0 && Chance(10)) {
        r += Chance(50) ? "  (test (> 2 1))\n" : "  (exists (" + OneOf(Templates_).Name + "))\n";
        continue;
      }
      if (Chance(20)) {
        r += "  (o" + std::to_string(Pick(3)) + " $?o" + std::to_string(p) + ")\n";
        variables.push_back("(length$ $?o" + std::to_string(p) + ")");
        continue;
      }
      const TTemplate& t = OneOf(Templates_);
      const bool negated = p > 0 && Chance(20);
      if (!negated && address.empty() && Chance(30)) {
        address = "?f" + std::to_string(p);
        r += "  " + address + " <- (" + t.Name;
      } else {
        r += negated ? "  (not (" + t.Name : "  (" + t.Name;
      }
      for (const TSlot& s : t.Slots) {
        if (Chance(50)) continue;
        const std::string var = "?v" + std::to_string(p) + s.Name;
        if (s.Kind == skMulti) {
          r += " (" + s.Name + " $" + var + ")";
          if (!negated) variables.push_back("(implode$ $" + var + ")");
        } else if (!negated && Chance(70)) {
          r += " (" + s.Name + " " + var + ")";
          variables.push_back(var);
        } else {
          r += " (" + s.Name + " ~" + Value(s.Kind) + ")";
        }
      }
      r += negated ? "))\n" : ")\n";
    }
    r += "  =>\n  (printout t \"r" + std::to_string(Index) + "\"";
    for (const std::string& v : variables) r += " \" \" " + v;
    if (Globals_.find("?*g1*") != std::string::npos) r += " \" \" ?*g1*";
    if (Bound_ > 0) r += " \" \" ?*b" + std::to_string(1 + Pick(Bound_)) + "*";
    r += " crlf)\n";
    if (Functions > 0 && !variables.empty())
      r += "  (printout t (f" + std::to_string(Pick(Functions)) + " " + OneOf(variables) +
           " 1 2) crlf)\n";
    if (Chance(50)) r += "  (assert " + Fact() + ")\n";
    if (!variables.empty() && Chance(30)) r += "  (assert (o1 " + OneOf(variables) + " (+ 1 2)))\n";
    if (!address.empty() && Chance(40)) r += "  (retract " + address + ")\n";
    if (Bound_ > 0 && !variables.empty() && Chance(20))
      r += "  (bind ?*b" + std::to_string(1 + Pick(Bound_)) + "* " + OneOf(variables) + ")\n";
    return r + ")\n";
  }

  std::mt19937_64 Rng_;
  std::vector<TTemplate> Templates_;
  std::string Globals_;
  int Bound_ = 0;
};

// An engine whose standard output is collected, and its facts as saved.
struct TEngine : kb::test::TCollectingEngine {
  std::string Facts() {
    TMemoryStream s;
    E.SaveFacts(s);
    return s.DataString();
  }
};

// Rules may assert facts that make them fire again.
constexpr int MaxFirings = 60;

}  // namespace

TEST(DeducerPersistenceProperty, SavedRandomKnowledgeBasesLoadBackTheSame) {
  const uint64_t first = EnvNumber("KB_PERSIST_FIRST", 1);
  const uint64_t seeds = EnvNumber("KB_PERSIST_SEEDS", 200);
  int failures = 0;
  for (uint64_t seed = first; seed < first + seeds && failures < 3; ++seed) {
    const std::string base = TGenerator(seed).Base();
    SCOPED_TRACE("seed " + std::to_string(seed) + ":\n" + base);
    // The original, a new engine that loads its text, one cleared first
    // that loads it, and a copy (Assign).
    TEngine engines[4];
    std::string text;
    try {
      engines[0].E.Parse(base);
      text = engines[0].E.GetExpertSystem();
      TMemoryStream stream(text);
      engines[1].E.LoadFromStream(stream);
      engines[2].E.Parse("(deftemplate t0 (slot x)) (defglobal ?*g1* = 5) (bind ?*b1* 7) (reset)");
      engines[2].E.Clear();
      stream.SetPosition(0);
      engines[2].E.LoadFromStream(stream);
      engines[3].E.Assign(&engines[0].E);
    } catch (const Exception& e) {
      ADD_FAILURE() << e.Message() << "\nsaved text:\n" << text;
      ++failures;
      continue;
    }
    // Fact files read back against the templates' file.
    try {
      TMemoryStream templates, facts;
      engines[0].E.SaveFactTemplates(templates);
      engines[0].E.SaveFacts(facts);
      TDeducer files;
      templates.SetPosition(0);
      files.LoadFactTemplates(templates);
      facts.SetPosition(0);
      files.LoadFacts(facts);
      TMemoryStream again;
      files.SaveFacts(again);
      EXPECT_EQ(again.DataString(), facts.DataString());
    } catch (const Exception& e) {
      ADD_FAILURE() << "fact files: " << e.Message();
    }
    if (EnvNumber("KB_PERSIST_PRINT", 0) != 0)
      std::printf("---- seed %llu\n%s\n---- saved\n%s\n", static_cast<unsigned long long>(seed),
                  base.c_str(), text.c_str());
    bool same = true;
    for (int i = 1; i < 4; ++i) {
      const std::string again = engines[i].E.GetExpertSystem();
      EXPECT_EQ(again, text) << "engine " << i;
      same &= again == text;
    }
    std::string outputs[4], facts[4];
    for (int i = 0; i < 4; ++i) {
      engines[i].Take();
      try {
        engines[i].E.Run(MaxFirings);
      } catch (const Exception& e) {
        engines[i].Out += "error: " + e.Message();
      }
      outputs[i] = engines[i].Take();
      // What running made must be saved as well.
      try {
        facts[i] = engines[i].Facts();
      } catch (const Exception& e) {
        ADD_FAILURE() << "engine " << i << " after running: " << e.Message() << "\n"
                      << engines[i].E.Facts().GetToIDString();
        same = false;
      }
    }
    for (int i = 1; i < 4; ++i) {
      EXPECT_EQ(outputs[i], outputs[0]) << "engine " << i;
      EXPECT_EQ(facts[i], facts[0]) << "engine " << i;
      same &= outputs[i] == outputs[0] && facts[i] == facts[0];
    }
    if (!same) ++failures;
  }
}
