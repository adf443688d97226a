// Doubly linked lists threaded through two pointer members of their items
// (Prev and Next, given as member pointers), whose two ends the owner keeps.
// An empty list has both ends nullptr.
#pragma once

#include <type_traits>

namespace kb {

// Puts Item in front of Before, or last when Before is nullptr.
template <auto Prev, auto Next, class T>
inline void ListInsert(T* Item, std::type_identity_t<T>* Before, T*& Head, T*& Tail) noexcept {
  T* after = Before ? Before->*Prev : Tail;
  Item->*Prev = after;
  Item->*Next = Before;
  (after ? after->*Next : Head) = Item;
  (Before ? Before->*Prev : Tail) = Item;
}

// Takes Item out; its own links are left as they were.
template <auto Prev, auto Next, class T>
inline void ListUnlink(T* Item, T*& Head, T*& Tail) noexcept {
  T* prev = Item->*Prev;
  T* next = Item->*Next;
  (prev ? prev->*Next : Head) = next;
  (next ? next->*Prev : Tail) = prev;
}

}  // namespace kb
