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

// A persistent object shared by counted references (see TRefCounted; the
// count lives here so that the object carries a single vtable pointer).
class TInterfacedPersistent : public TPersistent {
 public:
  TInterfacedPersistent() noexcept = default;
  TInterfacedPersistent(const TInterfacedPersistent&) noexcept : TPersistent() {}
  TInterfacedPersistent& operator=(const TInterfacedPersistent&) noexcept { return *this; }

  void AddRef() const noexcept { RefCount_.fetch_add(1, std::memory_order_relaxed); }
  void Release() const noexcept {
    if (RefCount_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  int32_t GetRefCount() const noexcept { return RefCount_.load(std::memory_order_relaxed); }

 private:
  mutable std::atomic<int32_t> RefCount_{0};
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
