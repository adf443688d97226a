// The dynamically typed value, multifields and named value tables.
//
// A TKbValue is a counted object holding a type tag (TKbType) and the payload
// for that tag. It is the datum of the engine: a fact's slot, a function's
// argument or result, a variable's value. Values are shared (IKbValue) and
// mutable through their setters; whoever needs a private copy Clones.
//
// Cost: a value is 32 bytes, one allocation. Texts live in an immutable,
// shared buffer (TKbText) that carries its hash, so copying a text value
// shares the buffer and comparing two texts looks at their hashes and
// lengths before their bytes.
//
// Invariants:
//  - Setters never fail and never convert; getters convert as documented
//    and raise EKbException (SNotCorrectType) when they cannot, leaving the
//    value unchanged.
//  - Getters that return an interface return the stored reference itself.
//  - The shared constants (FCTrue, FCNil, ...) are never changed.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "core/KbConsts.h"
#include "core/KbInterfaces.h"
#include "framework/Collections.h"
#include "framework/FreeList.h"
#include "framework/Variant.h"

namespace kb {

class TSlotReference;

// Immutable, counted text with its hash computed once (CalculateHash).
// Texts are the one thing that copies of values share (CloneValue makes new
// values, lists and calls around the same texts), and a thread's symbol
// table hands them out, so values on several threads may hold one text:
// texts count atomically. The texts of the shared constants are pinned.
class TKbText final {
 public:
  // A new text with one reference owned by the caller.
  static TKbText* Make(std::string_view S);
  // The same for a symbol: a short one made again on this thread shares
  // the text made before, so that equal symbols mostly compare by address.
  static TKbText* MakeSymbol(std::string_view S);
  void AddRef() const noexcept {
    if (!Pinned_) Refs_.fetch_add(1, std::memory_order_relaxed);
  }
  void Release() const noexcept;
  // Never counted again nor freed. REQUIRES: no other thread has seen it.
  void Pin() noexcept { Pinned_ = true; }
  std::string_view View() const noexcept { return {Chars(), Len_}; }
  int32_t Hash() const noexcept { return Hash_; }
  bool SameAs(const TKbText* o) const noexcept {
    return this == o || (Hash_ == o->Hash_ && Len_ == o->Len_ && View() == o->View());
  }

 private:
  TKbText() = default;
  static TKbText* Make(std::string_view S, int32_t Hash);
  const char* Chars() const noexcept { return reinterpret_cast<const char*>(this + 1); }
  mutable std::atomic<int32_t> Refs_{1};
  int32_t Hash_ = 0;
  uint32_t Len_ = 0;
  bool Pinned_ = false;
};

class TKbValue final : public TCloneable {
 public:
  TKbValue() noexcept { U_.Ptr = nullptr; }
  // Integers, floats and other values that hold no counted payload go
  // without a call.
  ~TKbValue() override {
    if (IsIntfTag(DType_)) {
      // A list, fact or call: released here, without Reset's tests.
      if (U_.Intf) U_.Intf->Release();
    } else if (HoldsCounted(DType_)) {
      Reset();
    }
  }
  // Values come and go at the highest rate of all objects: they are kept
  // on the thread's free lists.
  static void* operator new(size_t Size) { return AllocatePooled(Size); }
  static void operator delete(void* Block, size_t Size) noexcept { FreePooled(Block, Size); }
  TKbValue(const TKbValue&) = delete;
  TKbValue& operator=(const TKbValue&) = delete;

  TKbType GetDType() const noexcept { return DType_; }
  int32_t GetTag() const override { return Tag_; }
  void SetTag(int32_t Value) override { Tag_ = Value; }
  bool IsText() const noexcept { return KbStringTypes.Contains(DType_); }

  // Setters: set the tag named by the setter and store the payload.
  void SetAsAtom(std::string_view S) { SetText(dtAtom, S); }
  void SetAsString(std::string_view S) { SetText(dtString, S); }
  void SetAsVariable(std::string_view S) { SetText(dtVariable, S); }
  void SetAsMultiVariable(std::string_view S) { SetText(dtMultiVariable, S); }
  void SetAsSlot(std::string_view S) { SetText(dtSlot, S); }
  void SetAsMultiSlot(std::string_view S) { SetText(dtMultiSlot, S); }
  void SetAsInteger(int64_t V) { SetInt(dtInteger, V); }
  void SetAsFactId(int32_t V) { SetInt(dtFactId, V); }
  void SetAsDescriptor(int32_t V) { SetInt(dtDescriptor, V); }
  void SetAsFloat(double V);
  void SetAsFunCall(const IFunCall& V);
  void SetAsFact(const IFact& V);  // defined with TFact
  void SetAsList(const IValueVector& V);
  // The same taking over the caller's reference to V.
  void TakeList(TValueVector* V) noexcept;
  // Refers to the object through its link (TObjectLink): once the object
  // is freed the value reads as a freed object, never as its address.
  void SetAsObject(TPersistent* V);
  void SetAsClass(const TPersistentClass* V);
  void SetAsExternalAddress(void* V);
  void SetAsIntArray(const TIntegerArray& V);
  void SetAsStringArray(const TStringArray& V);
  void SetAsVariantArray(const TVariantArray& V);

  // Getters.
  std::string GetAsString() const;
  std::string GetAsAtom() const { return GetAsString(); }
  std::string GetAsVariable() const { return GetAsString(); }
  std::string GetAsMultiVariable() const { return GetAsString(); }
  std::string GetAsSlot() const { return GetAsString(); }
  std::string GetAsMultiSlot() const { return GetAsString(); }
  int64_t GetAsInteger() const;
  double GetAsNumeric() const;
  double GetAsFloat() const { return GetAsNumeric(); }
  int32_t GetAsFactId() const;
  int32_t GetAsDescriptor() const;
  IFact GetAsFact() const;  // defined with TFact
  IFunCall GetAsFunCall() const;
  IValueVector GetAsList() const;
  // The object, or nil for nil and for an object freed since.
  TPersistent* GetAsObject() const;
  // Whether this is an object value whose object was freed since.
  bool IsFreedObject() const noexcept;
  // The link of an object value (nil for nil). REQUIRES: dtObject.
  TObjectLink* ObjectLinkPayload() const noexcept { return U_.Link; }
  const TPersistentClass* GetAsClass() const;
  void* GetAsExternalAddress() const;
  const TIntegerArray& GetAsIntArray() const;
  const TStringArray& GetAsStringArray() const;
  const TVariantArray& GetAsVariantArray() const;

  // Fast access for the hot paths. REQUIRES: IsText().
  std::string_view GetText() const noexcept { return U_.S->View(); }
  const TKbText* TextPayload() const noexcept { return U_.S; }
  // The list without a new reference. REQUIRES: GetDType() == dtList.
  TValueVector* ListPtr() const noexcept;
  // The slot reference (a compiled variable) that a dtVariantArray value of
  // the form [fact index, slot name, sub-index] stands for, parsed when the
  // array was set; nullptr for any other value.
  const TSlotReference* GetSlotReference() const noexcept;
  // The raw integer of dtInteger, dtFactId, dtDescriptor. REQUIRES that tag.
  int64_t IntPayload() const noexcept { return U_.I; }
  double FloatPayload() const noexcept { return U_.F; }
  // The call, fact or list object without a new reference. REQUIRES one of
  // those tags.
  TCloneable* IntfPayload() const noexcept { return U_.Intf; }

  // Strict equality: same tag and equal payload.
  bool Equals(const TKbValue* Other) const;
  bool Equals(const IKbValue& Other) const { return Equals(Other.get()); }
  bool Equals(const TCloneable* Other) const override;
  // Loose equality: Other is read with the getter of this value's tag.
  // Not symmetric; conversion errors propagate. A nil Other is equal only
  // to a value of tag dtNone.
  bool EqualsStar(const TKbValue* Other) const;
  bool EqualsStar(const IKbValue& Other) const { return EqualsStar(Other.get()); }

  int32_t GetHashCode() const override;
  // The same, inline for the values facts mostly hold (integers, symbols,
  // strings, lists).
  inline int32_t Hash() const;
  std::string GetToString() const override;

  // Deep copy: function calls, facts and lists are cloned.
  void Assign(const ICloneable& Source) override;
  // Shallow copy from another value: interfaces are shared.
  void Assign(const TPersistent* Source) override;
  // Writes this value into Dest through Dest's setters (cloning function
  // calls, facts and lists); the user tag is not copied.
  void AssignTo(const IKbValue& Dest) const;
  ICloneable Clone() const override;
  IKbValue CloneValue() const;
  // Pins this value and what it holds (its text, or its list and the
  // list's items): a constant of the process, which any thread may copy
  // and which is never freed. REQUIRES: no other thread has seen it yet,
  // and it holds no call, fact or array.
  void MakeConstant() noexcept;

  // Empties the payload; the tag becomes dtNone, the user tag stays.
  void Reset() noexcept;
  // Where a variable is expected in the frame of the context that resolves
  // it (TKbContext::GetFrame): position + 1, or 0 for no guess. Set by a
  // rule for the variables of its actions when it lays its frame out. Only
  // a hint: Resolve checks that the binding there has this name and a
  // value, and otherwise looks the name up. Not copied, compared or shown.
  uint16_t GetFrameHint() const noexcept { return FrameHint_; }
  void SetFrameHint(uint16_t Value) noexcept { FrameHint_ = Value; }
  // The value this value stands for in Context: a variable's bound value, a
  // call's result, a slot reference's field; otherwise this value itself.
  IKbValue Resolve(TKbContext* Context) const;

 private:
  // The tags whose payload is a counted interface (U_.Intf).
  static constexpr bool IsIntfTag(TKbType T) noexcept {
    return T == dtFunCall || T == dtFact || T == dtList;
  }
  // The tags whose payload is a plain counted box (U_.Arr): arrays, and an
  // object's link (nil for nil).
  static constexpr bool IsBoxedTag(TKbType T) noexcept {
    constexpr uint32_t boxed =
        (1u << dtIntArray) | (1u << dtStringArray) | (1u << dtVariantArray) | (1u << dtObject);
    return ((boxed >> T) & 1u) != 0;
  }
  // Whether a payload of tag T is counted (a text, or one of the above),
  // which Reset releases.
  static constexpr bool HoldsCounted(TKbType T) noexcept {
    return KbStringTypes.Contains(T) || IsIntfTag(T) || IsBoxedTag(T);
  }
  void SetText(TKbType T, std::string_view S);
  void SetInt(TKbType T, int64_t V) {
    if (HoldsCounted(DType_)) Reset();
    DType_ = T;
    U_.I = V;
  }
  void SetIntf(TKbType T, TCloneable* P);
  [[noreturn]] void TypeError(const char* Word) const;

  TKbType DType_ = dtNone;
  uint16_t FrameHint_ = 0;  // fills padding: the value stays 32 bytes
  int32_t Tag_ = 0;
  union {
    int64_t I;  // integers are 64-bit; fact ids and descriptors fit in 32
    double F;
    TKbText* S;
    TCloneable* Intf;   // function call, fact or list
    TObjectLink* Link;  // object (counted; nil for nil)
    const TPersistentClass* Cls;
    void* Ptr;
    TRefCounted* Arr;  // boxed array, or an object's link
  } U_;
};

// The items of a multifield: up to InlineCount of them in the object
// itself (a fact's fields mostly fit, so its list needs no buffer of its
// own), more in a buffer from the thread's free lists. The part of
// std::vector's interface that multifields use; iterators are pointers.
class TValueItems {
 public:
  using value_type = IKbValue;
  using size_type = size_t;
  using difference_type = ptrdiff_t;
  using reference = IKbValue&;
  using const_reference = const IKbValue&;
  using pointer = IKbValue*;
  using const_pointer = const IKbValue*;
  using iterator = IKbValue*;
  using const_iterator = const IKbValue*;
  static constexpr uint32_t InlineCount = 3;

  TValueItems() noexcept = default;
  TValueItems(const_iterator First, const_iterator Last) { AppendCopies(First, Last); }
  TValueItems(const TValueItems& Other) { AppendCopies(Other.begin(), Other.end()); }
  TValueItems(TValueItems&& Other) noexcept { TakeFrom(Other); }
  TValueItems& operator=(const TValueItems& Other);
  TValueItems& operator=(TValueItems&& Other) noexcept;
  ~TValueItems() { Free(); }

  size_t size() const noexcept { return Size_; }
  bool empty() const noexcept { return Size_ == 0; }
  size_t capacity() const noexcept { return Capacity_; }
  IKbValue* data() noexcept { return Data_; }
  const IKbValue* data() const noexcept { return Data_; }
  iterator begin() noexcept { return Data_; }
  iterator end() noexcept { return Data_ + Size_; }
  const_iterator begin() const noexcept { return Data_; }
  const_iterator end() const noexcept { return Data_ + Size_; }
  IKbValue& operator[](size_t I) noexcept { return Data_[I]; }
  const IKbValue& operator[](size_t I) const noexcept { return Data_[I]; }
  IKbValue& front() noexcept { return Data_[0]; }
  const IKbValue& front() const noexcept { return Data_[0]; }
  IKbValue& back() noexcept { return Data_[Size_ - 1]; }
  const IKbValue& back() const noexcept { return Data_[Size_ - 1]; }

  void reserve(size_t N) {
    if (N > Capacity_) Grow(N);
  }
  void clear() noexcept;
  void push_back(const IKbValue& Value) {
    if (Size_ == Capacity_) [[unlikely]]
      return GrowAndAdd(IKbValue(Value));
    new (Data_ + Size_) IKbValue(Value);
    ++Size_;
  }
  void push_back(IKbValue&& Value) {
    if (Size_ == Capacity_) [[unlikely]]
      return GrowAndAdd(IKbValue(std::move(Value)));
    new (Data_ + Size_) IKbValue(std::move(Value));
    ++Size_;
  }
  void pop_back() noexcept { Data_[--Size_].~IKbValue(); }
  iterator insert(const_iterator Pos, const IKbValue& Value);
  // Inserts copies of [First, Last), which may lie in this list.
  iterator insert(const_iterator Pos, const_iterator First, const_iterator Last);
  iterator erase(const_iterator Pos);

 private:
  IKbValue* Inline() noexcept { return reinterpret_cast<IKbValue*>(Storage_); }
  // Room for at least Count items; the items move into the new buffer.
  void Grow(size_t Count);
  void GrowAndAdd(IKbValue&& Value);
  void AppendCopies(const_iterator First, const_iterator Last);
  // Destroys the items and gives the buffer back; leaves nothing behind.
  void Free() noexcept;
  // Takes Other's items (Other is left empty). REQUIRES: this is empty
  // with no buffer.
  void TakeFrom(TValueItems& Other) noexcept;

  IKbValue* Data_ = reinterpret_cast<IKbValue*>(Storage_);
  uint32_t Size_ = 0;
  uint32_t Capacity_ = InlineCount;
  alignas(IKbValue) unsigned char Storage_[InlineCount * sizeof(IKbValue)];
};

// A multifield: an ordered list of values (items may be nil).
class TValueVector final : public TCloneable {
 public:
  TValueVector() = default;
  explicit TValueVector(TValueItems Items) : Items_(std::move(Items)) {}
  // Every multislot value of a fact has one: kept on the thread's free
  // lists, as values are.
  static void* operator new(size_t Size) { return AllocatePooled(Size); }
  static void operator delete(void* Block, size_t Size) noexcept { FreePooled(Block, Size); }

  int GetValueCount() const noexcept { return static_cast<int>(Items_.size()); }
  int Count() const noexcept { return GetValueCount(); }
  const IKbValue& Get(int Index) const;
  void Put(int Index, const IKbValue& Value);
  int Add(const IKbValue& Value) {
    Items_.push_back(Value);
    return GetValueCount() - 1;
  }
  int Add(IKbValue&& Value) {
    Items_.push_back(std::move(Value));
    return GetValueCount() - 1;
  }
  void Insert(int Index, const IKbValue& Value);
  void Delete(int Index);
  // Removes the first item that is the same object; returns its index or -1.
  int Remove(const IKbValue& Value);
  int IndexOf(const IKbValue& Value) const;
  void Clear() noexcept { Items_.clear(); }
  // The first and last items; nil when the vector is empty.
  IKbValue First() const { return Items_.empty() ? IKbValue() : Items_.front(); }
  IKbValue Last() const { return Items_.empty() ? IKbValue() : Items_.back(); }
  // Adds the items of Other at the end, shared (not copied).
  void Append(const TValueVector& Other);
  void Reserve(size_t N) { Items_.reserve(N); }
  const TValueItems& Items() const noexcept { return Items_; }
  TValueItems::const_iterator begin() const { return Items_.begin(); }
  TValueItems::const_iterator end() const { return Items_.end(); }

  int32_t GetTag() const override { return Tag_; }
  void SetTag(int32_t Value) override { Tag_ = Value; }
  bool Equals(const TValueVector* Other) const;
  bool Equals(const IValueVector& Other) const { return Equals(Other.get()); }
  bool Equals(const TCloneable* Other) const override;
  int32_t GetHashCode() const override;
  std::string GetToString() const override;
  // Clears this vector and adds a Clone of each item of Source.
  void Assign(const ICloneable& Source) override;
  using TCloneable::Assign;
  ICloneable Clone() const override;
  IValueVector CloneVector() const;

 private:
  TValueItems Items_;
  int32_t Tag_ = 0;
};

inline TValueVector* TKbValue::ListPtr() const noexcept {
  return static_cast<TValueVector*>(U_.Intf);
}

inline int32_t TKbValue::Hash() const {
  switch (DType_) {
    case dtInteger:
      // As IntegerHash: the integer itself when it fits in 32 bits.
      if (static_cast<int32_t>(U_.I) == U_.I) return static_cast<int32_t>(U_.I);
      break;
    case dtAtom:
    case dtString: return U_.S->Hash();
    case dtList:
      if (U_.Intf) return static_cast<const TValueVector*>(U_.Intf)->GetHashCode();
      break;
    default: break;
  }
  return GetHashCode();
}

// Names to values (the engine's variable tables), in insertion order.
class TValueHashTable : public TPersistent {
 public:
  IKbValue Get(std::string_view Name) const;
  IKbValue GetItem(std::string_view Name) const { return Get(Name); }
  bool Contains(std::string_view Name) const { return Table_.Contains(Name); }
  // Stores Value; returns the value it replaced (nil when none). Virtual so
  // that a table can act on every definition (the global variables bind).
  virtual IKbValue Put(const std::string& Name, const IKbValue& Value);
  void SetItem(const std::string& Name, const IKbValue& Value) { Put(Name, Value); }
  // Takes the entry out; returns the removed value (nil when none).
  IKbValue Remove(std::string_view Name);
  virtual void Clear() { Table_.Clear(); }
  size_t Count() const { return Table_.Count(); }
  // Copies another table's entries, cloning every value.
  void Assign(const TPersistent* Source) override;
  // "name = text" lines, each ended by NewLineString.
  virtual std::string GetToString() const;
  const TStringMap<IKbValue>& Entries() const { return Table_; }

 private:
  TStringMap<IKbValue> Table_;
};

// Slot references, defined with the Rete tokens (rete/KbToken.cpp): the
// parsed form of a variant array, or nullptr when the array is not of the
// form [fact index, slot name, sub-index]; its deletion; and its value in a
// context (the context's token and fact).
TSlotReference* NewSlotReference(const TVariantArray& Array);
void DeleteSlotReference(const TSlotReference* Reference) noexcept;
IKbValue ResolveSlotReference(const TSlotReference& Reference, TKbContext* Context);

// New values of each kind.
IKbValue NewValue();
IKbValue NewAtom(std::string_view S);
IKbValue NewString(std::string_view S);
IKbValue NewVariable(std::string_view S);
IKbValue NewMultiVariable(std::string_view S);
IKbValue NewInteger(int64_t V);
IKbValue NewFactId(int32_t V);
IKbValue NewFloat(double V);
IKbValue NewList(const IValueVector& V);
// The same taking over the caller's reference.
IKbValue NewList(IValueVector&& V);
IKbValue NewFunCall(const IFunCall& V);
IValueVector NewVector();
// A new value holding Text with the given text tag.
IKbValue NewText(TKbType T, std::string_view Text);

// V made a constant of the process (MakeConstant), for values that every
// thread may copy: the shared constants below and function-local static
// values. REQUIRES: as MakeConstant.
IKbValue NewConstant(IKbValue V);

// Shared constants, pinned (MakeConstant); never change them.
extern const IKbValue FCTrue;
extern const IKbValue FCFalse;
extern const IKbValue FCNil;
extern const IKbValue FCNilList;
extern const IKbValue FCCatch;
extern const IKbValue FCExcept;
extern const IKbValue FCFinally;
extern const IKbValue FCElse;
extern const IKbValue FCDo;
extern const IKbValue FCEOF;
extern const IKbValue FCThen;
extern const IKbValue FCPI;
extern const IKbValue FCEmptyString;
extern const IKbValue FCZero;

// Whether evaluating V gives another value: a call or a variable (a
// variable of a rule's action is compiled into an array).
inline bool IsComputed(const IKbValue& V) {
  if (!V) return false;
  const TKbType t = V->GetDType();
  return t == dtFunCall || t == dtVariantArray || KbVariableTypes.Contains(t);
}
// FCTrue or FCFalse.
inline const IKbValue& BoolValue(bool B) { return B ? FCTrue : FCFalse; }
// Whether V is the atom FALSE: the only value that counts as false.
inline bool IsFalse(const IKbValue& V) {
  return V.get() == FCFalse.get() || (V && V->Equals(FCFalse));
}

}  // namespace kb
