// Working memory: fact templates and their slots. Facts are declared in
// memory/KbFactsFact.h, fact sets in memory/KbFactsSets.h.
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

}  // namespace kb
