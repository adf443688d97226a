// The default function packages of an engine, in one table: the order in
// which an engine creates them (TDeducer::AddDefaultPackages), the names
// of TFunctionPackage's values (the Packages property) and the package
// classes that a file never carries (they come with the engine). A table
// that leaves out a value of TFunctionPackage, or lists one twice, does
// not compile.
#pragma once

#include <array>
#include <cstddef>
#include <iterator>

#include "engine/Deducer.h"

namespace kb {

struct TDefaultPackage {
  TFunctionPackage Package;
  const char* Name;       // the value's name, as the Packages property writes it
  const char* ClassName;  // the registered package class that implements it
};

// In creation order.
inline constexpr TDefaultPackage DefaultPackages[] = {
    {pStandard, "pStandard", "TStandardPackage"},
    {pMiscellaneous, "pMiscellaneous", "TMiscPackage"},
    {pPredicate, "pPredicate", "TPredicatePackage"},
    {pMath, "pMath", "TMathPackage"},
    {pString, "pString", "TStringPackage"},
    {pObject, "pObject", "TObjectPackage"},
    {pTrigonometry, "pTrigonometry", "TTrigonometryPackage"},
    {pBusiness, "pBusiness", "TBusinessPackage"},
};
inline constexpr size_t DefaultPackageCount = std::size(DefaultPackages);

// The names of TFunctionPackage's values by ordinal, from the table:
// evaluated as a constant, it fails on an ordinal out of range or listed
// twice (and so, with as many rows as names, on one left out).
constexpr std::array<const char*, DefaultPackageCount> PackageNamesByOrdinal() {
  std::array<const char*, DefaultPackageCount> names{};
  for (const TDefaultPackage& p : DefaultPackages) {
    const size_t i = p.Package;
    if (i >= names.size() || names[i]) throw "a package is out of range or listed twice";
    names[i] = p.Name;
  }
  return names;
}
inline constexpr std::array<const char*, DefaultPackageCount> PackageNames =
    PackageNamesByOrdinal();

// Every package the table lists, as a set.
constexpr TFunctionPackages TablePackages() {
  TFunctionPackages r;
  for (const TDefaultPackage& p : DefaultPackages) r.Include(p.Package);
  return r;
}
static_assert(TablePackages().ToInt() == AllFunctionPackages.ToInt(),
              "DefaultPackages lists exactly the values of AllFunctionPackages");

}  // namespace kb
