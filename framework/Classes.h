// Persistent objects, components and string lists.
//
// TPersistent is the root of every object that can copy itself from another
// (Assign). TComponent adds an owner that frees it, a list of owned
// components, a name, and removal notification: a component that registered
// with FreeNotification is told through Notification(c, opRemove) before c
// goes away, so nobody keeps a dangling pointer to a freed component.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
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

 private:
  void NotifyRemoval();

  TComponent* Owner_ = nullptr;
  std::string Name_;
  uint8_t State_ = 0;
  bool RemovalNotified_ = false;
  std::vector<TComponent*> Components_;
  std::vector<TComponent*> FreeNotifies_;
};

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

// A class that can be found and created by name: what a class reference
// holds. Classes register once, when the library loads.
struct TPersistentClass {
  virtual ~TPersistentClass() = default;
  std::string Name;
  // Creates an instance, owned by Owner when the class is a component.
  std::function<TPersistent*(TComponent* Owner)> Create;
};

void RegisterClass(const TPersistentClass* Class);
// The registered class of that name, or nil.
const TPersistentClass* GetClass(std::string_view Name);
// The registered class of that name; raises EClassNotFound when there is none.
const TPersistentClass* FindClass(std::string_view Name);

class EClassNotFound : public Exception {
  using Exception::Exception;
};

}  // namespace kb
