// Runs the measured workloads in one process, prints their programs for
// the shell and checks what the shell printed.
//
//   run_bench WORKLOAD           loads the workload's program, resets, runs
//                                and checks the result (workload names in
//                                BenchPrograms.h: manners64, joins200,
//                                joins200x4, churn300, churn300x100, zebra)
//   run_bench print WORKLOAD     prints the program, for deducer --run
//   run_bench check WORKLOAD     reads what deducer -w statistics --run
//                                printed for it from standard input, checks
//                                the result and the rules fired, and prints
//                                fired=N (exit status 1 when wrong)
//   run_bench api-joins N        a chain of joins over N facts per template,
//                                asserted through the API
//   run_bench api-churn N        N rounds of asserting and retracting facts
//                                through the API that rules with joins and
//                                negations watch
//   run_bench cycles N           N Reset/Run cycles of a small program,
//                                printing the peak memory every N/10
//
// The runs print one line: the program, rules fired, wall time in seconds
// (the whole process, from start to exit), rules per second and peak
// resident memory in KiB. bench/run.sh runs them several times and prints
// the medians; bench/measure.sh measures the workloads run by the shell.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <regex>
#include <stdexcept>
#include <string>

#include "BenchPrograms.h"
#include "engine/Deducer.h"

using namespace kb;

namespace {

const auto gStart = std::chrono::steady_clock::now();

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

int RunWorkload(const std::string& Name, const bench::TWorkload& Work) {
  TDeducer engine;
  std::string out;
  engine.OnPrintOut = [&](TPersistent*, const std::string&, const std::string& Text) {
    out += Text;
  };
  engine.Parse(bench::ProgramText(Work));
  engine.Reset();
  const int32_t fired = engine.Run();
  const std::string wrong = bench::CheckRun(Work, out, fired);
  if (!wrong.empty()) {
    std::fprintf(stderr, "run_bench: %s: %s\n", Name.c_str(), wrong.c_str());
    return 1;
  }
  Report(Name, fired);
  return 0;
}

// Checks the shell's output read from standard input; the rules fired come
// from its statistics line.
int CheckWorkload(const std::string& Name, const bench::TWorkload& Work) {
  const std::string out{std::istreambuf_iterator<char>(std::cin), {}};
  std::smatch m;
  const std::regex statistics(R"((^|\n)(\d+) rules fired\.)");
  const int64_t fired = std::regex_search(out, m, statistics) ? std::stoll(m[2]) : -1;
  const std::string wrong = bench::CheckRun(Work, out, fired);
  if (!wrong.empty()) {
    std::fprintf(stderr, "run_bench: %s: %s\n", Name.c_str(), wrong.c_str());
    return 1;
  }
  if (fired < 0) {
    std::fprintf(stderr, "run_bench: %s: no \"N rules fired.\" line\n", Name.c_str());
    return 1;
  }
  std::printf("fired=%lld\n", static_cast<long long>(fired));
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
  Report("api-joins" + std::to_string(N), fired);
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
  Report("api-churn" + std::to_string(N), fired);
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
               "usage: run_bench [print | check] WORKLOAD | api-joins N | api-churn N | cycles N\n"
               "  WORKLOAD: mannersN, joinsN[xDEGREE], churnN[xSTEPS] or zebra\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string what = argv[1];
  const int n = argc > 2 ? std::atoi(argv[2]) : 0;
  bench::TWorkload work;
  try {
    if ((what == "print" || what == "check") && argc == 3 && bench::ParseWorkload(argv[2], work)) {
      if (what == "check") return CheckWorkload(argv[2], work);
      std::fputs(bench::ProgramText(work).c_str(), stdout);
      return 0;
    }
    if (argc == 2 && bench::ParseWorkload(what, work)) return RunWorkload(what, work);
    if (what == "api-joins" && n > 0) return Joins(n);
    if (what == "api-churn" && n > 0) return Churn(n);
    if (what == "cycles" && n > 0) return Cycles(n);
  } catch (const Exception& e) {
    std::fprintf(stderr, "run_bench: %s\n", e.Message().c_str());
    return 1;
  } catch (const std::runtime_error& e) {
    std::fprintf(stderr, "run_bench: %s\n", e.what());
    return 1;
  }
  return Usage();
}
