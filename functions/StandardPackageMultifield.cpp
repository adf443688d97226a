// The multifield (list) functions of the standard package: create$,
// delete$, explode$, first$, implode$, insert$, length$, member$, nth$,
// replace$, rest$, subseq$ and subsetp. The package's table in
// StandardPackage.cpp creates them by class name.
//
// Positions are zero-based and ranges inclusive at both ends. A function
// that builds a new list copies every item it takes over (resolved in the
// context, then cloned), so the result shares nothing with its arguments;
// first$ and nth$ return an item itself.

#include <algorithm>
#include <string_view>
#include <vector>

#include "functions/StandardPackage.h"

namespace kb {

namespace {

// An item resolved in the context and cloned; nil stays nil.
IKbValue CopyOf(const TArgs& Args, const IKbValue& Item) {
  IKbValue v = Args.Resolve(Item);
  return v ? v->CloneValue() : v;
}

// Equality of two resolved items, where either may be nil.
bool SameItem(const IKbValue& A, const IKbValue& B) {
  if (!A || !B) return !A && !B;
  return A->Equals(B);
}

// The inclusive range of delete$, replace$ and subseq$: arguments 1 and 2.
struct TRange {
  int32_t Start;
  int32_t End;
  bool Contains(int Index) const { return Index >= Start && Index <= End; }
};

TRange RangeArgs(const TArgs& Args) {
  const int32_t start = Args.Int32(1);
  const int32_t end = Args.Int32(2);
  if (start > end) KbError(SInvalidMFParameters, start, end);
  return {start, end};
}

// A new list of copies of the items of List for which Keep(position) holds.
template <class Pred>
IValueVector CopyItems(const TArgs& Args, const TValueVector& List, Pred Keep) {
  IValueVector result = NewVector();
  for (int i = 0; i < List.Count(); ++i)
    if (Keep(i)) result->Add(CopyOf(Args, List.Get(i)));
  return result;
}

// Every item of List resolved once, in order.
std::vector<IKbValue> ResolvedItems(const TArgs& Args, const TValueVector& List) {
  std::vector<IKbValue> items;
  items.reserve(static_cast<size_t>(List.Count()));
  for (const IKbValue& item : List) items.push_back(Args.Resolve(item));
  return items;
}

}  // namespace

KB_FUNCTION(TCreateMFFunction, "create$", 0, MaxArguments,
            "Creates and returns a multifield value (list) from the arguments",
            "create$ <expression>*") {
  IValueVector result = NewVector();
  result->Reserve(static_cast<size_t>(Args.Count()));
  for (int i = 0; i < Args.Count(); ++i) result->Add(Args.Value(i)->CloneValue());
  return NewList(result);
}

KB_FUNCTION(TDeleteMFFunction, "delete$", 3, 3,
            "Returns a new multifield value that is a clone of the <multifield-expression> where "
            "every item in the range specified by the <start-integer-expression> to "
            "<end-integer-expression> has been deleted.  Note that the first item in the "
            "multifield has an index of 0",
            "delete$ <multifield-expression> <start-integer-expression> <end-integer-expression>") {
  IValueVector list = Args.List(0);
  const TRange range = RangeArgs(Args);
  return NewList(CopyItems(Args, *list, [&](int i) { return !range.Contains(i); }));
}

KB_FUNCTION(TExplodeMFFunction, "explode$", 1, 1,
            "Creates a multifield value (list) where every item in the list is a seperate symbol "
            "from the <string-expression>",
            "explode$ <string-expression> ") {
  // Only the blank separates; every piece, numbers included, is a symbol.
  const std::string text = Trim(Args.Str(0));
  IValueVector result = NewVector();
  std::string_view rest(text);
  while (!rest.empty()) {
    const size_t blank = rest.find(' ');
    result->Add(NewAtom(rest.substr(0, blank)));
    if (blank == std::string_view::npos) break;
    rest.remove_prefix(blank);
    while (!rest.empty() && static_cast<unsigned char>(rest.front()) <= ' ') rest.remove_prefix(1);
  }
  return NewList(result);
}

KB_FUNCTION(TFirstMFFunction, "first$", 1, 1,
            "Returns the first item in the <multifield-expression> or NIL if the multifield is "
            "empty",
            "first$ <multifield-expression> ") {
  IValueVector list = Args.List(0);
  if (list->Count() == 0) return FCNil;
  IKbValue first = Args.Resolve(list->Get(0));
  return first ? first : FCNil;
}

KB_FUNCTION(TImplodeMFFunction, "implode$", 1, 1,
            "Creates and returns a space delimited string which is the concatenation of all the "
            "items in the <multifield-expression>",
            "implode$ <multifield-expression> ") {
  IValueVector list = Args.List(0);
  std::string text;
  for (int i = 0; i < list->Count(); ++i) {
    if (i > 0) text += ' ';
    if (IKbValue item = Args.Resolve(list->Get(i))) text += item->GetAsString();
  }
  return NewString(text);
}

KB_FUNCTION(TInsertMFFunction, "insert$", 2, MaxArguments,
            "Creates and returns a multifield value (list).  The <multifield-expression> is "
            "evaluated and then the subsequent evaluated expressions are inserted into the "
            "multifield at the index specified by <integer-expression>.  The item that previously "
            "occupied that position (and all subsequent items) are moved up",
            "insert$ <multifield-expression> <integer-expression> <expression>*") {
  IKbValue source = Args.Value(0);
  source->GetAsList();  // the type check
  IKbValue result = source->CloneValue();
  const int32_t index = Args.Int32(1);
  // The new items go in in argument order, the first at the index.
  for (int i = 2; i < Args.Count(); ++i)
    result->ListPtr()->Insert(index + (i - 2), Args.Value(i)->CloneValue());
  return result;
}

KB_FUNCTION(TLengthMFFunction, "length$", 1, 1,
            "Returns the number of items in the <multifield-expression>",
            "length$ <multifield-expression> ") {
  return NewInteger(Args.List(0)->Count());
}

KB_FUNCTION(TMemberMFFunction, "member$", 2, 2,
            "Returns the index of the first entry in the <multifield-expression> list that equals "
            "the specified <expression>.  The first item has index 0, the second item has index 1, "
            "and so on.  If the expression is not in the list, the function returns -1.  If the "
            "expression appears more than once in the multifield, the function returns the index "
            "of the first appearance",
            "member$ <expression> <multifield-expression>") {
  IKbValue wanted = Args.Value(0);
  IValueVector list = Args.List(1);
  for (int i = 0; i < list->Count(); ++i)
    if (SameItem(wanted, Args.Resolve(list->Get(i)))) return NewInteger(i);
  return FCFalse;
}

KB_FUNCTION(TNthMFFunction, "nth$", 2, 2,
            "Returns the value at the specified index in the <multifield-expression> list.  The "
            "first item has index 0, the second item has index 1, and so on",
            "nth$ <integer-expression> <multifield-expression>") {
  const int32_t index = Args.Int32(0);
  return Args.List(1)->Get(index);
}

KB_FUNCTION(TReplaceMFFunction, "replace$", 3, MaxArguments,
            "Returns a multifield value (list) which is a copy of the <multifield-expression> "
            "where the items in the range of <start-integer-expression> to "
            "<end-integer-expression> have been replaced by the subsequent arguments.  For "
            "purposes of the range, the <multifield-expression> is indexed starting from 0",
            "replace$ <multifield-expression> <start-integer-expression> "
            "<end-integer-expression> <expression>*") {
  IValueVector list = Args.List(0);
  const TRange range = RangeArgs(Args);
  IValueVector result = CopyItems(Args, *list, [&](int i) { return !range.Contains(i); });
  // The new items go in in argument order, the first at the start.
  for (int i = 3; i < Args.Count(); ++i)
    result->Insert(range.Start + (i - 3), Args.Value(i)->CloneValue());
  return NewList(result);
}

KB_FUNCTION(TRestMFFunction, "rest$", 1, 1,
            "Returns a multifield value containing all the fields in <multifield-expression> "
            "except the first field",
            "rest$ <multifield-expression>") {
  IKbValue source = Args.Value(0);
  source->GetAsList();  // the type check
  IKbValue result = source->CloneValue();
  // The rest of an empty list is the empty list.
  if (result->ListPtr()->Count() > 0) result->ListPtr()->Delete(0);
  return result;
}

KB_FUNCTION(TSubSeqMFFunction, "subseq$", 3, 3,
            "Returns a multifield value containing all the fields in <multifield-expression> "
            "between the <start-integer-expression> and <end-integer-expression>.  The multifield "
            "is a zero-based list",
            "subseq$ <multifield-expression> <start-integer-expression> <end-integer-expression>") {
  IValueVector list = Args.List(0);
  const TRange range = RangeArgs(Args);
  return NewList(CopyItems(Args, *list, [&](int i) { return range.Contains(i); }));
}

KB_FUNCTION(TSubSetpMFFunction, "subsetp", 2, 2,
            "Returns TRUE if the first argument is a subset of the second argument, FALSE "
            "otherwise",
            "subsetp <expression> <multifield-expression>") {
  // TRUE when the first argument (a single value counts as a one-item list)
  // occurs as a contiguous run of the second list. Every item is resolved
  // once; a run cannot reach past the end of the list.
  IKbValue first = Args.Value(0);
  std::vector<IKbValue> pattern;
  if (first->GetDType() == dtList)
    pattern = ResolvedItems(Args, *first->ListPtr());
  else
    pattern.push_back(first);
  IValueVector list = Args.List(1);
  if (list->Count() == 0) return FCFalse;
  const std::vector<IKbValue> items = ResolvedItems(Args, *list);
  auto run = std::search(items.begin(), items.end(), pattern.begin(), pattern.end(), SameItem);
  return BoolValue(run != items.end());
}

}  // namespace kb
