// Facts: a template and its slot values (see memory/KbFacts.h for how
// values are shared and defaults filled).
#pragma once

#include <cstdint>
#include <string>

#include "core/KbInterfaces.h"
#include "core/KbValue.h"
#include "memory/KbFacts.h"

namespace kb {

// ------------------------------------------------------------------- TFact

// The slot values of a fact: a counted array, shared by a fact and its
// clones until one of them writes. Internal to TFact.
class TFactValues final {
 public:
  // A new array of Count empty entries, with no reference yet.
  static TFactValues* Make(TSlotLayout* Layout, uint32_t Count);
  void AddRef() const noexcept { ++Refs_; }
  void Release() const noexcept;
  bool IsShared() const noexcept { return Refs_ > 1; }
  uint32_t Count() const noexcept { return Count_; }
  TSlotLayout* Layout() const noexcept { return Layout_.get(); }
  IKbValue* Items() noexcept { return reinterpret_cast<IKbValue*>(this + 1); }
  const IKbValue* Items() const noexcept { return reinterpret_cast<const IKbValue*>(this + 1); }
  // The fact hash of these values, once known (an array whose every entry
  // is set: a default filled in later could not change it). Whoever
  // writes an entry forgets it.
  bool HasHash() const noexcept { return Hashed_; }
  int32_t Hash() const noexcept { return Hash_; }
  void KeepHash(int32_t Hash) const noexcept {
    Hash_ = Hash;
    Hashed_ = true;
  }
  void ForgetHash() noexcept { Hashed_ = false; }

 private:
  TFactValues(TSlotLayout* Layout, uint32_t Count) : Count_(Count), Layout_(Layout) {}
  ~TFactValues() = default;
  mutable int32_t Refs_ = 0;
  uint32_t Count_;
  TRef<TSlotLayout> Layout_;
  mutable int32_t Hash_ = 0;
  mutable bool Hashed_ = false;
};
static_assert(sizeof(TFactValues) % alignof(IKbValue) == 0);

class TFact : public TCloneable {
 public:
  // An empty fact of Template (defaults are filled as slots are read).
  explicit TFact(const IFactTemplate& Template = nullptr);
  // The same, then Assign from Source when it is not nil.
  TFact(const IFactTemplate& Template, const IFact& Source);
  ~TFact() override;
  // Kept on the thread's free lists, as values are.
  static void* operator new(size_t Size) { return AllocatePooled(Size); }
  static void operator delete(void* Block, size_t Size) noexcept { FreePooled(Block, Size); }
  TFact(const TFact&) = delete;
  TFact& operator=(const TFact&) = delete;

  const IFactTemplate& GetTemplate() const noexcept { return Template_; }
  // Keeps the values of the slots both templates have, fills the others
  // with clones of the new template's defaults; nil drops every value.
  virtual void SetTemplate(const IFactTemplate& Value);
  int32_t GetID() const noexcept { return ID_; }
  virtual void SetID(int32_t Value) { ID_ = Value; }
  int32_t GetTag() const override { return Tag_; }
  void SetTag(int32_t Value) override { Tag_ = Value; }

  // Where working memory keeps a fact: the list (nullptr when none), the
  // fact's position in it and its hash code when it went in.
  struct TMemoryPlace {
    const void* Memory = nullptr;
    uint32_t Slot = 0;
    int32_t Hash = 0;
  };
  // Whether the fact is in an engine's working memory. The network holds
  // such a fact itself (no copy), so its values and template do not change
  // while it is there: the setters raise SFactInWorkingMemory.
  bool IsInWorkingMemory() const noexcept { return Place_.Memory != nullptr; }
  // For working memory alone, as it takes in, moves and lets go of the
  // fact: bookkeeping, not part of the fact's value.
  const TMemoryPlace& GetMemoryPlace() const noexcept { return Place_; }
  void SetMemoryPlace(const TMemoryPlace& Place) const noexcept { Place_ = Place; }
  void SetMemorySlot(uint32_t Slot) const noexcept { Place_.Slot = Slot; }

  // The value of slot Index, filled from the default when never set.
  // Constant time. REQUIRES a template; EListError for a bad index. The
  // reference stays valid until this fact is next changed; keep an
  // IKbValue to hold the value longer.
  const IKbValue& GetValue(int Index) const {
    const TFactValues* b = Values_.get();
    if (b && b->Layout() == Template_->LayoutPtr() && static_cast<uint32_t>(Index) < b->Count()) {
      const IKbValue& v = b->Items()[Index];
      if (v) return v;
    }
    return GetValueSlow(Index);
  }
  // The value of slot Index when the values are laid out for Layout and
  // the slot holds one, else nullptr: the hot path of readers that have
  // checked the template's layout themselves.
  const IKbValue* ValueIfLaidOut(const TSlotLayout* Layout, int Index) const noexcept {
    const TFactValues* b = Values_.get();
    if (b && b->Layout() == Layout && static_cast<uint32_t>(Index) < b->Count()) {
      const IKbValue& v = b->Items()[Index];
      if (v) return &v;
    }
    return nullptr;
  }
  // The value of slot Index, or the slot's default (FCNil when it has
  // none) when never set, without storing anything: for printing and
  // comparing. REQUIRES a template and 0 <= Index < its slot count.
  const IKbValue& PeekValue(int Index) const;
  // By name: SNoTemplate without a template, SInvalidSlotName for a name
  // that is not a slot.
  const IKbValue& GetValue(std::string_view Name) const;
  // The slot's value when the template has the slot, else nil.
  IKbValue ContainsKey(std::string_view Name) const;
  // Whether slot Index holds a value (set, or filled from the default).
  bool HasValue(int Index) const;
  // Stores Value (nil stores FCNil) after the engine's dynamic type check;
  // copies a shared value array first.
  virtual void SetValue(int Index, const IKbValue& Value);
  void SetValue(std::string_view Name, const IKbValue& Value);
  // Replaces every value with those of Table (each type-checked); nothing
  // changes when one fails.
  void SetValues(const TValueHashTable& Table);
  // The slots that hold a value, in slot order, and their values.
  std::vector<std::string> GetSlotNames() const;
  std::vector<IKbValue> GetSlotValues() const;

  // Takes Source's values; both facts must have the very same template.
  virtual void AssignValues(const IFact& Source);
  // A copy (template, identifier, tag; not in working memory) whose slot I
  // holds Compute(I, GetValue(I)). A value Compute changes passes the
  // dynamic type check of SetValue (nil stores FCNil). The copy's value
  // array is built once; when nothing changes it shares this fact's.
  template <class F>
  IFact MapValues(F&& Compute) const;
  // Takes Source's template (or, across engines, the same-named template of
  // this fact's engine), values, identifier and tag.
  void Assign(const ICloneable& Source) override;
  // As above; within one engine the values are type-checked.
  void Assign(const TPersistent* Source) override;
  // Same template, values, identifier and tag. One allocation: the values
  // are shared until either fact writes.
  ICloneable Clone() const override;
  IFact CloneFact() const;

  // Same template object and strictly equal values in every slot (a slot
  // never set compares as its default).
  bool Equals(const TFact* Other) const;
  bool Equals(const IFact& Other) const { return Equals(Other.get()); }
  bool Equals(const TCloneable* Other) const override;
  using TCloneable::Equals;
  // Mixes the template's seed and the hash code of every slot's value in
  // slot order (defaults for slots never set): equal facts hash alike, and
  // facts that differ in the order of their values or in their template
  // mostly hash apart. The working memory's duplicate check relies on it.
  int32_t GetHashCode() const override;
  std::string GetToString() const override;
  // The CLIPS text: "(name a b)" or "(name (slot value) ...)".
  std::string GetDefaultText() const;
  // "f-<id> <text>", the identifier padded to the width of the engine's
  // fact counter.
  std::string GetToIDString() const;

 private:
  TFact(const IFactTemplate& Template, TFactValues* Values, int32_t ID, int32_t Tag);
  const IKbValue& GetValueSlow(int Index) const;
  // The value array, laid out for the current template and not shared.
  IKbValue* MutableItems();
  // The engine's dynamic type check of Value for slot Index of Template;
  // nothing to do unless the engine checks types as facts change.
  static void CheckType(const TFactTemplate& Template, int Index, const IKbValue& Value) {
    const TFactCatalog* engine = Template.GetEngine();
    if (engine && engine->GetTypeChecks().Contains(tcDynamic)) CheckTypeNow(Template, Index, Value);
  }
  static void CheckTypeNow(const TFactTemplate& Template, int Index, const IKbValue& Value);
  void RequireTemplate() const {
    if (!Template_) [[unlikely]]
      NoTemplate();
  }
  [[noreturn]] static void NoTemplate();
  // Raises SFactInWorkingMemory for a fact in working memory.
  void RequireChangeable() const;
  int SlotIndex(std::string_view Name) const;
  // Brings the value array to the template's current layout.
  void Relayout() const;
  // The value array laid out for the template (relaid out when it is not).
  // REQUIRES a template.
  const TFactValues& LaidOut() const {
    const TFactValues* b = Values_.get();
    if (b && b->Layout() == Template_->LayoutPtr()) return *b;
    Relayout();
    return *Values_;
  }
  // The value of slot Index in Values (laid out for the template), or the
  // slot's default (FCNil when it has none) when never set.
  const IKbValue& PeekIn(const TFactValues& Values, int Index) const;
  void AssignFrom(const TFact& Source, bool TypeChecked);

  IFactTemplate Template_;
  mutable TRef<TFactValues> Values_;
  int32_t ID_ = -1;
  int32_t Tag_ = 0;
  mutable TMemoryPlace Place_;
};

template <class F>
IFact TFact::MapValues(F&& Compute) const {
  RequireTemplate();
  const int n = Template_->GetSlotCount();
  TRef<TFactValues> fresh;
  for (int i = 0; i < n; ++i) {
    // Reading fills a default in (and lays the array out for the template).
    const IKbValue& written = GetValue(i);
    IKbValue v = Compute(i, written);
    if (v.get() == written.get()) {
      if (fresh) fresh->Items()[i] = std::move(v);
      continue;
    }
    if (!v) v = FCNil;
    CheckType(*Template_, i, v);
    if (!fresh) {
      const TFactValues& old = *Values_;
      fresh = TRef<TFactValues>(TFactValues::Make(old.Layout(), old.Count()));
      for (int j = 0; j < i; ++j) fresh->Items()[j] = old.Items()[j];
    }
    fresh->Items()[i] = std::move(v);
  }
  return IFact(new TFact(Template_, fresh ? fresh.get() : Values_.get(), ID_, Tag_));
}

// A new value holding Fact.
IKbValue NewFactValue(const IFact& Fact);

}  // namespace kb
