// Test support: an engine whose standard output is collected.
#pragma once

#include <string>

#include "engine/Deducer.h"

namespace kb::test {

struct TCollectingEngine {
  TCollectingEngine() {
    E.OnPrintOut = [this](TPersistent*, const std::string&, const std::string& Text) {
      Out += Text;
    };
  }
  TCollectingEngine(const TCollectingEngine&) = delete;
  TCollectingEngine& operator=(const TCollectingEngine&) = delete;
  // What was printed since the last call.
  std::string Take() {
    std::string r;
    r.swap(Out);
    return r;
  }
  TDeducer E;
  std::string Out;
};

}  // namespace kb::test
