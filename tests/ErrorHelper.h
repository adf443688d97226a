// Test support: the message of the error a piece of code raises.
#pragma once

#include <functional>
#include <string>

#include "framework/SysUtils.h"

namespace kb::test {

// The message of the Exception that F raises, or "<no error>" when it
// raises none. Other exceptions pass through (and fail the test).
inline std::string ErrorOf(const std::function<void()>& F) {
  try {
    F();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "<no error>";
}

}  // namespace kb::test
