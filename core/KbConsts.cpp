#include "core/KbConsts.h"

namespace kb {

int TEnumInfo::Find(std::string_view Name) const {
  for (int i = 0; i < Count; ++i)
    if (Name == Names[i]) return i;
  return -1;
}

int TEnumInfo::ValueOf(std::string_view Name) const {
  const int ordinal = Find(Name);
  if (ordinal < 0) throw EConvertError(Format(SUnknownEnumName, Name, TypeName));
  return ordinal;
}

const char* TEnumInfo::NameOf(int Ordinal) const {
  return Ordinal >= 0 && Ordinal < Count ? Names[Ordinal] : "";
}

namespace {

constexpr TEnumName<TKbType> KbTypes[] = {
    KB_ENUM_NAME(dtNone),         KB_ENUM_NAME(dtAtom),
    KB_ENUM_NAME(dtString),       KB_ENUM_NAME(dtInteger),
    KB_ENUM_NAME(dtVariable),     KB_ENUM_NAME(dtFactId),
    KB_ENUM_NAME(dtFloat),        KB_ENUM_NAME(dtFunCall),
    KB_ENUM_NAME(dtFact),         KB_ENUM_NAME(dtList),
    KB_ENUM_NAME(dtDescriptor),   KB_ENUM_NAME(dtObject),
    KB_ENUM_NAME(dtClass),        KB_ENUM_NAME(dtExternalAddress),
    KB_ENUM_NAME(dtIntArray),     KB_ENUM_NAME(dtStringArray),
    KB_ENUM_NAME(dtVariantArray), KB_ENUM_NAME(dtMultiVariable),
    KB_ENUM_NAME(dtSlot),         KB_ENUM_NAME(dtMultiSlot)};
constexpr TEnumName<TSearchStrategy> SearchStrategies[] = {KB_ENUM_NAME(ssDepthFirst),
                                                           KB_ENUM_NAME(ssBreadthFirst)};
constexpr TEnumName<TSalience> Saliences[] = {KB_ENUM_NAME(sActivate), KB_ENUM_NAME(sEveryTime)};
constexpr TEnumName<TErrorHandling> ErrorHandlings[] = {KB_ENUM_NAME(ehRaiseImmediate),
                                                        KB_ENUM_NAME(ehRaiseAllAtEnd)};
constexpr TEnumName<TDuplicateConstructs> DuplicateConstructs[] = {
    KB_ENUM_NAME(dcOverwrite), KB_ENUM_NAME(dcIgnore), KB_ENUM_NAME(dcError)};
constexpr TEnumName<TTokenAction> TokenActions[] = {KB_ENUM_NAME(taClear), KB_ENUM_NAME(taAdd),
                                                    KB_ENUM_NAME(taRemove), KB_ENUM_NAME(taUpdate)};
constexpr TEnumName<TTypeCheck> TypeChecks[] = {KB_ENUM_NAME(tcStatic), KB_ENUM_NAME(tcDynamic)};
constexpr TEnumName<TConstructWatch> ConstructWatches[] = {
    KB_ENUM_NAME(cwActivation), KB_ENUM_NAME(cwFact), KB_ENUM_NAME(cwRule),
    KB_ENUM_NAME(cwCompilation), KB_ENUM_NAME(cwStatistics)};
constexpr TEnumName<TTemplateSlotType> TemplateSlotTypes[] = {KB_ENUM_NAME(tstSlot),
                                                              KB_ENUM_NAME(tstMultiSlot)};
constexpr TEnumName<TMsgDlgType> MsgDlgTypes[] = {
    KB_ENUM_NAME(mtWarning), KB_ENUM_NAME(mtError), KB_ENUM_NAME(mtInformation),
    KB_ENUM_NAME(mtConfirmation), KB_ENUM_NAME(mtCustom)};
constexpr TEnumName<TMsgDlgBtn> MsgDlgBtns[] = {
    KB_ENUM_NAME(mbYes),      KB_ENUM_NAME(mbNo),    KB_ENUM_NAME(mbOK),
    KB_ENUM_NAME(mbCancel),   KB_ENUM_NAME(mbAbort), KB_ENUM_NAME(mbRetry),
    KB_ENUM_NAME(mbIgnore),   KB_ENUM_NAME(mbAll),   KB_ENUM_NAME(mbNoToAll),
    KB_ENUM_NAME(mbYesToAll), KB_ENUM_NAME(mbHelp)};
static_assert(std::size(KbTypes) == KbTypeCount);
static_assert(std::size(MsgDlgTypes) == mtCustom + 1);
static_assert(std::size(MsgDlgBtns) == mbHelp + 1);

}  // namespace

KB_DEFINE_ENUM_INFO(TKbType, KbTypes)
KB_DEFINE_ENUM_INFO(TSearchStrategy, SearchStrategies)
KB_DEFINE_ENUM_INFO(TSalience, Saliences)
KB_DEFINE_ENUM_INFO(TErrorHandling, ErrorHandlings)
KB_DEFINE_ENUM_INFO(TDuplicateConstructs, DuplicateConstructs)
KB_DEFINE_ENUM_INFO(TTokenAction, TokenActions)
KB_DEFINE_ENUM_INFO(TTypeCheck, TypeChecks)
KB_DEFINE_ENUM_INFO(TConstructWatch, ConstructWatches)
KB_DEFINE_ENUM_INFO(TTemplateSlotType, TemplateSlotTypes)
KB_DEFINE_ENUM_INFO(TMsgDlgType, MsgDlgTypes)
KB_DEFINE_ENUM_INFO(TMsgDlgBtn, MsgDlgBtns)

}  // namespace kb
