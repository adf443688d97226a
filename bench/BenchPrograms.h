// The measured workloads: each is a whole program (constructs and facts)
// that `deducer --run` or an engine's Parse, Reset and Run executes, and a
// check of what it prints and how many rules it fires.
//
// Workload names (one word each, as bench/measure.sh takes them):
//   mannersN          Miss Manners with N guests (N even), bench/manners.clp
//   joinsN, joinsNxD  two- and three-step paths and triangles of a graph of
//                     N nodes with D edges leaving each (default D = 6)
//   churnN, churnNxS  N counters stepped from 0 to S, one retraction and
//                     one assertion per step (default S = N)
//   zebra             the zebra puzzle as one rule, bench/zebra.clp
#pragma once

#include <cstdint>
#include <string>

namespace kb::bench {

struct TWorkload {
  std::string Kind;  // manners, joins, churn or zebra
  int Size = 0;      // guests, nodes or counters
  int Degree = 0;    // edges leaving each node, or steps of each counter
};

// Reads a workload name; false when it names none.
bool ParseWorkload(const std::string& Name, TWorkload& Work);

// The program's text. The .clp files are read from the directory given by
// KB_BENCH_DIR (default: the source tree's bench/); throws std::runtime_error
// when one cannot be read.
std::string ProgramText(const TWorkload& Work);

// Checks what the program printed (other lines, such as traces, may be
// mixed in) and, when Fired is not negative, the number of rules fired.
// Returns what is wrong, or an empty string.
std::string CheckRun(const TWorkload& Work, const std::string& Printed, int64_t Fired);

}  // namespace kb::bench
