// Containers the engine builds on.
//
// TIList<T> is an ordered list of counted references with a notification
// hook on every addition and removal. TStringMap<V> maps names to values and
// iterates in insertion order, so that listings and saved knowledge bases
// come out the same on every run. Both keep names exactly as given.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "framework/Classes.h"
#include "framework/Ref.h"

namespace kb {

enum class TListNotification : uint8_t { lnAdded, lnExtracted, lnDeleted };

template <class T>
class TIList {
 public:
  using Item = TRef<T>;
  TIList() = default;
  TIList(const TIList&) = delete;
  TIList& operator=(const TIList&) = delete;
  virtual ~TIList() = default;

  int Count() const { return static_cast<int>(Items_.size()); }
  bool IsEmpty() const { return Items_.empty(); }
  const Item& Get(int Index) const {
    CheckIndex(Index);
    return Items_[static_cast<size_t>(Index)];
  }
  const Item& operator[](int Index) const { return Get(Index); }
  void Put(int Index, Item Value) {
    CheckIndex(Index);
    Item old = std::move(Items_[static_cast<size_t>(Index)]);
    Items_[static_cast<size_t>(Index)] = Value;
    if (old) Notify(old, TListNotification::lnDeleted);
    if (Value) Notify(Value, TListNotification::lnAdded);
  }
  virtual int Add(Item Value) {
    Items_.push_back(Value);
    if (Value) Notify(Value, TListNotification::lnAdded);
    return Count() - 1;
  }
  void Insert(int Index, Item Value) {
    if (Index < 0 || Index > Count()) ListIndexError(Index);
    Items_.insert(Items_.begin() + Index, Value);
    if (Value) Notify(Value, TListNotification::lnAdded);
  }
  void Delete(int Index) {
    CheckIndex(Index);
    Item old = std::move(Items_[static_cast<size_t>(Index)]);
    Items_.erase(Items_.begin() + Index);
    if (old) Notify(old, TListNotification::lnDeleted);
  }
  // Removes the first occurrence; returns its former index or -1.
  int Remove(const Item& Value) {
    int i = IndexOf(Value);
    if (i >= 0) Delete(i);
    return i;
  }
  int IndexOf(const Item& Value) const {
    for (size_t i = 0; i < Items_.size(); ++i)
      if (Items_[i] == Value) return static_cast<int>(i);
    return -1;
  }
  // The first and last items; nil when the list is empty.
  Item First() const { return Items_.empty() ? Item() : Items_.front(); }
  Item Last() const { return Items_.empty() ? Item() : Items_.back(); }
  virtual void Clear() {
    while (!Items_.empty()) Delete(Count() - 1);
  }

  typename std::vector<Item>::const_iterator begin() const { return Items_.begin(); }
  typename std::vector<Item>::const_iterator end() const { return Items_.end(); }
  const std::vector<Item>& Items() const { return Items_; }

 protected:
  virtual void Notify(const Item&, TListNotification) {}
  std::vector<Item>& MutableItems() { return Items_; }

 private:
  void CheckIndex(int Index) const {
    if (Index < 0 || Index >= Count()) ListIndexError(Index);
  }
  std::vector<Item> Items_;
};

struct TStringHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

// Name to value, iterating in insertion order.
template <class V>
class TStringMap {
 public:
  using Entry = std::pair<std::string, V>;

  size_t Count() const { return Items_.size(); }
  bool IsEmpty() const { return Items_.empty(); }
  bool Contains(std::string_view Name) const { return Index_.find(Name) != Index_.end(); }
  V* Find(std::string_view Name) {
    auto it = Index_.find(Name);
    return it == Index_.end() ? nullptr : &Items_[it->second].second;
  }
  const V* Find(std::string_view Name) const {
    auto it = Index_.find(Name);
    return it == Index_.end() ? nullptr : &Items_[it->second].second;
  }
  int IndexOf(std::string_view Name) const {
    auto it = Index_.find(Name);
    return it == Index_.end() ? -1 : static_cast<int>(it->second);
  }
  // Stores Value under Name; an existing entry keeps its place and its old
  // value is handed back through Old when given.
  void Put(const std::string& Name, V Value, V* Old = nullptr) {
    auto it = Index_.find(std::string_view(Name));
    if (it != Index_.end()) {
      V& slot = Items_[it->second].second;
      if (Old) *Old = std::move(slot);
      slot = std::move(Value);
      return;
    }
    Index_.emplace(Name, Items_.size());
    Items_.emplace_back(Name, std::move(Value));
  }
  // Takes the entry out; returns false when there is none.
  bool Remove(std::string_view Name, V* Removed = nullptr) {
    auto it = Index_.find(Name);
    if (it == Index_.end()) return false;
    size_t pos = it->second;
    Index_.erase(it);
    if (Removed) *Removed = std::move(Items_[pos].second);
    Items_.erase(Items_.begin() + static_cast<std::ptrdiff_t>(pos));
    for (size_t i = pos; i < Items_.size(); ++i) Index_[Items_[i].first] = i;
    return true;
  }
  void Clear() {
    Items_.clear();
    Index_.clear();
  }
  const Entry& At(size_t i) const { return Items_[i]; }
  Entry& At(size_t i) { return Items_[i]; }

  typename std::vector<Entry>::const_iterator begin() const { return Items_.begin(); }
  typename std::vector<Entry>::const_iterator end() const { return Items_.end(); }
  typename std::vector<Entry>::iterator begin() { return Items_.begin(); }
  typename std::vector<Entry>::iterator end() { return Items_.end(); }

 private:
  std::vector<Entry> Items_;
  std::unordered_map<std::string, size_t, TStringHash, std::equal_to<>> Index_;
};

}  // namespace kb
