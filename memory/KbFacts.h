// Working memory: fact templates and their slots, facts, fact sets.
//
// A TFactTemplate (a deftemplate) names a kind of fact and lists its slots
// in declared order. Each TFactSlot is a single-field slot or a multislot
// (dtMultiSlot in its type set) with a default value and a set of allowed
// types. A slot's index is its position in its template; facts and
// patterns reach slot values by that index, never by name, on hot paths.
// Lookups by name go through the template's name index (IndexOfSlot).
//
// A TFact holds its template and its slot values in a counted value array
// shared copy-on-write: Clone is one small allocation that shares the array,
// and the first write to a shared array copies it. Values stored in a fact
// are immutable: a slot changes by storing a new value (SetValue), never by
// calling a setter on the value a fact returned. Defaults are filled lazily:
// a slot that was never set reads as a private clone of its default.
//
// A TFactSet (a deffacts) is a component keeping a named list of facts as
// CLIPS text, each with its parsed fact cached.
//
// Ownership: templates, slots and facts are counted (IFactTemplate,
// IFactSlot, IFact). A template holds its slots; a slot points back to its
// template by plain pointer and is detached when it leaves the template or
// the template goes. A template points to its owner (normally an engine) by
// plain pointer; an engine detaches every template it owns when it goes, so
// a template or fact that outlives its engine prints and compares on its
// own. A fact holds its template; a template holds its parent template.
//
// Invariants:
//  - Slot indexes of a template are 0..GetSlotCount()-1 in declared order;
//    GetSlot(i)->GetIndex() == i.
//  - Every fact sharing one value array has the same template.
//  - A stored fact value is never nil (a nil value is stored as FCNil).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/KbConsts.h"
#include "core/KbInterfaces.h"
#include "core/KbValue.h"
#include "framework/Classes.h"
#include "framework/Collections.h"
#include "framework/FreeList.h"
#include "memory/KbFactCatalog.h"

namespace kb {

class TFactCatalog;
class TFactSet;

// A template may not extend itself, directly or through its parents.
constexpr const char* SCyclicParentTemplate =
    "Fact template \"%s\" cannot extend \"%s\", which already extends it";

// The characters a template or slot name may not contain.
constexpr std::string_view KbNameExcludedChars = " '\"#()[]?:$&;<>";

// Refuses a name for a template, slot, rule, deffunction or deffacts:
// EKbException SUnexpectedCharacters for a character of KbNameExcludedChars
// or one that cannot be written in a name, SNameNotSymbol for a name that
// would read back as something else than this symbol (see IsPlainSymbol).
// Names are written without escapes, so that is what keeps a saved
// knowledge base readable.
void CheckConstructName(const std::string& Name);

// Calls Visit with every fact Value holds, at any depth: a fact value, the
// items of a multifield, the arguments of a call (the facts of an assert
// action) and what the facts found hold in turn. For constructs: facts in
// working memory may hold each other's addresses.
void ForEachFact(const IKbValue& Value, const std::function<void(TFact&)>& Visit);
void ForEachFact(const IFunCall& Call, const std::function<void(TFact&)>& Visit);

// The type names of a set as the slot text and the type-check messages
// write them: upper case, without the "dt" prefix, joined by Separator.
std::string TypeSetText(TKbTypes Types, std::string_view Separator);

// ---------------------------------------------------------------- TFactSlot

class TFactSlot : public TCloneable {
 public:
  // A slot of Template (or of none); it enters the template's slot list
  // when it is given a name.
  explicit TFactSlot(TFactTemplate* Template = nullptr);
  TFactSlot(const TFactSlot&) = delete;
  TFactSlot& operator=(const TFactSlot&) = delete;

  const TKbName& GetName() const noexcept { return Name_; }
  const IKbValue& GetSlotDefault() const noexcept { return SlotDefault_; }
  TKbTypes GetSlotType() const noexcept { return SlotType_; }
  bool IsMultiSlot() const noexcept { return SlotType_.Contains(dtMultiSlot); }
  // The position in the template's slots, or -1 outside a template.
  int GetIndex() const noexcept { return Index_; }
  TFactTemplate* GetTemplate() const noexcept { return Template_; }
  // The template's name; empty outside a template.
  std::string GetTemplateName() const;

  // Refuses names that CheckConstructName refuses; the template hears of
  // the change first.
  virtual void SetName(const std::string& Value);
  // A nil or a different value; the template may replace it (calls are
  // cloned so that every slot owns its call).
  virtual void SetSlotDefault(const IKbValue& Value);
  // Also replaces a default whose type the new set does not allow.
  virtual void SetSlotType(TKbTypes Value);

  int32_t GetTag() const override { return Tag_; }
  void SetTag(int32_t Value) override { Tag_ = Value; }

  // Same name and type set; the default is the same object or loosely
  // equal (a default that cannot be compared is not equal).
  bool Equals(const TCloneable* Other) const override;
  using TCloneable::Equals;
  // From any slot: name (through SetName), default (the same object), type
  // set and tag, stored without the template's hooks.
  void Assign(const ICloneable& Source) override;
  // From a TFactSlot: SetName, SetSlotType, SetSlotDefault and the tag, so
  // that the copy keeps the source's default whatever its types.
  void Assign(const TPersistent* Source) override;
  // A free-standing copy (no template): cloning never changes a template.
  ICloneable Clone() const override;
  IFactSlot CloneSlot() const;
  // The engine's text when the template belongs to an engine, else
  // GetDefaultText.
  std::string GetToString() const override;
  // "(slot name (type ...) (default ...) )"; see the pretty printer.
  std::string GetDefaultText() const;

 private:
  friend class TFactTemplate;

  TFactTemplate* Template_;
  IKbValue SlotDefault_;
  TKbName Name_;
  TKbTypes SlotType_;
  int32_t Tag_ = 0;
  int Index_ = -1;
};

// The slot names of a template at one moment. A fact's value array records
// the layout it was built for; when the template's slots change, the array
// is rebuilt by name on its next use.
class TSlotLayout final : public TRefCounted {
 public:
  explicit TSlotLayout(std::vector<std::string> Names) : Names_(std::move(Names)) {}
  const std::vector<std::string>& Names() const noexcept { return Names_; }
  int IndexOf(std::string_view Name) const noexcept;

 private:
  std::vector<std::string> Names_;
};

// ------------------------------------------------------------ TFactTemplate

class TFactTemplate : public TCloneable {
 public:
  explicit TFactTemplate(TComponent* Owner = nullptr);
  // Stores the name unchecked.
  TFactTemplate(TComponent* Owner, const std::string& Name);
  // Copies Parent (slots, flags and all), then takes Name and Comment;
  // Parent is recorded as the parent only when it has the same owner.
  TFactTemplate(TComponent* Owner, const std::string& Name, const std::string& Comment,
                const IFactTemplate& Parent);
  ~TFactTemplate() override;
  TFactTemplate(const TFactTemplate&) = delete;
  TFactTemplate& operator=(const TFactTemplate&) = delete;

  const TKbName& GetTemplateName() const noexcept { return TemplateName_; }
  // Refuses bad characters (SUnexpectedCharacters); an owning engine moves
  // the template to the new name first (ChangeFactTemplateName).
  virtual void SetTemplateName(const std::string& Value);
  const std::string& GetComment() const noexcept { return Comment_; }
  virtual void SetComment(const std::string& Value) { Comment_ = Value; }
  const IFactTemplate& GetParent() const noexcept { return Parent_; }
  // Refuses a parent that is this template or extends it
  // (SCyclicParentTemplate): a cycle of parents could never be freed.
  virtual void SetParent(const IFactTemplate& Value);
  bool IsBackwardChaining() const noexcept { return BackwardChaining_; }
  virtual void SetBackwardChaining(bool Value) { BackwardChaining_ = Value; }
  // Fewer than two slots, one of them named "__Data".
  bool IsOrdered() const noexcept { return Ordered_; }
  TComponent* GetOwner() const noexcept { return Owner_; }
  // The owner when it is an engine, else nil.
  TFactCatalog* GetEngine() const noexcept { return Engine_; }

  // Slots, in declared order.
  int GetSlotCount() const noexcept { return static_cast<int>(Slots_.size()); }
  // REQUIRES: 0 <= Index < GetSlotCount().
  TFactSlot* GetSlotAt(int Index) const noexcept {
    return Slots_[static_cast<size_t>(Index)].get();
  }
  const std::vector<IFactSlot>& GetSlots() const noexcept { return Slots_; }
  std::vector<std::string> GetSlotNames() const;
  // The index of the slot of that name, or -1.
  int IndexOfSlot(std::string_view Name) const;
  // The slot of that name, or nil.
  TFactSlot* FindSlot(std::string_view Name) const;
  // The slot of that name; EKbException SInvalidSlotName when missing.
  IFactSlot GetSlot(std::string_view Name) const;
  bool ContainsSlot(std::string_view Name) const { return IndexOfSlot(Name) >= 0; }

  // A single-field slot: a new one, or a new default for an existing one.
  virtual IFactSlot AddSlot(const std::string& Name, const IKbValue& Default);
  // A multislot (the default must be a list): new, or a new default.
  virtual IFactSlot AddMultiSlot(const std::string& Name, const IKbValue& Default);
  // A new slot of this template copied from Slot (Slot itself is not kept).
  virtual IFactSlot AddSlot(const IFactSlot& Slot);
  // Replaces the slot of that name (SNoIndexNameMatch when Slot has another
  // name). A slot of another template is copied in, so that every slot's
  // index belongs to one template.
  virtual void SetSlot(const std::string& Name, const IFactSlot& Slot);
  // EKbException SInvalidSlotName when there is no such slot.
  virtual void RemoveSlot(std::string_view Name);
  virtual void ClearSlots();

  // Hooks the slots call on every change.
  virtual void NewSlotName(TFactSlot* Slot, const std::string& Name);
  virtual void NewSlotDefault(TFactSlot* Slot, IKbValue& Value);
  virtual void NewSlotType(TFactSlot* Slot, TKbTypes Types);
  virtual std::string SlotToString(const TFactSlot* Slot) const;

  // A new fact of this template filled with its defaults.
  virtual IFact NewFact();
  // Sets every slot of Fact to a clone of its default. Fact must be of this
  // very template (SNoTemplate, SFactTemplatesDifferent).
  virtual void FillFactWithDefaults(const IFact& Fact);

  int32_t GetTag() const override { return Tag_; }
  void SetTag(int32_t Value) override { Tag_ = Value; }
  // Same name and ordered flag, and every slot of this template has an
  // equal slot in Other (Other's extra slots are not looked at).
  bool Equals(const TCloneable* Other) const override;
  using TCloneable::Equals;
  // Rebuilds the slots as copies of Source's slots.
  virtual void AssignSlots(const IFactTemplate& Source);
  // From any template: flags, comment, name (stored directly), parent,
  // slots, ordered flag and tag.
  void Assign(const ICloneable& Source) override;
  // From a TFactTemplate: as above, but the name goes through
  // SetTemplateName and a parent of another owner is dropped.
  void Assign(const TPersistent* Source) override;
  // A copy with the same owner and name.
  ICloneable Clone() const override;
  IFactTemplate CloneTemplate() const { return CloneTemplate(Owner_); }
  IFactTemplate CloneTemplate(TComponent* Owner) const;

  std::string GetToString() const override;
  // "(deftemplate name "comment" ...slots...)"; see the pretty printer.
  std::string GetDefaultText() const;

  // The current slot layout (created on demand). Internal to facts.
  TSlotLayout* GetLayout() const;
  TSlotLayout* LayoutPtr() const noexcept { return Layout_.get(); }
  // A number of this template object, fixed for its life: the seed of its
  // facts' hash codes (facts of different templates are never equal).
  uint32_t GetHashSeed() const noexcept { return HashSeed_; }
  // Called by the owning engine as it goes: the template stands alone.
  void DetachOwner() noexcept;

 private:
  void Init(TComponent* Owner);
  void Reindex(const TFactSlot* Renamed = nullptr, std::string_view NewName = {});
  void RecomputeOrdered();
  void RemoveSlotAt(int Index);
  void CopySlotsFrom(const TFactTemplate& Source);
  void CheckParent(const IFactTemplate& Value) const;

  bool BackwardChaining_ = false;
  IFactTemplate Parent_;
  std::string Comment_;
  std::vector<IFactSlot> Slots_;
  std::unordered_map<std::string, int, TStringHash, std::equal_to<>> Index_;
  TKbName TemplateName_;
  bool Ordered_ = false;
  TComponent* Owner_ = nullptr;
  TFactCatalog* Engine_ = nullptr;
  int32_t Tag_ = 0;
  mutable TRef<TSlotLayout> Layout_;
  const uint32_t HashSeed_;
};

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
  // The engine's dynamic type check of Value for slot Index of Template.
  static void CheckType(const TFactTemplate& Template, int Index, const IKbValue& Value);
  void RequireTemplate() const;
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

// ------------------------------------------------------------ fact sets

// The facts of a fact set: entry i is the CLIPS text of fact i, with the
// parsed fact cached beside it (nil until parsed).
class TFactSetFacts {
 public:
  explicit TFactSetFacts(TFactSet* FactSet) : FactSet_(FactSet) {}
  TFactSetFacts(const TFactSetFacts&) = delete;
  TFactSetFacts& operator=(const TFactSetFacts&) = delete;

  int Count() const noexcept { return static_cast<int>(Items_.size()); }
  const std::string& GetText(int Index) const;
  // Appends the fact's text with the fact; returns the index.
  int AddFact(const IFact& Fact);
  // The cached fact, parsed through the engine on first use.
  IFact GetFact(int Index);
  void SetFact(int Index, const IFact& Fact);
  int IndexOf(const IFact& Fact) const;
  // Deletes the entry of that fact; returns its index or -1.
  int Remove(const IFact& Fact);
  void Delete(int Index);
  void Clear() { Items_.clear(); }
  // The texts, one per entry.
  std::vector<std::string> GetStrings() const;
  // Replaces the entries with Texts, parsing each through the engine.
  void SetStrings(const std::vector<std::string>& Texts);
  // Clears Dest and adds every entry's fact in order.
  void AssignTo(TIList<TFact>& Dest);
  // Parses every entry's text again through the engine.
  void Reparse();
  // Drops the parsed facts of that template: they are parsed again from
  // their text when next asked for (the template was defined again).
  void ForgetFactsOf(const TFactTemplate* Template);

 private:
  struct TEntry {
    std::string Text;
    IFact Fact;
  };
  void CheckIndex(int Index) const;
  TFactSet* FactSet_;
  std::vector<TEntry> Items_;
};

class TFactSet : public TComponent {
 public:
  // Owned by Owner; when Owner is an engine, the set joins its fact sets.
  explicit TFactSet(TComponent* AOwner);
  ~TFactSet() override;

  const std::string& GetComment() const noexcept { return Comment_; }
  void SetComment(const std::string& Value) { Comment_ = Value; }
  const TKbName& GetFactSetName() const noexcept { return FactSetName_; }
  void SetFactSetName(const std::string& Value) { FactSetName_ = Value; }
  TFactCatalog* GetEngine() const noexcept { return Engine_; }
  // Leaves the old engine's fact sets, joins the new one's and parses
  // every fact text again through it.
  virtual void SetEngine(TFactCatalog* Value);
  TFactSetFacts& GetFacts() noexcept { return Facts_; }
  const TFactSetFacts& GetFacts() const noexcept { return Facts_; }
  // The texts of the facts; setting replaces them and parses each.
  std::vector<std::string> GetFactStrings() const { return Facts_.GetStrings(); }
  void SetFacts(const std::vector<std::string>& Texts) { Facts_.SetStrings(Texts); }
  virtual int AddFact(const IFact& Fact) { return Facts_.AddFact(Fact); }
  // Asserts a clone of each fact into the engine, in order (defined with
  // the engine's fact base).
  virtual void Reset();

  // From a TFactSet: comment, name and clones of its facts.
  void Assign(const TPersistent* Source) override;
  // A new fact set of Owner assigned from this one.
  TFactSet* Clone(TComponent* Owner) const;
  virtual std::string GetToString();
  // "(deffacts name "comment" ...facts...)".
  std::string GetDefaultText();

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  std::string Comment_;
  TFactCatalog* Engine_ = nullptr;
  TKbName FactSetName_ = "FactSet";
  TFactSetFacts Facts_{this};
};

}  // namespace kb
