#include "BenchPrograms.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

#ifndef KB_BENCH_SOURCE_DIR
#define KB_BENCH_SOURCE_DIR "bench"
#endif

namespace kb::bench {

namespace {

std::string ReadBenchFile(const std::string& Name) {
  const char* dir = std::getenv("KB_BENCH_DIR");
  const std::string path = std::string(dir && *dir ? dir : KB_BENCH_SOURCE_DIR) + "/" + Name;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The data generators draw from a linear congruential generator whose
// state is a double: the product is rounded to 53 bits before the modulus,
// as an awk script computes it, so that the programs written here hold the
// same guests and graphs as the generators in ../shared/bench/.
class TDrawing {
 public:
  explicit TDrawing(double Seed) : FState(Seed) {}
  // The next state divided by 65536, rounded down.
  int64_t Next() {
    // Exact in 64 bits (the state is below 2^31); the conversion rounds
    // like a floating-point product would.
    const uint64_t product = static_cast<uint64_t>(FState) * 1103515245u;
    FState = std::fmod(static_cast<double>(product) + 12345.0, 2147483648.0);
    return static_cast<int64_t>(FState / 65536.0);
  }

 private:
  double FState;
};

// Whether Output has the whole line Line.
bool HasLine(const std::string& Output, const std::string& Line) {
  return ("\n" + Output).find("\n" + Line + "\n") != std::string::npos;
}

// What is wrong with Fired rules when Expected should fire (nothing when
// Fired is negative: not known).
std::string CheckFired(int64_t Fired, int64_t Expected) {
  if (Fired < 0 || Fired == Expected) return "";
  return "fired " + std::to_string(Fired) + " rules, expected " + std::to_string(Expected);
}

// ---------------------------------------------------------------- manners

struct TGuest {
  bool Male = false;
  std::vector<int> Hobbies;  // of 1, 2, 3
};

// Guest i (from 1) is male when i is odd and has two or three of the three
// hobbies, consecutive from a drawn first one: any two guests share one.
std::vector<TGuest> MannersGuests(int N) {
  TDrawing draw(12345);
  std::vector<TGuest> guests(N + 1);
  for (int i = 1; i <= N; ++i) {
    guests[i].Male = i % 2 == 1;
    const int count = 2 + static_cast<int>(draw.Next() % 2);
    const int first = static_cast<int>(draw.Next() % 3);
    for (int j = 0; j < count; ++j) guests[i].Hobbies.push_back((first + j) % 3 + 1);
  }
  return guests;
}

std::string MannersProgram(int N) {
  std::string text = ReadBenchFile("manners.clp");
  text += "\n(deffacts manners-data\n   (context (state start))\n   (count (c 1))\n";
  text += "   (last_seat (seat " + std::to_string(N) + "))\n";
  const std::vector<TGuest> guests = MannersGuests(N);
  for (int i = 1; i <= N; ++i)
    for (int h : guests[i].Hobbies)
      text += "   (guest (name n" + std::to_string(i) + ") (sex " + (guests[i].Male ? "m" : "f") +
              ") (hobby h" + std::to_string(h) + "))\n";
  return text + ")\n";
}

bool ShareHobby(const TGuest& A, const TGuest& B) {
  for (int h : A.Hobbies)
    for (int g : B.Hobbies)
      if (h == g) return true;
  return false;
}

std::string CheckManners(int N, const std::string& Output) {
  const std::vector<TGuest> guests = MannersGuests(N);
  std::vector<int> seated(N + 1, 0);  // guest on each seat
  std::vector<bool> placed(N + 1, false);
  const std::regex line(R"(^seat (\d+) guest n(\d+)$)");
  std::istringstream in(Output);
  std::string text;
  bool done = false;
  while (std::getline(in, text)) {
    done = done || text == "Yes, we are done!!";
    std::smatch m;
    if (!std::regex_match(text, m, line)) continue;
    const int seat = std::stoi(m[1]), guest = std::stoi(m[2]);
    if (seat < 1 || seat > N || guest < 1 || guest > N || seated[seat] || placed[guest])
      return "bad or repeated seat line: " + text;
    seated[seat] = guest;
    placed[guest] = true;
  }
  if (!done) return "no \"Yes, we are done!!\" line";
  for (int s = 1; s <= N; ++s) {
    if (!seated[s]) return "seat " + std::to_string(s) + " not printed";
    if (s == 1) continue;
    const TGuest& a = guests[seated[s - 1]];
    const TGuest& b = guests[seated[s]];
    if (a.Male == b.Male || !ShareHobby(a, b))
      return "seats " + std::to_string(s - 1) + " and " + std::to_string(s) +
             " hold guests of one sex or without a common hobby";
  }
  return "";
}

// Rules fired when the search never backs up: the first seat, N - 1
// extensions each followed by its path copies (1 + 2 + ... + N - 1 in all),
// its path_done and a check (N - 2 of them continue, the last is done), then
// N seats printed and the halt.
int64_t MannersFired(int N) {
  const int64_t n = N;
  return 1 + (n - 1) + n * (n - 1) / 2 + (n - 1) + (n - 2) + 1 + n + 1;
}

// ------------------------------------------------------------------ joins

const char* const JoinRules = R"(; Paths of two and three steps and triangles in a graph of edges.
(deftemplate edge (slot from) (slot to))
(defglobal ?*h2* = 0 ?*h3* = 0 ?*tri* = 0)

(defrule two-hop
  (edge (from ?a) (to ?b))
  (edge (from ?b) (to ?c))
  =>
  (assert (hop2 ?a ?c)))

(defrule three-hop
  (hop2 ?a ?c)
  (edge (from ?c) (to ?d))
  =>
  (assert (hop3 ?a ?d)))

(defrule triangle
  (edge (from ?a) (to ?b))
  (edge (from ?b) (to ?c))
  (edge (from ?c) (to ?a))
  =>
  (bind ?*tri* (+ ?*tri* 1)))

;; A path found again is the same fact: each is counted once.
(defrule count-hop2
  (hop2 ?a ?c)
  =>
  (bind ?*h2* (+ ?*h2* 1)))

(defrule count-hop3
  (hop3 ?a ?d)
  =>
  (bind ?*h3* (+ ?*h3* 1)))

(defrule report
  (declare (salience -100))
  (start)
  =>
  (printout t "hop2 " ?*h2* " hop3 " ?*h3* " triangles " ?*tri* crlf))
)";

// Edges leaving each node (from 1), in the order drawn: distinct targets,
// none back to the node itself.
std::vector<std::vector<int>> JoinGraph(int Nodes, int Degree) {
  TDrawing draw(4242);
  std::vector<std::vector<int>> out(Nodes + 1);
  for (int i = 1; i <= Nodes; ++i) {
    std::set<int> used{i};
    for (int j = 0; j < Degree && j < Nodes - 1; ++j) {
      int target;
      do target = 1 + static_cast<int>(draw.Next() % Nodes);
      while (used.count(target));
      used.insert(target);
      out[i].push_back(target);
    }
  }
  return out;
}

std::string JoinProgram(int Nodes, int Degree) {
  std::string text = JoinRules;
  text += "\n(deffacts graph\n   (start)\n";
  const std::vector<std::vector<int>> graph = JoinGraph(Nodes, Degree);
  for (int i = 1; i <= Nodes; ++i)
    for (int t : graph[i])
      text += "   (edge (from " + std::to_string(i) + ") (to " + std::to_string(t) + "))\n";
  return text + ")\n";
}

std::string CheckJoins(int Nodes, int Degree, const std::string& Output, int64_t Fired) {
  const std::vector<std::vector<int>> graph = JoinGraph(Nodes, Degree);
  std::set<std::pair<int, int>> hop2, hop3;
  int64_t paths2 = 0, triangles = 0;
  for (int a = 1; a <= Nodes; ++a)
    for (int b : graph[a])
      for (int c : graph[b]) {
        ++paths2;
        hop2.insert({a, c});
        for (int d : graph[c]) triangles += d == a;
      }
  int64_t extensions = 0;  // three-hop matches: a hop2 fact with an edge
  for (const auto& [a, c] : hop2) {
    extensions += static_cast<int64_t>(graph[c].size());
    for (int d : graph[c]) hop3.insert({a, d});
  }
  const std::string expected = "hop2 " + std::to_string(hop2.size()) + " hop3 " +
                               std::to_string(hop3.size()) + " triangles " +
                               std::to_string(triangles);
  if (!HasLine(Output, expected)) return "no line \"" + expected + "\"";
  // two-hop, three-hop and triangle fire per match, the counts per
  // distinct path, and the report.
  return CheckFired(Fired, paths2 + extensions + triangles + static_cast<int64_t>(hop2.size()) +
                               static_cast<int64_t>(hop3.size()) + 1);
}

// ------------------------------------------------------------------ churn

const char* const ChurnRules =
    R"(; Counters stepped one by one: every step retracts a fact and asserts its
; successor, through a join and a test.
(defglobal ?*done* = 0)

(defrule step
  ?f <- (item ?id ?n)
  (limit ?m)
  (test (< ?n ?m))
  =>
  (retract ?f)
  (assert (item ?id (+ ?n 1))))

(defrule finished
  (item ?id ?m)
  (limit ?m)
  =>
  (bind ?*done* (+ ?*done* 1)))
)";

std::string ChurnProgram(int Items, int Steps) {
  // The report names the number of counters in its text.
  std::string text = ChurnRules;
  text += "\n(defrule report\n  (declare (salience -100))\n  (limit ?m)\n  =>\n";
  text += "  (printout t \"items done \" ?*done* \" of " + std::to_string(Items) +
          ", limit \" ?m crlf))\n";
  text += "\n(deffacts counters\n   (limit " + std::to_string(Steps) + ")\n";
  for (int i = 1; i <= Items; ++i) text += "   (item " + std::to_string(i) + " 0)\n";
  return text + ")\n";
}

// ------------------------------------------------------------------------

// A positive number of at most six digits, all of Text from Pos on to End.
bool ReadCount(const std::string& Text, size_t Pos, size_t End, int& Count) {
  if (Pos >= End || End - Pos > 6) return false;
  Count = 0;
  for (size_t i = Pos; i < End; ++i) {
    if (Text[i] < '0' || Text[i] > '9') return false;
    Count = Count * 10 + (Text[i] - '0');
  }
  return Count > 0;
}

}  // namespace

bool ParseWorkload(const std::string& Name, TWorkload& Work) {
  Work = TWorkload{};
  if (Name == "zebra") {
    Work.Kind = Name;
    return true;
  }
  for (const char* kind : {"manners", "joins", "churn"}) {
    const std::string k = kind;
    if (Name.compare(0, k.size(), k) != 0) continue;
    const size_t x = Name.find('x', k.size());
    if (!ReadCount(Name, k.size(), x == std::string::npos ? Name.size() : x, Work.Size))
      return false;
    if (x != std::string::npos) {
      if (k == "manners" || !ReadCount(Name, x + 1, Name.size(), Work.Degree)) return false;
    } else {
      Work.Degree = k == "joins" ? 6 : Work.Size;
    }
    if (k == "manners" && (Work.Size < 2 || Work.Size % 2)) return false;
    Work.Kind = k;
    return true;
  }
  return false;
}

std::string ProgramText(const TWorkload& Work) {
  if (Work.Kind == "manners") return MannersProgram(Work.Size);
  if (Work.Kind == "joins") return JoinProgram(Work.Size, Work.Degree);
  if (Work.Kind == "churn") return ChurnProgram(Work.Size, Work.Degree);
  return ReadBenchFile("zebra.clp");
}

std::string CheckRun(const TWorkload& Work, const std::string& Printed, int64_t Fired) {
  // The engine ends printed lines with CR LF; the shell writes LF.
  std::string output;
  for (char c : Printed)
    if (c != '\r') output += c;
  if (Work.Kind == "manners") {
    const std::string wrong = CheckManners(Work.Size, output);
    return wrong.empty() ? CheckFired(Fired, MannersFired(Work.Size)) : wrong;
  }
  if (Work.Kind == "joins") return CheckJoins(Work.Size, Work.Degree, output, Fired);
  if (Work.Kind == "churn") {
    const std::string n = std::to_string(Work.Size);
    const std::string line =
        "items done " + n + " of " + n + ", limit " + std::to_string(Work.Degree);
    if (!HasLine(output, line)) return "no line \"" + line + "\"";
    return CheckFired(Fired, int64_t{Work.Size} * Work.Degree + Work.Size + 1);
  }
  for (const char* line : {"zebra in house 5, water in house 1",
                           "englishman 3, spaniard 4, ukrainian 2, norwegian 1, japanese 5"})
    if (!HasLine(output, line)) return std::string("no line \"") + line + "\"";
  return CheckFired(Fired, 1);
}

}  // namespace kb::bench
