// Enumerations, sets, typed constants, event types, the engine's exception
// and the message table shared by every part of the library.
//
// The enumerations keep their ordinals (they are stored in saved knowledge
// bases and printed by name); each has a name table in EnumInfo<E>() that
// SetToString, StringToSet and error messages read. Messages are printf-style
// texts filled by Format (framework/SysUtils.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/KbInterfaces.h"
#include "framework/Classes.h"
#include "framework/SysUtils.h"
#include "framework/Variant.h"

namespace kb {

// The type tag of a value and of a slot's allowed types (names in
// KbConsts.cpp, checked against the values when it compiles).
enum TKbType : uint8_t {
  dtNone,             // no value
  dtAtom,             // a symbol
  dtString,           // a quoted string (held without its quotes)
  dtInteger,          // 32-bit signed integer
  dtVariable,         // single-field variable ?x (held without the ?)
  dtFactId,           // a fact identifier <Fact-n>
  dtFloat,            // 64-bit float
  dtFunCall,          // a function call, evaluated when resolved
  dtFact,             // a fact
  dtList,             // a multifield (value vector)
  dtDescriptor,       // an integer descriptor
  dtObject,           // a host object reference, possibly nil
  dtClass,            // a host class reference
  dtExternalAddress,  // an untyped host address
  dtIntArray,         // an array of integers
  dtStringArray,      // an array of strings
  dtVariantArray,     // an array of variants; also a slot reference
  dtMultiVariable,    // multifield variable $?x (held without the $?)
  dtSlot,             // a slot name
  dtMultiSlot,        // a multislot name
};
constexpr int KbTypeCount = 20;

enum TSearchStrategy : uint8_t { ssDepthFirst, ssBreadthFirst };
// When a rule's salience is evaluated: at activation, or every time.
enum TSalience : uint8_t { sActivate, sEveryTime };
// Parser error policy: raise at the first error, or collect and raise once.
enum TErrorHandling : uint8_t { ehRaiseImmediate, ehRaiseAllAtEnd };
// What defining a construct whose name exists does.
enum TDuplicateConstructs : uint8_t { dcOverwrite, dcIgnore, dcError };
// What a Rete token does to the network.
enum TTokenAction : uint8_t { taClear, taAdd, taRemove, taUpdate };
enum TTypeCheck : uint8_t { tcStatic, tcDynamic };
// What the engine traces through its print-out.
enum TConstructWatch : uint8_t { cwActivation, cwFact, cwRule, cwCompilation, cwStatistics };
// Single-field slot or multislot.
enum TTemplateSlotType : uint8_t { tstSlot, tstMultiSlot };
// The kind of a message dialog (its icon and title), and its buttons
// (core/KbDialogs.h).
enum TMsgDlgType : uint8_t { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn : uint8_t {
  mbYes,
  mbNo,
  mbOK,
  mbCancel,
  mbAbort,
  mbRetry,
  mbIgnore,
  mbAll,
  mbNoToAll,
  mbYesToAll,
  mbHelp,
};

// One value of an enumeration with its name. KB_ENUM_NAME(dtAtom) writes
// {dtAtom, "dtAtom"}: a table of these is the one place an enumeration's
// names are written, and EnumNames checks at compile time that it lists
// the values in order.
template <class E>
struct TEnumName {
  E Value;
  const char* Name;
};
#define KB_ENUM_NAME(Value) \
  { Value, #Value }

// The names of a table of TEnumName, by ordinal. Evaluated as a constant
// (constexpr auto Names = EnumNames(Table)), a table whose values are not
// 0, 1, 2, ... in order does not compile.
template <class E, size_t N>
constexpr std::array<const char*, N> EnumNames(const TEnumName<E> (&Table)[N]) {
  std::array<const char*, N> names{};
  for (size_t i = 0; i < N; ++i) {
    if (static_cast<size_t>(Table[i].Value) != i) throw "enumeration names out of order";
    names[i] = Table[i].Name;
  }
  return names;
}

// The value names of an enumeration, by ordinal.
struct TEnumInfo {
  const char* TypeName;
  const char* const* Names;
  int Count;
  // The ordinal named Name; EConvertError SUnknownEnumName when no value
  // has that name.
  int ValueOf(std::string_view Name) const;
  // The ordinal named Name, or -1 (for callers that report it themselves).
  int Find(std::string_view Name) const;
  // The name of Ordinal; "" for an ordinal out of range.
  const char* NameOf(int Ordinal) const;
};

template <class E>
const TEnumInfo& EnumInfo();
// Defines EnumInfo<Type>() over a table of TEnumName<Type> (in a .cpp file,
// inside namespace kb).
#define KB_DEFINE_ENUM_INFO(Type, Table)                                              \
  template <>                                                                         \
  const TEnumInfo& EnumInfo<Type>() {                                                 \
    static constexpr auto names = EnumNames(Table);                                   \
    static const TEnumInfo info{#Type, names.data(), static_cast<int>(names.size())}; \
    return info;                                                                      \
  }
template <>
const TEnumInfo& EnumInfo<TKbType>();
template <>
const TEnumInfo& EnumInfo<TSearchStrategy>();
template <>
const TEnumInfo& EnumInfo<TSalience>();
template <>
const TEnumInfo& EnumInfo<TErrorHandling>();
template <>
const TEnumInfo& EnumInfo<TDuplicateConstructs>();
template <>
const TEnumInfo& EnumInfo<TTokenAction>();
template <>
const TEnumInfo& EnumInfo<TTypeCheck>();
template <>
const TEnumInfo& EnumInfo<TConstructWatch>();
template <>
const TEnumInfo& EnumInfo<TTemplateSlotType>();
template <>
const TEnumInfo& EnumInfo<TMsgDlgType>();
template <>
const TEnumInfo& EnumInfo<TMsgDlgBtn>();

template <class E>
const char* EnumName(E Value) {
  return EnumInfo<E>().NameOf(static_cast<int>(Value));
}

// A set of up to 32 enumeration values, one bit per ordinal.
template <class E>
class TEnumSet {
 public:
  constexpr TEnumSet() = default;
  constexpr TEnumSet(std::initializer_list<E> Values) {
    for (E e : Values) Bits_ |= Bit(e);
  }
  static constexpr TEnumSet FromInt(uint32_t Bits) {
    TEnumSet s;
    s.Bits_ = Bits;
    return s;
  }
  constexpr uint32_t ToInt() const { return Bits_; }
  constexpr bool Contains(E e) const { return (Bits_ & Bit(e)) != 0; }
  constexpr bool IsEmpty() const { return Bits_ == 0; }
  constexpr TEnumSet& Include(E e) {
    Bits_ |= Bit(e);
    return *this;
  }
  constexpr TEnumSet& Exclude(E e) {
    Bits_ &= ~Bit(e);
    return *this;
  }
  constexpr TEnumSet operator|(TEnumSet o) const { return FromInt(Bits_ | o.Bits_); }
  constexpr TEnumSet operator&(TEnumSet o) const { return FromInt(Bits_ & o.Bits_); }
  constexpr TEnumSet operator-(TEnumSet o) const { return FromInt(Bits_ & ~o.Bits_); }
  constexpr bool operator==(const TEnumSet& o) const = default;
  // Whether every member of this set is in o.
  constexpr bool IsSubsetOf(TEnumSet o) const { return (Bits_ & ~o.Bits_) == 0; }

 private:
  static constexpr uint32_t Bit(E e) { return uint32_t{1} << static_cast<unsigned>(e); }
  uint32_t Bits_ = 0;
};

using TKbTypes = TEnumSet<TKbType>;
using TTypeChecks = TEnumSet<TTypeCheck>;
using TConstructWatches = TEnumSet<TConstructWatch>;
using TMsgDlgButtons = TEnumSet<TMsgDlgBtn>;

// The types whose value is text.
constexpr TKbTypes KbStringTypes{dtAtom,          dtString, dtVariable,
                                 dtMultiVariable, dtSlot,   dtMultiSlot};
constexpr TKbTypes KbNumericTypes{dtInteger, dtFloat};
// The types that can name a fact by its identifier.
constexpr TKbTypes KbFactTypes{dtInteger, dtFactId, dtFloat};
constexpr TKbTypes KbVariableTypes{dtVariable, dtMultiVariable};
// The type set of every multislot.
constexpr TKbTypes KbMultiSlotTypes{dtList, dtMultiSlot};
// Any single-field type: the default type set of a slot.
constexpr TKbTypes KbSlotTypes{dtAtom,       dtString, dtInteger, dtVariable,
                               dtFactId,     dtFloat,  dtFunCall, dtFact,
                               dtDescriptor, dtObject, dtClass,   dtExternalAddress};

// The fact index of a binding that holds its value directly.
constexpr int32_t LocalBindingIndex = -2;
// The slot index of such a binding: no slot of a fact.
constexpr int32_t NoSubIndex = -1;
constexpr const char* IndentString = "    ";
constexpr const char* NewLineString = "\r\n";

using TKbName = std::string;
using TIntegerArray = std::vector<int32_t>;
using TStringArray = std::vector<std::string>;

// Text written to a logical output stream, for the host.
using TPrintOutEvent =
    std::function<void(TPersistent* Sender, const std::string& OutID, const std::string& Text)>;
// A line of input wanted from the host; Text is filled in.
using TReadLineEvent =
    std::function<void(TPersistent* Sender, const std::string& InID, std::string& Text)>;
// Raised by the engine when a read function asks the host for a token.
using TReadTokenEvent =
    std::function<void(TPersistent* Sender, const std::string& InID, IStreamToken& Token)>;
// The number of rules fired, at the end of a run.
using TInferenceEvent = std::function<void(TPersistent* Sender, int32_t RulesFired)>;

// Every error the engine, the working memory and the functions detect.
class EKbException : public Exception {
 public:
  using Exception::Exception;
};

// Raises EKbException with a formatted message.
template <class... Args>
[[noreturn]] void KbError(std::string_view Fmt, const Args&... args) {
  throw EKbException(Format(Fmt, args...));
}

// The message table.
constexpr const char* SInvalidFileAccess = "Invalid File Access Specifier: \"%s\"";
constexpr const char* SNoContext = "No context found when trying to resolve a %s value";
constexpr const char* SMissingNumeric = "Expected numeric argument to %s function call";
// Integer arithmetic that has no integer result: a zero divisor, or a result
// outside the 32-bit range (never wrapped around silently).
constexpr const char* SDivisionByZero = "Division by zero in %s function call";
constexpr const char* SIntegerOverflow = "Integer overflow in %s function call";
// The payment timing of the financial functions (raised as EConvertError).
constexpr const char* SInvalidPaymentTime =
    "Invalid payment time: \"%s\", expected ptEndOfPeriod or ptStartOfPeriod";
// A package's table names a registered class that is no function class
// (raised as EClassNotFound).
constexpr const char* SNotAFunctionClass = "Class %s is not a function class";
// TEnumInfo::ValueOf: a name that no value of the enumeration has (raised
// as EConvertError).
constexpr const char* SUnknownEnumName = "%s is not a value of %s";
// The dialog functions: a dialog kind or button name that is not one
// (raised as EConvertError).
constexpr const char* SInvalidDialogType =
    "Invalid dialog type: \"%s\", expected mtWarning, mtError, mtInformation, mtConfirmation "
    "or mtCustom";
constexpr const char* SInvalidDialogButton =
    "Invalid dialog button: \"%s\", expected mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, "
    "mbIgnore, mbAll, mbNoToAll, mbYesToAll or mbHelp";
constexpr const char* SMissingComponent = "Expected component argument to %s function call";
// The object package: objects reached through values.
constexpr const char* SObjectFreed = "The object (a %s) given to %s was freed";
constexpr const char* SInvalidPropertyType = "Invalid property type: %s of class %s is of kind %s";
constexpr const char* SNotCreatable = "Class %s cannot be created by %s";
constexpr const char* SNotComponentClass = "Class %s is not a component class (%s)";
constexpr const char* SNotControl = "A parent is only for controls: %s is not a control (%s)";
constexpr const char* SFreeNeeded = "Cannot free the %s %s: the engine needs it (%s)";
constexpr const char* SFreeNotOwned =
    "Cannot free a %s in %s: only components and objects made by create-object can be freed";
constexpr const char* SPropertyValue = "Cannot set property %s of class %s: %s";
constexpr const char* SMissingOpenParens = "Expected \"(\"";
constexpr const char* SMissingCloseParens = "Expected \")\"";
constexpr const char* SMissingCatchStatement = "Missing catch or finally statement for try block";
constexpr const char* SBadArgument = "Bad Argument: %s";
constexpr const char* SBadVariableName =
    "Bad Variable Name, must start and end with an asterisk: %s";
constexpr const char* SBadSlotName = "Bad Slot Name: %s";
constexpr const char* SNoIndexNameMatch = "Index does not match fact slot name: %s and %s";
constexpr const char* SBadSlotValue = "Bad Slot Value: %s";
constexpr const char* SUnsupportedElement = "the %s conditional element is not supported";
constexpr const char* SBadSlotType = "Bad Slot Type";
constexpr const char* SBadValue = "Bad Value for %s";
constexpr const char* SCannotWatch = "Cannot watch %s";
constexpr const char* SCannotUnWatch = "Cannot unwatch %s";
constexpr const char* SInvalidBackchainPattern =
    "Invalid backward chaining pattern added to the node";
constexpr const char* SInvalidSlotDefault = "Invalid default slot value: %s";
constexpr const char* SInvalidDefaultMultislotValue =
    "Invalid default value for a multislot, must be a multifield: %s";
constexpr const char* SInvalidMultiSlotType = "no types are allowed for multislots";
constexpr const char* SInvalidExistingSlotChange =
    "Invalid value for existing slot, slot is not multislot";
constexpr const char* SInvalidExistingMultiSlotChange =
    "Invalid value for existing slot, multislot is not slot";
constexpr const char* SInvalidSlotQualifier = "Invalid slot qualifier: %s";
constexpr const char* SInvalidTestBinding = "\"not\" and \"test\" CEs cannot be bound to variables";
constexpr const char* SInvalidRuleFmt = "Invalid Rule Format (%s): %s";
constexpr const char* SInvalidSubstrParameters = "Invalid substring parameters: %d, %d";
constexpr const char* SInvalidMFParameters = "Invalid multifield begin and end parameters: %d, %d";
// A rejected name and the first character in it that is not allowed.
constexpr const char* SUnexpectedCharacters =
    "Name \"%s\" contains an unexpected character: \"%c\"";
// Saving refuses what its text would not read back as: the kind and the
// name of the construct (or fact), and why.
constexpr const char* SCannotSave = "Cannot save the %s %s: %s";
constexpr const char* SUnwritableValue = "%s has no text that reads back as the same value";
constexpr const char* SSlotNotOfTypes = "slot %s holds %s, which is not a %s";
constexpr const char* SSlotHoldsMultifield = "slot %s is not a multislot but holds %s";
constexpr const char* SParentChanged =
    "it extends %s, which has been defined again since with other slots";
constexpr const char* SStaleTemplate =
    "it was made on the fact template %s as that was before it was defined again";
// A name that would read back as something else: a number, or nothing.
constexpr const char* SNameNotSymbol = "Name \"%s\" is not a symbol";
constexpr const char* SExpectedEqGT = "Expected \"=>\"";
constexpr const char* SExpectedAtom = "Expected \"( <atom>\"";
constexpr const char* SExpectedValue = "Expected value missing";
constexpr const char* SExpectedChar = "Expected \"%s\"";
constexpr const char* SNotMultiSlot = "Slot \"%s\" is not a multislot";
constexpr const char* SExpectedAssignment = "Expected \"<-\"";
constexpr const char* SExpectedIntVarFun =
    "Expected integer, variable, or function call for salience";
constexpr const char* SExpectedSalience = "Expected \"salience\"";
constexpr const char* SExpectedExtends = "Expected \"(\" or \"extends\"";
constexpr const char* SExpectedDeffacts = "Expected \"( deffacts\"";
constexpr const char* SExpectedDefTemplate = "Expected \"( deftemplate\"";
constexpr const char* SExpectedDefRule = "Expected \"( defrule\"";
constexpr const char* SExpectedDefFunction = "Expected \"( deffunction\"";
constexpr const char* SExpectedDefGlobal = "Expected \"( defglobal\"";
constexpr const char* SNestedNotCEs = "Nested Not CEs not allowed yet";
constexpr const char* SNoSuchSlot = "No such slot in fact template: %s";
constexpr const char* SAtomNotEquals = "\"=\" cannot appear as an atom within a fact";
constexpr const char* SNotCorrectType = "Not a %s.  Value Type is %s";
constexpr const char* STooFewArgs = "Too few arguments for %s";
constexpr const char* STooManyArgs = "Too many arguments for %s";
constexpr const char* SCorruptedToken = "Corrupted Token, Negated Count is less than 0";
constexpr const char* SCorruptedVariable = "Corrupted Binding, variable not found: %s";
constexpr const char* SDuplicateFunctionNames = "Function Name already exists: \"%s\"";
constexpr const char* SDuplicateTemplateNames = "Fact Template Name already exists: \"%s\"";
constexpr const char* SDuplicateRuleNames = "Duplicate Rules defined with same name: \"%s\"";
constexpr const char* SInvalidFunctionAdd = "Cannot add nil to user functions";
constexpr const char* SInvalidPatternBinding = "Cannot bind a negated pattern to a variable";
constexpr const char* SInvalidAddObject = "Invalid object being added: \"%s\" instead of \"%s\"";
constexpr const char* SInvalidArgType = "Invalid argument type for deffunction: \"%s\"";
constexpr const char* SInvalidSlotName = "No such slot name: \"%s\"";
constexpr const char* SInvalidSlotType = "Invalid slot type: %s";
constexpr const char* SInvalidCallType = "Invalid Call Type: %s";
constexpr const char* SInvalidTokenAction = "Invalid Token Action";
constexpr const char* SInvalidTokenHint = "Invalid Token hint for parsing token: %s";
constexpr const char* SInvalidStreamName = "Invalid stream name: %s";
constexpr const char* SInvalidPtr =
    "Invalid destruction of pointer reference, reference counting greater than 0";
constexpr const char* SUnknownName = "Unknown %s name: %s";
constexpr const char* SUnknownFactTemplate = "Unknown fact template: %s";
constexpr const char* SFactTemplatesDifferent =
    "Unable to assign slot values, fact templates are different: %s and %s";
constexpr const char* SFactInWorkingMemory =
    "Fact f-%d is in working memory: change it with modify, or change a copy";
constexpr const char* SMissingName = "Missing name";
constexpr const char* SMissingDeffactsName = "Missing Fact Set name";
constexpr const char* SMissingParentTemplateName = "Missing name of parent template to extend";
constexpr const char* SMissingThen = "Missing \"then\" in an IF statement";
constexpr const char* SMultifieldLengthMismatch =
    "Invalid multifield arguments, the two multifields must be of the same length";
constexpr const char* SNoSuchFact = "No Such Fact with ID=%s exists";
constexpr const char* SNoSuchFunction = "Function is unimplemented or unassigned: %s";
constexpr const char* SNoReadFunctionWarning =
    "The %s event has not been implemented or unassigned.\r\nWarning: Implementation of this "
    "function requires a blocking mechanism, \r\nsuch as ShowModal, or the use of threads";
constexpr const char* SNoTemplate = "Fact Template is missing";
constexpr const char* SNoRule = "Rule is missing: %s";
constexpr const char* SMissingRule = "Missing Rule cannot be edited";
constexpr const char* SSyntaxError = "Syntax Error: %s";
constexpr const char* SCannotChangeID = "Illegal Attempt to change Fact Id";
constexpr const char* SExpectedParenConstVar =
    "Unexpected symbol, expected a \"(\", constant, or global variable: %s";
constexpr const char* SUnknownEngine = "Unknown/Undefined Deducer";
constexpr const char* SMissingFactSet = "Empty fact set property";
constexpr const char* SUnknownVariable = "Unknown variable name: %s";
constexpr const char* SUnknownKbClassName = "Unknown class name: %s";
constexpr const char* SUnexpectedCharacter = "Unexpected character found: \"%s\"";
constexpr const char* SUnexpectedEOF = "Unexpected end of stream";
constexpr const char* SWrongFunctionName = "Function names do not match: %s and %s";
constexpr const char* SNegatedVariable = "First Use of Variable is negated, variable name is %s";
constexpr const char* SParseError = "Parsing Error, %s in %s at line %s: %s";
constexpr const char* SMultipleParseError = "Errors parsing stream:\r\n%s";
constexpr const char* SParseTypeError = "Unable to parse strings of %s at this time";
constexpr const char* SBackChainCE = "Cannot backchain on special CEs: %s";
constexpr const char* SBackChainFuncallPatterns =
    "Cannot use Function calls in backchained patterns: %s";
constexpr const char* SFunctionError = "%s error: %s";
constexpr const char* CommentFormat = "%s\r\n     syntax: (%s)";
// The public API (api/): a fact asked for by slots of an ordered template
// or by fields of a template with slots, a host value read as another
// type, an engine object used after it moved, and an engine value that
// has no host form going back, and a host function's argument counts that
// admit no call.
constexpr const char* SOrderedTemplate = "Fact template %s is ordered: its facts have no slots";
constexpr const char* STemplateHasSlots = "Fact template %s has slots: its facts are not ordered";
constexpr const char* SValueNotOfType = "Not %s value: the value is %s";
constexpr const char* SMovedEngine = "The engine was moved to another Engine object";
constexpr const char* SNoEngineForm =
    "A value of the engine's own (%s) cannot be passed back to it";
constexpr const char* SBadArgumentCounts =
    "Function %s cannot take at least %d and at most %d arguments";

// Reserved names and prefixes that the reader and the engine generate.
constexpr const char* SFactPrefix = "__factidx";
constexpr const char* SEqStarPrefix = "_eq_";
constexpr const char* SBackChainPrefix = "need-";
constexpr const char* SBlankMulti = "_blank_$";
constexpr const char* SBlankPrefix = "_blank_";
constexpr const char* SDefaultSlotName = "__Data";
constexpr const char* STestCE = "test";
constexpr const char* SLocalBinding = "__LOCAL";
constexpr const char* SPatternBinding = "__PATTERN";
constexpr const char* SInitialFactPattern = "Initial-Fact";
constexpr const char* SInitialFact = "(Initial-Fact)";
constexpr const char* SNullFact = "__NOT-OR-TEST-CE*";
constexpr const char* SMultiSlotVar = "$?__var";
constexpr const char* SSlotVar = "?__var";

}  // namespace kb
