// Times whole runs of the engine: loading a program, Reset and Run.
//
//   run_bench manners N [SEED]   Miss Manners with N guests (bench/manners.clp)
//   run_bench zebra              the zebra puzzle as one rule (bench/zebra.clp)
//   run_bench joins N            a chain of joins over N facts per template
//   run_bench churn N            N rounds of asserting and retracting facts
//                                that rules with joins and negations watch
//   run_bench cycles N           N Reset/Run cycles of a small program,
//                                printing the peak memory every N/10
//
// Prints one line: the program, rules fired, wall time in seconds (the
// whole process, from start to exit), rules per second and peak resident
// memory in KiB. bench/run.sh runs every program several times and prints
// the medians as a table. The .clp files are read from the directory given
// by KB_BENCH_DIR (default: the source tree's bench/).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "engine/Deducer.h"

#ifndef KB_BENCH_SOURCE_DIR
#define KB_BENCH_SOURCE_DIR "bench"
#endif

using namespace kb;

namespace {

const auto gStart = std::chrono::steady_clock::now();

std::string ReadFile(const std::string& Name) {
  const char* dir = std::getenv("KB_BENCH_DIR");
  const std::string path = std::string(dir && *dir ? dir : KB_BENCH_SOURCE_DIR) + "/" + Name;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "run_bench: cannot read %s\n", path.c_str());
    std::exit(2);
  }
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

long PeakKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

void Report(const std::string& Program, int64_t Fired) {
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - gStart).count();
  std::printf("%s fired=%lld seconds=%.4f rules_per_second=%.0f peak_kib=%ld\n", Program.c_str(),
              static_cast<long long>(Fired), seconds, seconds > 0 ? Fired / seconds : 0.0,
              PeakKiB());
}

// Miss Manners data: N guests and seats, half of each sex, each guest with
// 2 or 3 of 3 hobbies, drawn from Seed.
std::string MannersFacts(int N, unsigned Seed) {
  std::mt19937 random(Seed);
  std::string facts;
  for (int g = 1; g <= N; ++g) {
    const char* sex = g % 2 ? "m" : "f";
    const int count = 2 + static_cast<int>(random() % 2);
    int skip = count == 3 ? 0 : 1 + static_cast<int>(random() % 3);
    for (int h = 1; h <= 3; ++h) {
      if (h == skip) continue;
      facts += "(guest (name n" + std::to_string(g) + ") (sex " + sex + ") (hobby h" +
               std::to_string(h) + "))\n";
    }
  }
  facts += "(last_seat (seat " + std::to_string(N) + "))\n";
  facts += "(count (c 0))\n(context (state start))\n";
  return facts;
}

int Manners(int N, unsigned Seed) {
  TDeducer engine;
  std::string seating;
  engine.OnPrintOut = [&](TPersistent*, const std::string&, const std::string& Text) {
    seating += Text;
  };
  engine.Parse(ReadFile("manners.clp"));
  engine.Parse("(deffacts manners-data " + MannersFacts(N, Seed) + ")");
  engine.Reset();
  const int32_t fired = engine.Run();
  // The seating printed: every seat once.
  int lines = 0;
  for (char c : seating) lines += c == '\n';
  if (lines != N) {
    std::fprintf(stderr, "run_bench: manners %d printed %d seats\n", N, lines);
    return 1;
  }
  Report("manners" + std::to_string(N), fired);
  return 0;
}

int Zebra() {
  TDeducer engine;
  std::string out;
  engine.OnPrintOut = [&](TPersistent*, const std::string&, const std::string& Text) {
    out += Text;
  };
  engine.Parse(ReadFile("zebra.clp"));
  engine.Reset();
  const int32_t fired = engine.Run();
  if (out.find("zebra in house 5, water in house 1") == std::string::npos) {
    std::fprintf(stderr, "run_bench: zebra printed %s\n", out.c_str());
    return 1;
  }
  Report("zebra", fired);
  return 0;
}

// Four templates of N facts each, joined in a chain on shared keys with a
// test on the way: every a meets one b, one c and one d.
int Joins(int N) {
  TDeducer engine;
  engine.Parse(R"(
    (deftemplate a (slot k) (slot v))
    (deftemplate b (slot k) (slot w))
    (deftemplate c (slot w) (slot x))
    (deftemplate d (slot x) (slot y))
    (deftemplate found (slot k))
    (defrule chain
      (a (k ?k) (v ?v))
      (b (k ?k) (w ?w&:(>= ?w 0)))
      (c (w ?w) (x ?x))
      (d (x ?x) (y ?y&~?v))
      (not (found (k ?k)))
      =>
      (assert (found (k ?k))))
    (defrule cross
      (a (k ?k) (v 0))
      (b (k ?j&~?k) (w 0))
      =>))");
  engine.Reset();
  for (int i = 0; i < N; ++i) {
    const std::string k = std::to_string(i);
    engine.Assert("(a (k " + k + ") (v " + std::to_string(i % 7) + "))");
    engine.Assert("(b (k " + k + ") (w " + k + "))");
    engine.Assert("(c (w " + k + ") (x " + k + "))");
    engine.Assert("(d (x " + k + ") (y " + std::to_string(i % 7 + 1) + "))");
  }
  const int32_t fired = engine.Run();
  Report("joins" + std::to_string(N), fired);
  return 0;
}

// Orders come and go: each round asserts an order, lets the rules react
// (joins with customers and stock, a negation on holds) and retracts it.
int Churn(int N) {
  TDeducer engine;
  engine.Parse(R"(
    (deftemplate customer (slot id) (slot tier))
    (deftemplate stock (slot item) (slot count))
    (deftemplate hold (slot customer))
    (deftemplate order (slot id) (slot customer) (slot item))
    (deftemplate shipped (slot order))
    (defrule ship
      (order (id ?o) (customer ?c) (item ?i))
      (customer (id ?c) (tier ?t&gold|silver))
      (stock (item ?i) (count ?n&:(> ?n 0)))
      (not (hold (customer ?c)))
      =>
      (assert (shipped (order ?o))))
    (defrule done
      ?s <- (shipped (order ?o))
      ?f <- (order (id ?o))
      =>
      (retract ?s ?f)))");
  engine.Reset();
  for (int c = 0; c < 100; ++c)
    engine.Assert("(customer (id c" + std::to_string(c) + ") (tier " +
                  (c % 3 == 0   ? "gold"
                   : c % 3 == 1 ? "silver"
                                : "bronze") +
                  "))");
  for (int i = 0; i < 50; ++i)
    engine.Assert("(stock (item i" + std::to_string(i) + ") (count " + std::to_string(i % 5) +
                  "))");
  for (int c = 0; c < 100; c += 10) engine.Assert("(hold (customer c" + std::to_string(c) + "))");
  int64_t fired = 0;
  for (int r = 0; r < N; ++r) {
    const std::string o = std::to_string(r);
    const int32_t id =
        engine.Assert("(order (id o" + o + ") (customer c" + std::to_string(r % 100) + ") (item i" +
                      std::to_string(r % 50) + "))");
    fired += engine.Run();
    // Orders that were not shipped go too.
    engine.Retract(id);
  }
  Report("churn" + std::to_string(N), fired);
  return 0;
}

// Reset/Run cycles of a small program; the peak memory must stay flat.
int Cycles(int N) {
  TDeducer engine;
  engine.Parse(R"(
    (deftemplate item (slot n))
    (deftemplate pair (slot a) (slot b))
    (deftemplate dropped (slot a) (slot b))
    (deffacts items (item (n 1)) (item (n 2)) (item (n 3)) (item (n 4)))
    (defrule pairs (item (n ?a)) (item (n ?b&:(> ?b ?a)))
      (not (pair (a ?a) (b ?b))) (not (dropped (a ?a) (b ?b)))
      => (assert (pair (a ?a) (b ?b))))
    (defrule drop ?p <- (pair (a ?a) (b ?b&:(= ?b (+ ?a 1))))
      => (retract ?p) (assert (dropped (a ?a) (b ?b)))))");
  int64_t fired = 0;
  for (int i = 1; i <= N; ++i) {
    engine.Reset();
    fired += engine.Run();
    if (N >= 10 && i % (N / 10) == 0) std::printf("cycle %d peak_kib=%ld\n", i, PeakKiB());
  }
  Report("cycles" + std::to_string(N), fired);
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: run_bench manners N [SEED] | zebra | joins N | churn N | cycles N\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string what = argv[1];
  const int n = argc > 2 ? std::atoi(argv[2]) : 0;
  try {
    if (what == "manners" && n > 0)
      return Manners(n, argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1u);
    if (what == "zebra") return Zebra();
    if (what == "joins" && n > 0) return Joins(n);
    if (what == "churn" && n > 0) return Churn(n);
    if (what == "cycles" && n > 0) return Cycles(n);
  } catch (const Exception& e) {
    std::fprintf(stderr, "run_bench: %s\n", e.Message().c_str());
    return 1;
  }
  return Usage();
}
