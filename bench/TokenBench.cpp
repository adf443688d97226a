// Measures what Rete tokens and join memories cost.
//
//   token_bench [count]   (default 1000000)
//
// Counts the heap allocations and bytes (through this program's operator
// new) and times, per token: making a single-fact token (the fact is
// cloned into a snapshot), extending a token by the fact of another token
// (the snapshot is shared, as joins do), extending by a fact that is cloned,
// adding tokens to a memory keyed on a slot, and looking them up and
// removing them again. Prints the median of five runs of each.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "engine/Deducer.h"
#include "rete/KbToken.h"

// The replacements below pair malloc with free; GCC's check of new and
// delete pairs sees through them and complains.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {

std::atomic<size_t> Allocations{0};
std::atomic<size_t> Bytes{0};

}  // namespace

void* operator new(size_t Size) {
  Allocations.fetch_add(1, std::memory_order_relaxed);
  Bytes.fetch_add(Size, std::memory_order_relaxed);
  if (void* p = std::malloc(Size ? Size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* P) noexcept { std::free(P); }
void operator delete(void* P, size_t) noexcept { std::free(P); }

using namespace kb;

namespace {

struct TCost {
  double Nanos;
  double Allocs;
  double Bytes;
};

// Runs Body Count times and reports the cost of one run of it.
template <class F>
TCost Measure(int Count, F&& Body) {
  std::vector<TCost> runs;
  for (int r = 0; r < 5; ++r) {
    const size_t a0 = Allocations.load(), b0 = Bytes.load();
    auto t0 = std::chrono::steady_clock::now();
    Body(Count);
    auto t1 = std::chrono::steady_clock::now();
    runs.push_back({std::chrono::duration<double, std::nano>(t1 - t0).count() / Count,
                    double(Allocations.load() - a0) / Count, double(Bytes.load() - b0) / Count});
  }
  std::sort(runs.begin(), runs.end(),
            [](const TCost& x, const TCost& y) { return x.Nanos < y.Nanos; });
  return runs[runs.size() / 2];
}

void Report(const char* What, const TCost& C) {
  std::printf("%-44s %8.1f ns %6.2f allocations %7.1f bytes\n", What, C.Nanos, C.Allocs, C.Bytes);
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000000;
  TDeducer engine;
  engine.Parse("(deftemplate person (slot name) (slot age) (multislot kids))");
  IFactTemplate person = engine.FindFactTemplate("person");
  std::vector<IFact> facts;
  for (int i = 0; i < 1000; ++i) {
    IFact f(new TFact(person));
    f->SetValue(0, NewAtom("p" + std::to_string(i % 97)));
    f->SetValue(1, NewInteger(i));
    f->SetID(i);
    facts.push_back(f);
  }
  IReteToken left(new TKbToken(taAdd, facts[0]));
  IReteToken right(new TKbToken(taAdd, facts[1]));
  std::vector<IReteToken> keep(static_cast<size_t>(count));

  std::printf("sizeof(TKbToken) = %zu bytes\n", sizeof(TKbToken));
  Report("single-fact token (fact cloned)", Measure(count, [&](int n) {
           for (int i = 0; i < n; ++i)
             keep[static_cast<size_t>(i)] = IReteToken(new TKbToken(taAdd, facts[i % 1000]));
         }));
  keep.assign(keep.size(), nullptr);
  Report("extension by a token's fact (shared)", Measure(count, [&](int n) {
           for (int i = 0; i < n; ++i)
             keep[static_cast<size_t>(i)] =
                 IReteToken(new TKbToken(left, right->GetFact(), ShareSnapshot));
         }));
  keep.assign(keep.size(), nullptr);
  Report("extension by a fact (cloned)", Measure(count, [&](int n) {
           for (int i = 0; i < n; ++i)
             keep[static_cast<size_t>(i)] = IReteToken(new TKbToken(left, facts[i % 1000]));
         }));
  keep.assign(keep.size(), nullptr);
  Report("copy of a token (as memories store them)", Measure(count, [&](int n) {
           for (int i = 0; i < n; ++i)
             keep[static_cast<size_t>(i)] = IReteToken(new TKbToken(*right));
         }));
  keep.clear();

  std::vector<IReteToken> tokens;
  for (const IFact& f : facts) tokens.push_back(IReteToken(new TKbToken(taAdd, f)));
  TKbTokenTree tree(101, 0, NoSubIndex, "name", false);
  tree.ResolveSlot(*person);
  const int rounds = std::max(1, count / 1000);
  Report("memory add + remove (keyed on a slot)", Measure(rounds, [&](int n) {
           for (int r = 0; r < n; ++r) {
             for (const IReteToken& t : tokens) tree.Add(t);
             for (const IReteToken& t : tokens) tree.Remove(t);
           }
         }));
  for (const IReteToken& t : tokens) tree.Add(t);
  size_t found = 0;
  Report("memory bucket lookup by a fact's slot", Measure(rounds, [&](int n) {
           TSlotAccessor name("name");
           for (int r = 0; r < n; ++r)
             for (const IFact& f : facts)
               if (const TKbTokenTree::TBucket* b =
                       tree.GetTokens(TKbTokenTree::KeyOfValue(name.Get(*f), NoSubIndex)))
                 found += b->size();
         }));
  std::printf("(memory costs are per 1000 tokens; %zu candidates seen)\n", found);
  return 0;
}
