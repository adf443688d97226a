// The writer of rules: patterns and rules as CLIPS text that the parser
// reads back to equal objects (values by core/KbWriter.h, templates and
// facts by memory/KbFactsWriter.h).
#pragma once

#include <string>

namespace kb {

class TKbPattern;
class TRule;

// The mark before a predicate constraint of a slot, "(slot :(call))".
constexpr const char* SPredicateMark = ":";

// "(defrule name", then on their own indented lines the comment in
// quotes, the salience declaration, each pattern the rule was given (those
// it made itself are left out) and "=>", then each action; then ")".
std::string PrettyPrint(const TRule& Rule);
// "(name tests)" for an ordered template, else "(name (slot tests) ...)",
// then the wrappers unique, explicit, one "not" per negation level and the
// bound variable. A negated test element prints as "(not (test call))".
// Raises SNoTemplate for a pattern without template.
std::string PrettyPrint(const TKbPattern& Pattern);

}  // namespace kb
