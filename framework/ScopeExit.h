// Runs a function when the scope it is declared in ends, however it ends: a
// normal end, a return or an exception. It restores what a scope changed
// for its run (a flag, a counter, a stream, a signal mask) without a guard
// class of its own at every place:
//
//   Busy_ = true;
//   auto done = OnScopeExit([this] { Busy_ = false; });
//
// The function must not raise: it runs from a destructor, possibly while an
// exception is on its way out.
#pragma once

#include <type_traits>
#include <utility>

namespace kb {

template <class F>
class [[nodiscard]] TScopeExit {
 public:
  explicit TScopeExit(F Fn) noexcept(std::is_nothrow_move_constructible_v<F>)
      : Fn_(std::move(Fn)) {}
  ~TScopeExit() { Fn_(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  F Fn_;
};

// A guard that calls Fn when it goes.
template <class F>
[[nodiscard]] TScopeExit<std::decay_t<F>> OnScopeExit(F&& Fn) {
  return TScopeExit<std::decay_t<F>>(std::forward<F>(Fn));
}

}  // namespace kb
