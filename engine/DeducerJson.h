// Facts as JSON: the engine's facts written out and read back.
//
// The text is an array with one object per fact, in working-memory order:
//   {"template": "order", "slots": {"item": "pen", "qty": 3}}   a template fact
//   {"template": "point", "values": [1, 2.5]}                    an ordered fact
// Integers are JSON integers, floats JSON numbers with a fraction or an
// exponent (1.0 stays a float), nil is null. A JSON string is a string,
// except in a slot whose types allow symbols and not strings, where it is
// a symbol; any other symbol is written {"symbol": "x"}, which reads back
// as a symbol anywhere. Multislots and ordered facts' values are arrays.
// Fact addresses and host values have no JSON form: writing refuses them.
//
// Nothing half-done: writing builds the whole text before it touches the
// stream or file; reading parses and checks every fact (templates, slot
// names, value types) before it asserts any, and raises EKbException
// naming the byte offset of malformed JSON, or the index of the fact and
// the slot for a wrong shape.
#pragma once

#include <string>

#include "framework/Streams.h"

namespace kb {

class TDeducer;

// The facts of Engine as JSON text.
std::string FactsJson(TDeducer& Engine);
void SaveFactsJson(TDeducer& Engine, TStream& Stream);
void SaveFactsJson(TDeducer& Engine, const std::string& FileName);
// Asserts the facts of a JSON text; returns how many were asserted (an
// equal fact already present is not asserted again, as for assert).
int LoadFactsJson(TDeducer& Engine, const std::string& Text);
int LoadFactsJson(TDeducer& Engine, TStream& Stream);
int LoadFactsJsonFile(TDeducer& Engine, const std::string& FileName);

}  // namespace kb
