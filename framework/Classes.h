// Persistent objects, components and string lists.
//
// TPersistent is the root of every object that can copy itself from another
// (Assign). TComponent adds an owner that frees it, a list of owned
// components, a name, and removal notification: a component that registered
// with FreeNotification is told through Notification(c, opRemove) before c
// goes away, so nobody keeps a dangling pointer to a freed component.
#pragma once

#include <atomic>
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "framework/Ref.h"
#include "framework/SysUtils.h"

namespace kb {

class TPersistent {
 public:
  virtual ~TPersistent() = default;
  // Copies Source into this object. The base asks Source to AssignTo this
  // object, which by default refuses with EConvertError.
  virtual void Assign(const TPersistent* Source);
  virtual std::string ClassName() const;

 protected:
  virtual void AssignTo(TPersistent* Dest) const;
  [[noreturn]] void AssignError(const TPersistent* Source) const;
};

// Assign(Source) of a collection: from a collection of the same class, the
// collection's own Assign; anything else is refused as by TPersistent.
template <class T>
void AssignFrom(T* Self, const TPersistent* Source) {
  if (const auto* s = dynamic_cast<const T*>(Source))
    Self->Assign(*s);
  else
    Self->TPersistent::Assign(Source);
}

// How the count of a TInterfacedPersistent changes. Fixed before the object
// is seen by a second thread, and never changed after.
enum class TRefSharing : uint8_t {
  Confined,  // used by one thread at a time (its engine's): plain arithmetic
  Shared,    // used by several threads at once by design: atomic arithmetic
  Pinned,    // a constant of the process: never counted, never freed
};

// A persistent object shared by counted references (see TRefCounted; the
// count lives here so that the object carries a single vtable pointer).
// Objects are confined unless their class says otherwise (CountShared) or
// they are made constants (Pin).
class TInterfacedPersistent : public TPersistent {
 public:
  TInterfacedPersistent() noexcept = default;
  // A copy is a new, confined object with a count of zero.
  TInterfacedPersistent(const TInterfacedPersistent&) noexcept : TPersistent() {}
  TInterfacedPersistent& operator=(const TInterfacedPersistent&) noexcept { return *this; }

  void AddRef() const noexcept {
    if (Sharing_ == TRefSharing::Confined) [[likely]]
      ++RefCount_;
    else if (Sharing_ == TRefSharing::Shared)
      std::atomic_ref<int32_t>(RefCount_).fetch_add(1, std::memory_order_relaxed);
  }
  void Release() const noexcept {
    if (Sharing_ == TRefSharing::Confined) [[likely]] {
      if (--RefCount_ == 0) delete this;
    } else if (Sharing_ == TRefSharing::Shared) {
      if (std::atomic_ref<int32_t>(RefCount_).fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete this;
    }
  }
  int32_t GetRefCount() const noexcept {
    return Sharing_ == TRefSharing::Shared
               ? std::atomic_ref<int32_t>(RefCount_).load(std::memory_order_relaxed)
               : RefCount_;
  }
  TRefSharing GetSharing() const noexcept { return Sharing_; }
  // Makes this object a constant of the process: references no longer
  // count and it is never freed, so any thread may copy them.
  // REQUIRES: no other thread has seen the object yet.
  void Pin() noexcept { Sharing_ = TRefSharing::Pinned; }

 protected:
  // For the constructors of classes whose objects several threads use at
  // once by design (function objects, which engines on several threads
  // may share through a package).
  void CountShared() noexcept { Sharing_ = TRefSharing::Shared; }

 private:
  static_assert(std::atomic_ref<int32_t>::required_alignment == alignof(int32_t));
  mutable int32_t RefCount_ = 0;
  TRefSharing Sharing_ = TRefSharing::Confined;
};

enum class TOperation : uint8_t { opInsert, opRemove };

enum TComponentStateFlag : uint8_t {
  csLoading = 1,
  csReading = 2,
  csWriting = 4,
  csDestroying = 8,
  csDesigning = 16,
  csLinked = 32,  // values refer to it through an object link (TObjectLink)
};

class TComponent : public TPersistent {
 public:
  // The owner, when given, takes the new component and frees it with itself.
  explicit TComponent(TComponent* AOwner = nullptr);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* GetOwner() const { return Owner_; }
  const std::string& GetName() const { return Name_; }
  virtual void SetName(const std::string& NewName) { Name_ = NewName; }
  uint8_t GetComponentState() const { return State_; }
  bool IsDesigning() const { return (State_ & csDesigning) != 0; }
  bool IsDestroying() const { return (State_ & csDestroying) != 0; }
  bool IsLoading() const { return (State_ & csLoading) != 0; }
  void SetLoading(bool Loading);

  int GetComponentCount() const { return static_cast<int>(Components_.size()); }
  TComponent* GetComponent(int Index) const { return Components_.at(static_cast<size_t>(Index)); }
  // The owned component of that name (case-insensitive), or nil. Unnamed
  // components are never found.
  TComponent* FindComponent(std::string_view Name) const;
  // Called once reading a component file has set this component's
  // properties and read every component of the file; the base clears the
  // loading state.
  virtual void Loaded();
  void InsertComponent(TComponent* C);
  void RemoveComponent(TComponent* C);

  // Both components tell each other when either goes away.
  void FreeNotification(TComponent* C);
  void RemoveFreeNotification(TComponent* C);

  // Called before construction completes by derived classes that need it,
  // and by the destructor chain start: marks the component as going away.
  void Destroying() { State_ |= csDestroying; }

  std::string ClassName() const override;

 protected:
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  // Derived destructors call this first so that others are told while the
  // derived part still exists.
  void BeginDestruction();
  friend class TObjectLink;

 private:
  void NotifyRemoval();

  TComponent* Owner_ = nullptr;
  std::string Name_;
  uint8_t State_ = 0;
  bool RemovalNotified_ = false;
  std::vector<TComponent*> Components_;
  std::vector<TComponent*> FreeNotifies_;
};

// A component with a parent: a control placed inside another control, as
// a host's user interface nests them. The parent does not own it (its
// owner does); a parent that goes leaves its controls without a parent.
class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner = nullptr) : TComponent(AOwner) {}
  ~TControl() override;
  TControl* GetParent() const { return Parent_; }
  // Refuses (EInvalidOperation) a parent that is this control or inside it.
  void SetParent(TControl* Value);
  int GetControlCount() const { return static_cast<int>(Controls_.size()); }
  TControl* GetControl(int Index) const { return Controls_.at(static_cast<size_t>(Index)); }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TControl* Parent_ = nullptr;
  std::vector<TControl*> Controls_;
};

// A weak, counted handle on an object. Values that refer to an object hold
// its link instead of its address; the object clears the link as it goes
// (components when they are freed, other objects through ForgetObject), so
// that nothing reaches an object freed since. A live object has one link,
// so two links are the same object exactly when they are the same link.
// Links count plainly: like the objects they stand for, they belong to
// one engine's thread.
class TObjectLink final : public TRefCounted {
 public:
  // The object's link, made on first use. REQUIRES: Object is live.
  static TObjectLink* Of(TPersistent* Object);
  // The link of a live object that has one, else nil; never makes one.
  static TObjectLink* Find(const TPersistent* Object);
  ~TObjectLink() override;
  // The object, or nil once it was freed.
  TPersistent* Get() const noexcept { return Object_; }
  // The class name the object had, kept for messages after it went.
  const std::string& GetClassName() const noexcept { return ClassName_; }

 private:
  TObjectLink() = default;
  friend void ForgetObject(const TPersistent* Object);
  TPersistent* Object_ = nullptr;
  std::string ClassName_;
};

// Clears the link of Object (it is being freed); nothing when it has none.
// Components call it themselves; the freer of any other object that values
// may refer to calls it before the object goes.
void ForgetObject(const TPersistent* Object);

// Finds the first component owned by Owner that is a T.
template <class T>
T* FindComponentOfType(const TComponent* Owner) {
  if (!Owner) return nullptr;
  for (int i = 0; i < Owner->GetComponentCount(); ++i)
    if (auto* c = dynamic_cast<T*>(Owner->GetComponent(i))) return c;
  return nullptr;
}

// An ordered list of strings, each with an optional non-owning object.
class TStringList : public TPersistent {
 public:
  int Count() const { return static_cast<int>(Items_.size()); }
  const std::string& Get(int Index) const;
  void Put(int Index, const std::string& S);
  void* GetObject(int Index) const;
  void PutObject(int Index, void* Obj);
  int Add(const std::string& S, void* Obj = nullptr);
  void Insert(int Index, const std::string& S, void* Obj = nullptr);
  void Delete(int Index);
  void Clear() { Items_.clear(); }
  int IndexOf(const std::string& S) const;
  // Sorted lists keep their strings in byte order; Add inserts in place.
  bool GetSorted() const { return Sorted_; }
  void SetSorted(bool Value);
  // All strings, each followed by CR LF. Setting splits on CR LF, LF or CR.
  std::string GetText() const;
  void SetText(const std::string& Text);
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;
  void Assign(const TPersistent* Source) override;

 private:
  struct Item {
    std::string S;
    void* Obj;
  };
  void CheckIndex(int Index) const;
  std::vector<Item> Items_;
  bool Sorted_ = false;
};

[[noreturn]] void ListIndexError(int Index);

// ------------------------------------------------------------- reflection
//
// A registered class publishes properties: each has a name, a kind and
// typed accessors, and a class inherits its parent's (found by name, so
// classes register in any order). The tables are declared next to each
// class with the helpers of framework/TypInfo.h; get and set them by name
// there.

enum class TPropKind : uint8_t {
  Integer,      // a whole number (GetOrd/SetOrd)
  Char,         // one character, as a string of one (GetStr/SetStr)
  String,       // text (GetStr/SetStr)
  Enumeration,  // an ordinal with value names; booleans are FALSE/TRUE
  Float,        // a number (GetFloat/SetFloat)
  Set,          // a set of ordinals, one bit each (GetOrd/SetOrd), with value names
  Class,        // an object reference (GetObj/SetObj)
  Method,       // an event: listed, but it has no value to read or write
};
const char* PropKindName(TPropKind Kind);

struct TPropInfo {
  std::string Name;
  TPropKind Kind = TPropKind::Integer;
  // Enumeration and Set: the value names, by ordinal.
  const char* const* Names = nullptr;
  int NameCount = 0;
  // Integer: the range the property holds.
  int64_t Min = INT64_MIN, Max = INT64_MAX;
  // Class: the registered class its objects belong to ("" for any).
  std::string ClassName;
  // Written to component files (when it differs from its default).
  bool Stored = true;
  // Class: the object is a part of its owner, made and freed with it. It
  // is never replaced (setting the property is refused) nor freed from
  // outside; component files write it inline, with its class, and read
  // into the object the owner holds.
  bool Owned = false;
  std::function<int64_t(const TPersistent*)> GetOrd;
  std::function<void(TPersistent*, int64_t)> SetOrd;
  std::function<double(const TPersistent*)> GetFloat;
  std::function<void(TPersistent*, double)> SetFloat;
  std::function<std::string(const TPersistent*)> GetStr;
  std::function<void(TPersistent*, const std::string&)> SetStr;
  std::function<TPersistent*(const TPersistent*)> GetObj;
  std::function<void(TPersistent*, TPersistent*)> SetObj;
  // Whether the object holds the declared default (then the property is
  // not written); nil when every value is written.
  std::function<bool(const TPersistent*)> IsDefault;
  bool IsReadOnly() const { return !SetOrd && !SetFloat && !SetStr && !SetObj; }
};

// Writes the data of a defined property: a flat list of items.
class TWriter {
 public:
  virtual ~TWriter() = default;
  virtual void WriteString(const std::string& S) = 0;
  virtual void WriteInteger(int64_t I) = 0;
};

// Reads the items of a defined property back, in order. Reading an item of
// another kind, or past the end, raises with the place named.
class TReader {
 public:
  virtual ~TReader() = default;
  virtual bool EndOfList() = 0;
  virtual std::string ReadString() = 0;
  virtual int64_t ReadInteger() = 0;
};

// What a class's DefineProperties sees: it defines each extra property
// (the lists a component file carries beside the published properties)
// with the code that reads and writes its data. Writing calls WriteData
// only when HasData; reading calls ReadData when the file holds the
// property.
class TFiler {
 public:
  virtual ~TFiler() = default;
  virtual void DefineProperty(const std::string& Name,
                              const std::function<void(TReader&)>& ReadData,
                              const std::function<void(TWriter&)>& WriteData, bool HasData) = 0;
};

// A class that can be found and created by name: what a class reference
// holds. Classes register once, when the library loads.
struct TPersistentClass {
  virtual ~TPersistentClass() = default;
  std::string Name;
  // Creates an instance, owned by Owner when the class is a component; nil
  // for a class that has no instances of its own.
  std::function<TPersistent*(TComponent* Owner)> Create;
  // The class it derives from ("" for a root), its C++ type, and whether
  // an object belongs to it (or to a class derived from it).
  std::string ParentName;
  const std::type_info* Type = nullptr;
  std::function<bool(const TPersistent*)> IsInstance;
  bool IsComponent = false;
  // The properties this class publishes itself, in order.
  std::vector<TPropInfo> Properties;
  // The extra properties this class defines (after its parent's).
  std::function<void(TPersistent*, TFiler&)> DefineProperties;

  const TPersistentClass* GetParent() const;
  // Whether this class is Base or derives from it.
  bool InheritsFrom(const TPersistentClass* Base) const;
};

void RegisterClass(const TPersistentClass* Class);
// The registered class of that name, or nil.
const TPersistentClass* GetClass(std::string_view Name);
// The registered class of that name; raises EClassNotFound when there is none.
const TPersistentClass* FindClass(std::string_view Name);
// The registered class of Object: of its own C++ type, else the most
// derived registered class it belongs to; nil when none.
const TPersistentClass* ClassOf(const TPersistent* Object);
// Every registered class, in no fixed order.
std::vector<const TPersistentClass*> RegisteredClasses();

class EClassNotFound : public Exception {
  using Exception::Exception;
};
// A property that does not exist, cannot be read or written, or a value
// of the wrong kind for it.
class EPropertyError : public Exception {
  using Exception::Exception;
};
// An operation the object's state does not allow.
class EInvalidOperation : public Exception {
  using Exception::Exception;
};

}  // namespace kb
