// The registry of an engine's callable functions.
#include "engine/DeducerFunctions.h"

#include "engine/Deducer.h"

namespace kb {

TUserFunctions::~TUserFunctions() { Clear(); }

void TUserFunctions::Add(const IUserFunction& Function) {
  Put(Function->GetFunctionName(), Function);
}

void TUserFunctions::Put(const std::string& Name, const IUserFunction& Function) {
  if (!Function) KbError(SInvalidFunctionAdd);
  if (Name != Function->GetFunctionName())
    KbError(SWrongFunctionName, Name, Function->GetFunctionName());
  if (const IUserFunction* stored = Table_.Find(Name)) {
    if (*stored == Function) return;
    switch (Engine_ ? Engine_->GetDuplicateConstructs() : dcOverwrite) {
      case dcError: KbError(SDuplicateFunctionNames, Name);
      case dcIgnore: return;
      case dcOverwrite: Remove(Name); break;
    }
  }
  Table_.Put(Name, Function);
  if (Engine_) Function->AddReasoner(Engine_);
}

IUserFunction TUserFunctions::Remove(std::string_view Name) {
  IUserFunction removed;
  if (!Table_.Remove(Name, &removed)) return removed;
  if (Engine_) {
    removed->DeleteReasoner(Engine_);
    // A deffunction that calls itself holds itself through its bound calls;
    // once out of the engine it lets go (calls bind again by name).
    if (auto* f = dynamic_cast<TInterpretedFunction*>(removed.get())) f->UnbindCalls();
  }
  return removed;
}

void TUserFunctions::Clear() {
  while (!Table_.IsEmpty()) Remove(std::string(Table_.At(Table_.Count() - 1).first));
}

IUserFunction TUserFunctions::Get(std::string_view Name) const {
  const IUserFunction* f = Table_.Find(Name);
  return f ? *f : IUserFunction();
}

std::vector<std::string> TUserFunctions::Names() const {
  std::vector<std::string> r;
  r.reserve(Table_.Count());
  for (const auto& e : Table_) r.push_back(e.first);
  return r;
}

std::string TUserFunctions::GetNamesToString() const {
  std::string r;
  for (const auto& e : Table_) {
    if (!r.empty()) r += NewLineString;
    r += e.first;
  }
  return r;
}

std::string TUserFunctions::GetToString() const {
  std::string r;
  for (const auto& e : Table_) {
    if (auto f = RefCast<TInterpretedFunction>(e.second)) {
      r += Engine_ ? Engine_->PrettyPrint(f) : f->GetFunctionName();
      r += NewLineString;
    }
  }
  return r;
}

}  // namespace kb
