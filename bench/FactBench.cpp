// Measures what facts cost: memory and allocations of a fact of ten slots,
// of a clone (the snapshot a Rete token takes) and of the first write to a
// clone, and the time of cloning and of reading slots by index.
//
// Allocations are counted by replacing the global operator new; sizes are
// the requested bytes and the allocator's usable bytes. Times are medians of
// several runs. Run: build/release/bench/fact_bench
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "engine/Deducer.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsFact.h"

namespace {
size_t gCount = 0;
size_t gBytes = 0;
size_t gUsable = 0;
bool gTrack = false;
}  // namespace

// Kept out of line: inlined into callers, the compiler would pair the
// replaced new and delete with the library's and warn about a mismatch.
__attribute__((noinline)) void* operator new(size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  if (gTrack) {
    ++gCount;
    gBytes += n;
    gUsable += malloc_usable_size(p);
  }
  return p;
}
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, size_t) noexcept { std::free(p); }

using namespace kb;

namespace {

struct TCost {
  size_t Count, Bytes, Usable;
};

template <class F>
TCost Measure(F&& f) {
  gCount = gBytes = gUsable = 0;
  gTrack = true;
  f();
  gTrack = false;
  return {gCount, gBytes, gUsable};
}

void Report(const char* What, const TCost& c) {
  std::printf("%-44s %3zu allocations, %5zu bytes requested, %5zu bytes usable\n", What, c.Count,
              c.Bytes, c.Usable);
}

template <class F>
double MedianNs(int Runs, int Iterations, F&& f) {
  std::vector<double> t;
  for (int r = 0; r < Runs; ++r) {
    auto a = std::chrono::steady_clock::now();
    f(Iterations);
    auto b = std::chrono::steady_clock::now();
    t.push_back(std::chrono::duration<double, std::nano>(b - a).count() / Iterations);
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

}  // namespace

int main() {
  TDeducer engine;
  IFactTemplate t(new TFactTemplate(&engine, "reading"));
  for (int i = 0; i < 10; ++i) {
    std::string name = "s" + std::to_string(i);
    if (i % 2)
      t->AddSlot(name, NewInteger(i));
    else
      t->AddSlot(name, NewAtom("sym" + std::to_string(i)));
  }
  t->GetLayout();

  std::printf(
      "sizeof(TFact) = %zu, sizeof(TFactValues) = %zu + 8 per slot, sizeof(TKbValue) = %zu\n",
      sizeof(TFact), sizeof(TFactValues), sizeof(TKbValue));

  IFact empty;
  Report("empty fact of 10 slots (new TFact)", Measure([&] { empty = IFact(new TFact(t)); }));
  IFact full;
  Report("fact of 10 slots with defaults (NewFact)", Measure([&] { full = t->NewFact(); }));
  std::vector<IKbValue> values;
  for (int i = 0; i < 10; ++i) values.push_back(NewInteger(100 + i));
  IFact set(new TFact(t));
  Report("setting 10 slots of a new fact", Measure([&] {
           for (int i = 0; i < 10; ++i) set->SetValue(i, values[static_cast<size_t>(i)]);
         }));
  IFact clone;
  Report("clone of a 10-slot fact", Measure([&] { clone = full->CloneFact(); }));
  Report("first write to the clone (copies the array)",
         Measure([&] { clone->SetValue(3, values[0]); }));
  Report("second write to the clone", Measure([&] { clone->SetValue(4, values[1]); }));
  Report("clone of an unfilled fact", Measure([&] { IFact c = empty->CloneFact(); }));

  const int N = 1000000;
  double cloneNs = MedianNs(7, N, [&](int n) {
    for (int i = 0; i < n; ++i) {
      IFact c = full->CloneFact();
      if (!c) std::abort();
    }
  });
  double readNs = MedianNs(7, N, [&](int n) {
    int64_t sum = 0;
    for (int i = 0; i < n; ++i) sum += full->GetValue(i % 10)->GetTag();
    if (sum == 42) std::puts("");
  });
  double byNameNs = MedianNs(7, N, [&](int n) {
    int64_t sum = 0;
    for (int i = 0; i < n; ++i) sum += full->GetValue("s7")->GetTag();
    if (sum == 42) std::puts("");
  });
  double newFactNs = MedianNs(7, N / 10, [&](int n) {
    for (int i = 0; i < n; ++i) {
      IFact f = t->NewFact();
      if (!f) std::abort();
    }
  });
  std::printf(
      "clone + release: %.1f ns; read by index: %.2f ns; read by name: %.1f ns; "
      "NewFact + release: %.1f ns (medians of 7 runs)\n",
      cloneNs, readNs, byNameNs, newFactNs);
  return 0;
}
