// Intrusive reference counting.
//
// Every object that the engine shares between the fact base, the network and
// the functions (values, facts, templates, function calls, functions, tokens)
// derives from TRefCounted and is held through TRef<T>. The count lives in the
// object, so a TRef is one pointer wide and an object can be re-wrapped from a
// raw pointer without a second control block.
//
// Invariants:
//  - A new object starts with count 0; the first TRef that takes it makes it 1.
//  - When the last TRef goes, the object deletes itself.
//  - Counts are plain integers: an object is used by one thread at a time
//    (the thread that runs its engine, see docs/ARCHITECTURE.md "Threads").
//    Objects that several threads use at once by design say how they count
//    (TRefSharing, on TInterfacedPersistent; texts count atomically).
//  - A reference cycle is a leak: owners hold TRef, back links hold raw pointers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace kb {

// A counted object used by one thread at a time.
class TRefCounted {
 public:
  TRefCounted() noexcept = default;
  // A copy is a new object: it starts with its own count of zero.
  TRefCounted(const TRefCounted&) noexcept {}
  TRefCounted& operator=(const TRefCounted&) noexcept { return *this; }
  virtual ~TRefCounted() = default;

  void AddRef() const noexcept { ++RefCount_; }
  void Release() const noexcept {
    if (--RefCount_ == 0) delete this;
  }
  int32_t GetRefCount() const noexcept { return RefCount_; }

 private:
  mutable int32_t RefCount_ = 0;
};

// A counted reference. Null is "nil".
template <class T>
class TRef {
 public:
  using element_type = T;

  constexpr TRef() noexcept = default;
  constexpr TRef(std::nullptr_t) noexcept {}
  // Takes a new reference to `p` (which may already be referenced elsewhere).
  TRef(T* p) noexcept : P_(p) {
    if (P_) P_->AddRef();
  }
  TRef(const TRef& o) noexcept : P_(o.P_) {
    if (P_) P_->AddRef();
  }
  TRef(TRef&& o) noexcept : P_(o.P_) { o.P_ = nullptr; }
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  TRef(const TRef<U>& o) noexcept : P_(o.get()) {
    if (P_) P_->AddRef();
  }
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  TRef(TRef<U>&& o) noexcept : P_(o.detach()) {}
  ~TRef() {
    if (P_) P_->Release();
  }

  TRef& operator=(const TRef& o) noexcept {
    TRef(o).swap(*this);
    return *this;
  }
  TRef& operator=(TRef&& o) noexcept {
    TRef(std::move(o)).swap(*this);
    return *this;
  }
  TRef& operator=(std::nullptr_t) noexcept {
    reset();
    return *this;
  }

  T* get() const noexcept { return P_; }
  T* operator->() const noexcept { return P_; }
  T& operator*() const noexcept { return *P_; }
  explicit operator bool() const noexcept { return P_ != nullptr; }

  void reset() noexcept {
    T* p = P_;
    P_ = nullptr;
    if (p) p->Release();
  }
  // Gives up ownership of the reference without releasing it.
  T* detach() noexcept {
    T* p = P_;
    P_ = nullptr;
    return p;
  }
  void swap(TRef& o) noexcept { std::swap(P_, o.P_); }

  friend bool operator==(const TRef& a, const TRef& b) noexcept { return a.P_ == b.P_; }
  friend bool operator==(const TRef& a, std::nullptr_t) noexcept { return a.P_ == nullptr; }
  friend bool operator==(const TRef& a, const T* b) noexcept { return a.P_ == b; }

 private:
  T* P_ = nullptr;
};

template <class T, class... Args>
TRef<T> MakeRef(Args&&... args) {
  return TRef<T>(new T(std::forward<Args>(args)...));
}

// "Supports interface": the object as T, or nil when it is not one.
template <class T, class U>
TRef<T> RefCast(const TRef<U>& r) noexcept {
  return TRef<T>(dynamic_cast<T*>(r.get()));
}

template <class T, class U>
bool Supports(const TRef<U>& r) noexcept {
  return dynamic_cast<T*>(r.get()) != nullptr;
}

}  // namespace kb
