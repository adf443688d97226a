#include "core/KbConsts.h"

namespace kb {

int TEnumInfo::ValueOf(std::string_view Name) const {
  for (int i = 0; i < Count; ++i)
    if (Name == Names[i]) return i;
  return -1;
}

const char* TEnumInfo::NameOf(int Ordinal) const {
  return Ordinal >= 0 && Ordinal < Count ? Names[Ordinal] : "";
}

namespace {
// Keep in sync with the enumerations in KbConsts.h.
constexpr const char* KbTypeNames[] = {"dtNone",         "dtAtom",
                                       "dtString",       "dtInteger",
                                       "dtVariable",     "dtFactId",
                                       "dtFloat",        "dtFunCall",
                                       "dtFact",         "dtList",
                                       "dtDescriptor",   "dtObject",
                                       "dtClass",        "dtExternalAddress",
                                       "dtIntArray",     "dtStringArray",
                                       "dtVariantArray", "dtMultiVariable",
                                       "dtSlot",         "dtMultiSlot"};
constexpr const char* SearchStrategyNames[] = {"ssDepthFirst", "ssBreadthFirst"};
constexpr const char* SalienceNames[] = {"sActivate", "sEveryTime"};
constexpr const char* ErrorHandlingNames[] = {"ehRaiseImmediate", "ehRaiseAllAtEnd"};
constexpr const char* DuplicateConstructsNames[] = {"dcOverwrite", "dcIgnore", "dcError"};
constexpr const char* TokenActionNames[] = {"taClear", "taAdd", "taRemove", "taUpdate"};
constexpr const char* TypeCheckNames[] = {"tcStatic", "tcDynamic"};
constexpr const char* ConstructWatchNames[] = {"cwActivation", "cwFact", "cwRule", "cwCompilation",
                                               "cwStatistics"};
constexpr const char* TemplateSlotTypeNames[] = {"tstSlot", "tstMultiSlot"};
constexpr const char* MsgDlgTypeNames[] = {"mtWarning", "mtError", "mtInformation",
                                           "mtConfirmation", "mtCustom"};
constexpr const char* MsgDlgBtnNames[] = {"mbYes",     "mbNo",       "mbOK",     "mbCancel",
                                          "mbAbort",   "mbRetry",    "mbIgnore", "mbAll",
                                          "mbNoToAll", "mbYesToAll", "mbHelp"};

template <size_t N>
constexpr TEnumInfo MakeInfo(const char* TypeName, const char* const (&Names)[N]) {
  return TEnumInfo{TypeName, Names, static_cast<int>(N)};
}
static_assert(std::size(KbTypeNames) == KbTypeCount);
static_assert(std::size(MsgDlgTypeNames) == mtCustom + 1);
static_assert(std::size(MsgDlgBtnNames) == mbHelp + 1);
}  // namespace

#define KB_ENUM_INFO(Type, Table)                         \
  template <>                                             \
  const TEnumInfo& EnumInfo<Type>() {                     \
    static const TEnumInfo info = MakeInfo(#Type, Table); \
    return info;                                          \
  }

KB_ENUM_INFO(TKbType, KbTypeNames)
KB_ENUM_INFO(TSearchStrategy, SearchStrategyNames)
KB_ENUM_INFO(TSalience, SalienceNames)
KB_ENUM_INFO(TErrorHandling, ErrorHandlingNames)
KB_ENUM_INFO(TDuplicateConstructs, DuplicateConstructsNames)
KB_ENUM_INFO(TTokenAction, TokenActionNames)
KB_ENUM_INFO(TTypeCheck, TypeCheckNames)
KB_ENUM_INFO(TConstructWatch, ConstructWatchNames)
KB_ENUM_INFO(TTemplateSlotType, TemplateSlotTypeNames)
KB_ENUM_INFO(TMsgDlgType, MsgDlgTypeNames)
KB_ENUM_INFO(TMsgDlgBtn, MsgDlgBtnNames)

#undef KB_ENUM_INFO

}  // namespace kb
