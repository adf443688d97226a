#include "core/KbValue.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>

#include "core/KbContext.h"
#include "core/KbFunctions.h"
#include "core/KbHelperFunctions.h"
#include "core/KbNumber.h"

namespace kb {

// The layout "Values" in docs/ARCHITECTURE.md describes; the frame hint
// lives in padding.
static_assert(sizeof(TKbValue) == 32);

namespace {

template <class T>
struct TArrayBox final : TRefCounted {
  explicit TArrayBox(const T& a) : A(a) {}
  T A;
};

// A variant array with, when it has the form of a slot reference, that
// reference parsed once: compiled predicates resolve it for every fact.
struct TVariantArrayBox final : TRefCounted {
  explicit TVariantArrayBox(const TVariantArray& a) : A(a), Ref(NewSlotReference(a)) {}
  ~TVariantArrayBox() override { DeleteSlotReference(Ref); }
  TVariantArrayBox(const TVariantArrayBox&) = delete;
  TVariantArrayBox& operator=(const TVariantArrayBox&) = delete;
  TVariantArray A;
  const TSlotReference* Ref;
};

const TIntegerArray& IntArrayOf(TRefCounted* p) {
  return static_cast<TArrayBox<TIntegerArray>*>(p)->A;
}
const TStringArray& StringArrayOf(TRefCounted* p) {
  return static_cast<TArrayBox<TStringArray>*>(p)->A;
}
const TVariantArray& VariantArrayOf(TRefCounted* p) { return static_cast<TVariantArrayBox*>(p)->A; }

// The hash code of an integer: the integer itself when it fits in 32 bits
// (so that hash codes stay what they were before integers grew), otherwise
// its two halves folded together.
int32_t IntegerHash(int64_t v) {
  const auto low = static_cast<int32_t>(v);
  if (low == v) return low;
  return static_cast<int32_t>(static_cast<uint32_t>(v) ^ static_cast<uint32_t>(v >> 32));
}

// The hash code of a float: that of the integer it truncates to (saturating
// at the 64-bit limits), so that loosely equal numbers hash alike.
int32_t FloatHash(double f) {
  if (std::isnan(f)) return 0;
  if (f >= 9223372036854775807.0) return IntegerHash(INT64_MAX);
  if (f <= -9223372036854775808.0) return IntegerHash(INT64_MIN);
  return IntegerHash(static_cast<int64_t>(f));
}

}  // namespace

TKbText* TKbText::Make(std::string_view S) { return Make(S, CalculateHash(S)); }

TKbText* TKbText::Make(std::string_view S, int32_t Hash) {
  void* mem = ::operator new(sizeof(TKbText) + S.size() + 1);
  TKbText* t = new (mem) TKbText();
  char* chars = reinterpret_cast<char*>(t + 1);
  if (!S.empty()) std::memcpy(chars, S.data(), S.size());
  chars[S.size()] = '\0';
  t->Len_ = static_cast<uint32_t>(S.size());
  t->Hash_ = Hash;
  return t;
}

namespace {

// The symbols made last on this thread, one per slot of their hash. Texts
// are immutable and counted atomically: one made here may be shared with
// any thread. The slots hold a reference each, given back when the thread
// ends.
struct TSymbolCache {
  static constexpr size_t Slots = 1024;
  static constexpr size_t Longest = 64;
  const TKbText* Texts[Slots] = {};
  TSymbolCache() = default;
  TSymbolCache(const TSymbolCache&) = delete;
  TSymbolCache& operator=(const TSymbolCache&) = delete;
  ~TSymbolCache() {
    for (const TKbText* t : Texts)
      if (t) t->Release();
  }
};
thread_local TSymbolCache gSymbols;

}  // namespace

TKbText* TKbText::MakeSymbol(std::string_view S) {
  if (S.size() > TSymbolCache::Longest) return Make(S);
  const int32_t hash = CalculateHash(S);
  const TKbText*& slot = gSymbols.Texts[static_cast<uint32_t>(hash) % TSymbolCache::Slots];
  if (slot && slot->Hash_ == hash && slot->View() == S) {
    slot->AddRef();
    return const_cast<TKbText*>(slot);
  }
  TKbText* t = Make(S, hash);
  t->AddRef();
  if (slot) slot->Release();
  slot = t;
  return t;
}

void TKbText::Release() const noexcept {
  if (Pinned_) return;
  if (Refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    this->~TKbText();
    ::operator delete(const_cast<TKbText*>(this));
  }
}

// ---------------------------------------------------------------- TKbValue

void TKbValue::Reset() noexcept {
  TKbType t = DType_;
  DType_ = dtNone;
  if (KbStringTypes.Contains(t))
    U_.S->Release();
  else if (IsIntfTag(t)) {
    if (U_.Intf) U_.Intf->Release();
  } else if (IsBoxedTag(t)) {
    if (U_.Arr) U_.Arr->Release();
  }
  U_.Ptr = nullptr;
}

void TKbValue::SetText(TKbType T, std::string_view S) {
  TKbText* text = T == dtAtom ? TKbText::MakeSymbol(S) : TKbText::Make(S);
  Reset();
  DType_ = T;
  U_.S = text;
}

void TKbValue::SetIntf(TKbType T, TCloneable* P) {
  if (P) P->AddRef();
  Reset();
  DType_ = T;
  U_.Intf = P;
}

void TKbValue::SetAsFloat(double V) {
  Reset();
  DType_ = dtFloat;
  U_.F = V;
}

void TKbValue::SetAsFunCall(const IFunCall& V) { SetIntf(dtFunCall, V.get()); }
void TKbValue::SetAsList(const IValueVector& V) { SetIntf(dtList, V.get()); }

void TKbValue::TakeList(TValueVector* V) noexcept {
  if (HoldsCounted(DType_)) Reset();
  DType_ = dtList;
  U_.Intf = V;
}

void TKbValue::SetAsObject(TPersistent* V) {
  TObjectLink* link = V ? TObjectLink::Of(V) : nullptr;
  if (link) link->AddRef();
  Reset();
  DType_ = dtObject;
  U_.Link = link;
}

void TKbValue::SetAsClass(const TPersistentClass* V) {
  Reset();
  DType_ = dtClass;
  U_.Cls = V;
}

void TKbValue::SetAsExternalAddress(void* V) {
  Reset();
  DType_ = dtExternalAddress;
  U_.Ptr = V;
}

template <class T>
static TRefCounted* Box(const T& a) {
  auto* b = new TArrayBox<T>(a);
  b->AddRef();
  return b;
}

void TKbValue::SetAsIntArray(const TIntegerArray& V) {
  TRefCounted* b = Box(V);
  Reset();
  DType_ = dtIntArray;
  U_.Arr = b;
}

void TKbValue::SetAsStringArray(const TStringArray& V) {
  TRefCounted* b = Box(V);
  Reset();
  DType_ = dtStringArray;
  U_.Arr = b;
}

void TKbValue::SetAsVariantArray(const TVariantArray& V) {
  TRefCounted* b = new TVariantArrayBox(V);
  b->AddRef();
  Reset();
  DType_ = dtVariantArray;
  U_.Arr = b;
}

void TKbValue::TypeError(const char* Word) const {
  KbError(SNotCorrectType, Word, EnumName(DType_));
}

std::string TKbValue::GetAsString() const {
  if (IsText()) return std::string(U_.S->View());
  if (DType_ == dtInteger) return IntToStr(U_.I);
  if (DType_ == dtFloat) return FloatToStr(U_.F);
  TypeError("string");
}

int64_t TKbValue::GetAsInteger() const {
  switch (DType_) {
    case dtAtom:
    case dtString:
      if (auto v = TryStrToInt(U_.S->View())) return *v;
      break;
    case dtInteger:
    case dtFactId:
    case dtDescriptor: return U_.I;
    case dtFloat:
      // A float without a 64-bit integer value (NaN, out of range) is no
      // integer: never clamped.
      if (auto v = TryFloatToInt(U_.F)) return *v;
      break;
    default: break;
  }
  TypeError("integer");
}

double TKbValue::GetAsNumeric() const {
  switch (DType_) {
    case dtAtom:
    case dtString:
      if (auto v = TryStrToFloat(U_.S->View())) return *v;
      break;
    case dtInteger:
    case dtFactId:
    case dtDescriptor: return static_cast<double>(U_.I);
    case dtFloat: return U_.F;
    default: break;
  }
  TypeError("numeric");
}

int32_t TKbValue::GetAsFactId() const {
  switch (DType_) {
    case dtInteger:
    case dtFactId:
      // Fact identifiers are 32-bit: a larger integer names no fact.
      if (U_.I >= INT32_MIN && U_.I <= INT32_MAX) return static_cast<int32_t>(U_.I);
      break;
    case dtFloat:
      // Round to nearest, halves to even; no fact has an identifier
      // outside the 32-bit range.
      if (auto v = TryFloatToInt(std::nearbyint(U_.F)); v && *v >= INT32_MIN && *v <= INT32_MAX)
        return static_cast<int32_t>(*v);
      break;
    default: break;
  }
  TypeError("fact");
}

int32_t TKbValue::GetAsDescriptor() const {
  if (DType_ != dtDescriptor) TypeError("descriptor");
  return static_cast<int32_t>(U_.I);  // set as a 32-bit integer
}

IFunCall TKbValue::GetAsFunCall() const {
  if (DType_ != dtFunCall) TypeError("function call");
  return IFunCall(static_cast<TFunctionCall*>(U_.Intf));
}

IValueVector TKbValue::GetAsList() const {
  if (DType_ != dtList) TypeError("list");
  return IValueVector(static_cast<TValueVector*>(U_.Intf));
}

const TSlotReference* TKbValue::GetSlotReference() const noexcept {
  return DType_ == dtVariantArray ? static_cast<TVariantArrayBox*>(U_.Arr)->Ref : nullptr;
}

TPersistent* TKbValue::GetAsObject() const {
  if (DType_ != dtObject) TypeError("object");
  return U_.Link ? U_.Link->Get() : nullptr;
}

bool TKbValue::IsFreedObject() const noexcept {
  return DType_ == dtObject && U_.Link && !U_.Link->Get();
}

const TPersistentClass* TKbValue::GetAsClass() const {
  if (DType_ != dtClass) TypeError("class");
  return U_.Cls;
}

void* TKbValue::GetAsExternalAddress() const {
  if (DType_ != dtExternalAddress) TypeError("External Address");
  return U_.Ptr;
}

const TIntegerArray& TKbValue::GetAsIntArray() const {
  if (DType_ != dtIntArray) TypeError("integer array");
  return IntArrayOf(U_.Arr);
}

const TStringArray& TKbValue::GetAsStringArray() const {
  if (DType_ != dtStringArray) TypeError("string array");
  return StringArrayOf(U_.Arr);
}

const TVariantArray& TKbValue::GetAsVariantArray() const {
  if (DType_ != dtVariantArray) TypeError("Variant array");
  return VariantArrayOf(U_.Arr);
}

static bool SameIntf(const TCloneable* a, const TCloneable* b) {
  if (a == b) return true;
  if (!a || !b) return false;
  return a->Equals(b);
}

bool TKbValue::Equals(const TKbValue* Other) const {
  if (!Other) return false;
  if (Other == this) return true;
  if (Other->DType_ != DType_) return false;
  switch (DType_) {
    case dtNone: return true;
    case dtAtom:
    case dtString:
    case dtVariable:
    case dtMultiVariable:
    case dtSlot:
    case dtMultiSlot: return U_.S->SameAs(Other->U_.S);
    case dtInteger:
    case dtFactId:
    case dtDescriptor: return U_.I == Other->U_.I;
    case dtFloat: return U_.F == Other->U_.F;
    case dtFunCall:
    case dtFact:
    case dtList: return SameIntf(U_.Intf, Other->U_.Intf);
    case dtObject:
    case dtClass:
    case dtExternalAddress: return U_.Ptr == Other->U_.Ptr;
    case dtIntArray: return IntArrayOf(U_.Arr) == IntArrayOf(Other->U_.Arr);
    case dtStringArray: return StringArrayOf(U_.Arr) == StringArrayOf(Other->U_.Arr);
    case dtVariantArray: return VariantArrayOf(U_.Arr) == VariantArrayOf(Other->U_.Arr);
  }
  return false;
}

bool TKbValue::Equals(const TCloneable* Other) const {
  auto* v = dynamic_cast<const TKbValue*>(Other);
  return v && Equals(v);
}

bool TKbValue::EqualsStar(const TKbValue* Other) const {
  if (DType_ == dtNone) return true;
  if (!Other) return false;
  switch (DType_) {
    case dtAtom:
    case dtString:
    case dtVariable:
    case dtMultiVariable:
    case dtSlot:
    case dtMultiSlot:
      if (Other->IsText()) return U_.S->SameAs(Other->U_.S);
      return U_.S->View() == Other->GetAsString();
    case dtInteger:
    case dtFactId:
    case dtDescriptor: return U_.I == Other->GetAsInteger();
    case dtFloat: return U_.F == Other->GetAsFloat();
    default: break;
  }
  // The remaining kinds compare payloads of the same tag; Other's getter
  // raises when it holds another kind.
  if (Other->DType_ != DType_) {
    static const char* const words[] = {"",
                                        "",
                                        "",
                                        "",
                                        "",
                                        "",
                                        "",
                                        "function call",
                                        "fact",
                                        "list",
                                        "",
                                        "object",
                                        "class",
                                        "External Address",
                                        "integer array",
                                        "string array",
                                        "Variant array"};
    Other->TypeError(words[DType_]);
  }
  return Equals(Other);
}

int32_t TKbValue::GetHashCode() const {
  switch (DType_) {
    case dtAtom:
    case dtString:
    case dtVariable:
    case dtMultiVariable:
    case dtSlot:
    case dtMultiSlot: return U_.S->Hash();
    case dtInteger:
    case dtFactId:
    case dtDescriptor: return IntegerHash(U_.I);
    case dtFloat: return FloatHash(U_.F);
    case dtFunCall:
    case dtFact: return U_.Intf ? U_.Intf->GetHashCode() : 0;
    // Every multislot of a fact hashes through here: the vector's own
    // hash, called directly.
    case dtList: return U_.Intf ? ListPtr()->GetHashCode() : 0;
    case dtObject:
    case dtClass: return static_cast<int32_t>(reinterpret_cast<uintptr_t>(U_.Ptr));
    default: return 0;
  }
}

std::string TKbValue::GetToString() const {
  switch (DType_) {
    case dtNone: return std::string();
    case dtAtom:
    case dtSlot:
    case dtMultiSlot: return std::string(U_.S->View());
    case dtString: {
      std::string r;
      r.reserve(U_.S->View().size() + 2);
      r += '"';
      r += U_.S->View();
      r += '"';
      return r;
    }
    case dtInteger: return IntToStr(U_.I);
    case dtVariable: return "?" + std::string(U_.S->View());
    case dtMultiVariable: return "$?" + std::string(U_.S->View());
    case dtFactId: return "<Fact-" + IntToStr(U_.I) + ">";
    case dtFloat: return FloatToStr(U_.F);
    case dtFunCall:
    case dtFact:
    case dtList: return U_.Intf ? U_.Intf->GetToString() : std::string();
    case dtObject:
      if (!U_.Link) return std::string();
      // The class name is the link's: the object may have gone.
      return U_.Link->Get() ? "<External-Address: " + U_.Link->GetClassName() + ">"
                            : "<Freed-Object: " + U_.Link->GetClassName() + ">";
    case dtClass: return U_.Cls ? U_.Cls->Name : std::string();
    case dtExternalAddress: {
      // Never read through the address: print the address itself.
      char buf[32];
      std::snprintf(buf, sizeof buf, "%p", U_.Ptr);
      return std::string("<External-Address: ") + buf + ">";
    }
    case dtIntArray: {
      std::string r;
      for (int32_t i : IntArrayOf(U_.Arr)) r += IntToStr(i) + " ";
      return r;
    }
    case dtVariantArray: {
      std::string r;
      for (const TVariant& v : VariantArrayOf(U_.Arr)) r += v.AsString() + " ";
      return r;
    }
    default: return "<UNKNOWN>";
  }
}

void TKbValue::Assign(const ICloneable& Source) {
  auto* src = dynamic_cast<const TKbValue*>(Source.get());
  if (!src) InterfaceCastError("IKbValue");
  if (src == this) return;
  IKbValue keep(const_cast<TKbValue*>(src));
  Reset();
  Tag_ = src->Tag_;
  switch (src->DType_) {
    case dtFunCall:
    case dtFact:
    case dtList:
      if (src->U_.Intf) {
        ICloneable c = src->U_.Intf->Clone();
        DType_ = src->DType_;
        U_.Intf = c.detach();
      } else {
        DType_ = src->DType_;
        U_.Intf = nullptr;
      }
      return;
    case dtIntArray: SetAsIntArray(IntArrayOf(src->U_.Arr)); return;
    case dtStringArray: SetAsStringArray(StringArrayOf(src->U_.Arr)); return;
    case dtVariantArray: SetAsVariantArray(VariantArrayOf(src->U_.Arr)); return;
    default:
      // Texts are immutable, so sharing the buffer is a copy; an object
      // is the same object in the copy.
      if (KbStringTypes.Contains(src->DType_))
        src->U_.S->AddRef();
      else if (src->DType_ == dtObject && src->U_.Link)
        src->U_.Link->AddRef();
      DType_ = src->DType_;
      U_ = src->U_;
      return;
  }
}

void TKbValue::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TKbValue*>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  if (src == this) return;
  if (src->IsText())
    src->U_.S->AddRef();
  else if (IsIntfTag(src->DType_)) {
    if (src->U_.Intf) src->U_.Intf->AddRef();
  } else if (IsBoxedTag(src->DType_)) {
    if (src->U_.Arr) src->U_.Arr->AddRef();
  }
  Reset();
  DType_ = src->DType_;
  U_ = src->U_;
  Tag_ = src->Tag_;
}

void TKbValue::AssignTo(const IKbValue& Dest) const {
  if (!Dest) return;
  int32_t tag = Dest->Tag_;
  if (Dest.get() != this) {
    IKbValue copy = CloneValue();
    Dest->Assign(static_cast<const TPersistent*>(copy.get()));
  }
  Dest->Tag_ = tag;
}

ICloneable TKbValue::Clone() const { return CloneValue(); }

IKbValue NewConstant(IKbValue V) {
  V->MakeConstant();
  return V;
}

void TKbValue::MakeConstant() noexcept {
  Pin();
  if (IsText()) {
    U_.S->Pin();
  } else if (DType_ == dtList && U_.Intf) {
    TValueVector* list = ListPtr();
    list->Pin();
    for (const IKbValue& item : *list)
      if (item) item->MakeConstant();
  }
}

IKbValue TKbValue::CloneValue() const {
  IKbValue v = NewValue();
  v->Assign(ICloneable(const_cast<TKbValue*>(this)));
  return v;
}

IKbValue TKbValue::Resolve(TKbContext* Context) const {
  switch (DType_) {
    case dtVariable:
    case dtMultiVariable: {
      if (!Context) KbError(SNoContext, EnumName(DType_));
      if (const IKbValue* v = Context->FrameValue(*this)) return *v;
      TBinding* b = Context->FindBinding(U_.S->View());
      if (!b || !b->GetValue()) KbError(SCorruptedVariable, U_.S->View());
      return b->GetValue();
    }
    case dtFunCall: return static_cast<TFunctionCall*>(U_.Intf)->Execute(Context);
    case dtVariantArray:
      // A compiled variable; any other array stands for itself.
      if (const TSlotReference* r = static_cast<TVariantArrayBox*>(U_.Arr)->Ref)
        return ResolveSlotReference(*r, Context);
      return IKbValue(const_cast<TKbValue*>(this));
    default: return IKbValue(const_cast<TKbValue*>(this));
  }
}

// ------------------------------------------------------------- TValueItems

TValueItems& TValueItems::operator=(const TValueItems& Other) {
  if (this != &Other) *this = TValueItems(Other);
  return *this;
}

TValueItems& TValueItems::operator=(TValueItems&& Other) noexcept {
  if (this != &Other) {
    Free();
    TakeFrom(Other);
  }
  return *this;
}

void TValueItems::clear() noexcept {
  for (uint32_t i = 0; i < Size_; ++i) Data_[i].~IKbValue();
  Size_ = 0;
}

void TValueItems::Free() noexcept {
  clear();
  if (Data_ != Inline()) FreePooled(Data_, Capacity_ * sizeof(IKbValue));
  Data_ = Inline();
  Capacity_ = InlineCount;
}

void TValueItems::TakeFrom(TValueItems& Other) noexcept {
  if (Other.Data_ != Other.Inline()) {
    Data_ = Other.Data_;
    Capacity_ = Other.Capacity_;
  } else {
    for (uint32_t i = 0; i < Other.Size_; ++i) {
      new (Data_ + i) IKbValue(std::move(Other.Data_[i]));
      Other.Data_[i].~IKbValue();
    }
  }
  Size_ = Other.Size_;
  Other.Data_ = Other.Inline();
  Other.Size_ = 0;
  Other.Capacity_ = InlineCount;
}

void TValueItems::Grow(size_t Count) {
  if (Count > UINT32_MAX / sizeof(IKbValue)) throw std::bad_alloc();
  const auto capacity = static_cast<uint32_t>(std::max<size_t>(Count, size_t{Capacity_} * 2));
  auto* fresh = static_cast<IKbValue*>(AllocatePooled(capacity * sizeof(IKbValue)));
  for (uint32_t i = 0; i < Size_; ++i) {
    new (fresh + i) IKbValue(std::move(Data_[i]));
    Data_[i].~IKbValue();
  }
  if (Data_ != Inline()) FreePooled(Data_, Capacity_ * sizeof(IKbValue));
  Data_ = fresh;
  Capacity_ = capacity;
}

void TValueItems::GrowAndAdd(IKbValue&& Value) {
  Grow(size_t{Size_} + 1);
  new (Data_ + Size_) IKbValue(std::move(Value));
  ++Size_;
}

void TValueItems::AppendCopies(const_iterator First, const_iterator Last) {
  reserve(Size_ + static_cast<size_t>(Last - First));
  for (; First != Last; ++First) {
    new (Data_ + Size_) IKbValue(*First);
    ++Size_;
  }
}

TValueItems::iterator TValueItems::insert(const_iterator Pos, const IKbValue& Value) {
  const auto at = static_cast<uint32_t>(Pos - Data_);
  IKbValue copy(Value);  // Value may be an item of this list
  push_back(IKbValue());
  for (uint32_t i = Size_ - 1; i > at; --i) Data_[i] = std::move(Data_[i - 1]);
  Data_[at] = std::move(copy);
  return Data_ + at;
}

TValueItems::iterator TValueItems::insert(const_iterator Pos, const_iterator First,
                                          const_iterator Last) {
  const auto at = static_cast<uint32_t>(Pos - Data_);
  if (First == Last) return Data_ + at;
  // The copies are made first: [First, Last) may lie in this list.
  TValueItems copies(First, Last);
  const uint32_t n = copies.Size_;
  const uint32_t old = Size_;
  reserve(size_t{old} + n);
  for (uint32_t i = 0; i < n; ++i) new (Data_ + old + i) IKbValue();
  Size_ = old + n;
  for (uint32_t i = old; i > at; --i) Data_[i - 1 + n] = std::move(Data_[i - 1]);
  for (uint32_t i = 0; i < n; ++i) Data_[at + i] = std::move(copies.Data_[i]);
  return Data_ + at;
}

TValueItems::iterator TValueItems::erase(const_iterator Pos) {
  const auto at = static_cast<uint32_t>(Pos - Data_);
  for (uint32_t i = at; i + 1 < Size_; ++i) Data_[i] = std::move(Data_[i + 1]);
  pop_back();
  return Data_ + at;
}

// ------------------------------------------------------------ TValueVector

const IKbValue& TValueVector::Get(int Index) const {
  if (Index < 0 || Index >= GetValueCount()) ListIndexError(Index);
  return Items_[static_cast<size_t>(Index)];
}

void TValueVector::Put(int Index, const IKbValue& Value) {
  if (Index < 0 || Index >= GetValueCount()) ListIndexError(Index);
  Items_[static_cast<size_t>(Index)] = Value;
}

void TValueVector::Insert(int Index, const IKbValue& Value) {
  if (Index < 0 || Index > GetValueCount()) ListIndexError(Index);
  Items_.insert(Items_.begin() + Index, Value);
}

void TValueVector::Delete(int Index) {
  if (Index < 0 || Index >= GetValueCount()) ListIndexError(Index);
  Items_.erase(Items_.begin() + Index);
}

int TValueVector::Remove(const IKbValue& Value) {
  int i = IndexOf(Value);
  if (i >= 0) Delete(i);
  return i;
}

int TValueVector::IndexOf(const IKbValue& Value) const {
  for (size_t i = 0; i < Items_.size(); ++i)
    if (Items_[i] == Value) return static_cast<int>(i);
  return -1;
}

void TValueVector::Append(const TValueVector& Other) {
  if (&Other == this) {
    TValueItems copy = Items_;
    Items_.insert(Items_.end(), copy.begin(), copy.end());
    return;
  }
  Items_.insert(Items_.end(), Other.Items_.begin(), Other.Items_.end());
}

bool TValueVector::Equals(const TValueVector* Other) const {
  if (!Other) return false;
  if (Other == this) return true;
  if (Other->Items_.size() != Items_.size()) return false;
  for (size_t i = 0; i < Items_.size(); ++i) {
    const IKbValue& a = Items_[i];
    const IKbValue& b = Other->Items_[i];
    if (!a || !b) {
      if (a || b) return false;
      continue;
    }
    if (!a->Equals(b)) return false;
  }
  return true;
}

bool TValueVector::Equals(const TCloneable* Other) const {
  auto* v = dynamic_cast<const TValueVector*>(Other);
  return v && Equals(v);
}

int32_t TValueVector::GetHashCode() const {
  // In order: a multifield is a sequence, and ordered facts keep their
  // fields in one, so (a b) and (b a) must hash apart.
  uint32_t h = static_cast<uint32_t>(Items_.size());
  for (const IKbValue& v : Items_) h = HashMix(h, v ? static_cast<uint32_t>(v->Hash()) : 0);
  return HashFinish(h);
}

std::string TValueVector::GetToString() const {
  std::string r;
  for (const IKbValue& v : Items_) {
    if (v) r += v->GetToString();
    r += ' ';
  }
  if (!r.empty()) r.pop_back();
  return r;
}

void TValueVector::Assign(const ICloneable& Source) {
  auto* src = dynamic_cast<const TValueVector*>(Source.get());
  if (!src) InterfaceCastError("IValueVector");
  if (src == this) return;
  TValueItems items;
  items.reserve(src->Items_.size());
  for (const IKbValue& v : src->Items_) items.push_back(v ? v->CloneValue() : IKbValue());
  Items_ = std::move(items);
  Tag_ = src->Tag_;
}

ICloneable TValueVector::Clone() const { return CloneVector(); }

IValueVector TValueVector::CloneVector() const {
  IValueVector v(new TValueVector());
  v->Assign(ICloneable(const_cast<TValueVector*>(this)));
  return v;
}

// --------------------------------------------------------- TValueHashTable

IKbValue TValueHashTable::Get(std::string_view Name) const {
  const IKbValue* v = Table_.Find(Name);
  return v ? *v : IKbValue();
}

IKbValue TValueHashTable::Put(const std::string& Name, const IKbValue& Value) {
  IKbValue old;
  Table_.Put(Name, Value, &old);
  return old;
}

IKbValue TValueHashTable::Remove(std::string_view Name) {
  IKbValue old;
  Table_.Remove(Name, &old);
  return old;
}

void TValueHashTable::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TValueHashTable*>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  if (src == this) return;
  for (const auto& [name, value] : src->Table_) Put(name, value ? value->CloneValue() : IKbValue());
}

std::string TValueHashTable::GetToString() const {
  std::string r;
  for (const auto& [name, value] : Table_) {
    r += name;
    r += " = ";
    if (value) r += value->GetToString();
    r += NewLineString;
  }
  return r;
}

// -------------------------------------------------------------- factories

IKbValue NewValue() { return IKbValue(new TKbValue()); }

IKbValue NewText(TKbType T, std::string_view Text) {
  IKbValue v = NewValue();
  switch (T) {
    case dtAtom: v->SetAsAtom(Text); break;
    case dtString: v->SetAsString(Text); break;
    case dtVariable: v->SetAsVariable(Text); break;
    case dtMultiVariable: v->SetAsMultiVariable(Text); break;
    case dtSlot: v->SetAsSlot(Text); break;
    case dtMultiSlot: v->SetAsMultiSlot(Text); break;
    default: KbError(SNotCorrectType, "String type", EnumName(T));
  }
  return v;
}

TKbNumber NumberOf(const TKbValue& V) {
  TKbNumber n;
  switch (V.GetDType()) {
    case dtInteger:
    case dtFactId:
    case dtDescriptor:
      n.Int = V.IntPayload();
      n.IsFloat = false;
      return n;
    default:
      n.Float = V.GetAsNumeric();
      n.IsFloat = true;
      return n;
  }
}

IKbValue NewAtom(std::string_view S) { return NewText(dtAtom, S); }
IKbValue NewString(std::string_view S) { return NewText(dtString, S); }
IKbValue NewVariable(std::string_view S) { return NewText(dtVariable, S); }
IKbValue NewMultiVariable(std::string_view S) { return NewText(dtMultiVariable, S); }

namespace {

// The integers arithmetic and counting make most often, each made on first
// use and pinned (see "Threads" in docs/ARCHITECTURE.md): values never
// change once shared, so every engine on every thread may hand the same one
// out. A slot is filled once by compare-exchange; a thread that loses the
// race frees the value it made, which no one else has seen.
constexpr int64_t kFirstSharedInteger = -128;
constexpr int64_t kLastSharedInteger = 1023;
std::atomic<TKbValue*> gSharedIntegers[kLastSharedInteger - kFirstSharedInteger + 1];

[[gnu::noinline]] TKbValue* MakeSharedInteger(std::atomic<TKbValue*>& Slot, int64_t V) {
  auto* made = new TKbValue();
  made->SetAsInteger(V);
  made->MakeConstant();
  TKbValue* seen = nullptr;
  if (Slot.compare_exchange_strong(seen, made, std::memory_order_acq_rel,
                                   std::memory_order_acquire))
    return made;
  delete made;
  return seen;
}

}  // namespace

IKbValue NewInteger(int64_t V) {
  if (V >= kFirstSharedInteger && V <= kLastSharedInteger) {
    std::atomic<TKbValue*>& slot = gSharedIntegers[V - kFirstSharedInteger];
    TKbValue* shared = slot.load(std::memory_order_acquire);
    if (!shared) [[unlikely]]
      shared = MakeSharedInteger(slot, V);
    return IKbValue(shared);
  }
  IKbValue v = NewValue();
  v->SetAsInteger(V);
  return v;
}

IKbValue NewFactId(int32_t V) {
  IKbValue v = NewValue();
  v->SetAsFactId(V);
  return v;
}

IKbValue NewFloat(double V) {
  IKbValue v = NewValue();
  v->SetAsFloat(V);
  return v;
}

IKbValue NewList(const IValueVector& V) {
  IKbValue v = NewValue();
  v->SetAsList(V);
  return v;
}

IKbValue NewList(IValueVector&& V) {
  IKbValue v = NewValue();
  v->TakeList(V.detach());
  return v;
}

IKbValue NewFunCall(const IFunCall& V) {
  IKbValue v = NewValue();
  v->SetAsFunCall(V);
  return v;
}

IValueVector NewVector() { return IValueVector(new TValueVector()); }

void InterfaceCastError(const char* Wanted) {
  throw EInvalidCast(Format("Interface not supported: %s", Wanted));
}

// The shared constants, created in this order when the library loads and
// pinned before any other thread exists: every engine on every thread copies
// references to them, and none of those copies counts.
const IKbValue FCTrue = NewConstant(NewAtom("TRUE"));
const IKbValue FCFalse = NewConstant(NewAtom("FALSE"));
const IKbValue FCNil = [] {
  IKbValue v = NewValue();
  v->SetAsObject(nullptr);
  return NewConstant(v);
}();
const IKbValue FCNilList = NewConstant(NewList(NewVector()));
const IKbValue FCCatch = NewConstant(NewAtom("catch"));
const IKbValue FCExcept = NewConstant(NewAtom("except"));
const IKbValue FCFinally = NewConstant(NewAtom("finally"));
const IKbValue FCElse = NewConstant(NewAtom("else"));
const IKbValue FCDo = NewConstant(NewAtom("do"));
const IKbValue FCEOF = NewConstant(NewAtom("EOF"));
const IKbValue FCThen = NewConstant(NewAtom("then"));
const IKbValue FCPI = NewConstant(NewFloat(3.141592653589793));
const IKbValue FCEmptyString = NewConstant(NewAtom(""));
const IKbValue FCZero = NewConstant(NewInteger(0));

}  // namespace kb
