// The registry of an engine's callable functions (TDeducer::UserFunctions).
// Copying one engine's functions into another is defined with the
// persistence (engine/DeducerPersistence.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/KbInterfaces.h"
#include "engine/DeducerPackages.h"
#include "framework/Classes.h"
#include "framework/Collections.h"

namespace kb {

class TDeducer;

// The registry of callable functions, by name.
class TUserFunctions : public TPersistent {
 public:
  explicit TUserFunctions(TDeducer* Engine) : Engine_(Engine) {}
  TUserFunctions(const TUserFunctions&) = delete;
  TUserFunctions& operator=(const TUserFunctions&) = delete;
  ~TUserFunctions() override;
  TDeducer* GetEngine() const { return Engine_; }

  void Add(const IUserFunction& Function);
  // Stores Function under Name. Name must be the function's own name
  // (SWrongFunctionName). A different function already stored under it is
  // handled by the engine's DuplicateConstructs policy.
  void Put(const std::string& Name, const IUserFunction& Function);
  void SetItem(const std::string& Name, const IUserFunction& Function) { Put(Name, Function); }
  // Removes the entry; returns the removed function (nil when none).
  IUserFunction Remove(std::string_view Name);
  void Clear();
  IUserFunction Get(std::string_view Name) const;
  IUserFunction GetItem(std::string_view Name) const { return Get(Name); }
  bool Contains(std::string_view Name) const { return Table_.Contains(Name); }
  size_t Count() const { return Table_.Count(); }
  std::vector<std::string> Names() const;
  // The names separated by line breaks.
  std::string GetNamesToString() const;
  // The definition text of every deffunction, each followed by a line break.
  std::string GetToString() const;
  const TStringMap<IUserFunction>& Entries() const { return Table_; }
  // Makes the deffunctions here those of Source: deffunctions Source lacks
  // go, Source's are parsed again by this engine. Source's other functions
  // (packages, host functions) are registered only under names that have
  // no function here, so this engine's own packages keep their names.
  void Assign(const TUserFunctions& Source);
  void Assign(const TPersistent* Source) override { AssignFrom(this, Source); }

 private:
  TDeducer* Engine_;
  TStringMap<IUserFunction> Table_;
};

}  // namespace kb
