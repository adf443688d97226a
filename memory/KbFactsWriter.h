// The writer of working memory: slots, templates, facts and fact sets as
// CLIPS text that the parser reads back to equal objects (values are
// written by core/KbWriter.h).
#pragma once

#include <string>

#include "core/KbInterfaces.h"

namespace kb {

class TFactSet;

// "(slot name (type ...) (default ...) )"; a call default is written as
// default-dynamic, so that it reads back as a call.
std::string PrettyPrint(const IFactSlot& Slot);
// "(deftemplate name "comment" ", "extends parent " when it has a parent,
// then one slot per line and ")". The backward-chaining flag is not
// written.
std::string PrettyPrint(const IFactTemplate& Template);
// "(name values)" for an ordered fact, else "(name (slot value) ...)" in
// slot order, leaving out empty values that would read back as they are.
std::string PrettyPrint(const IFact& Fact);
// "(deffacts name "comment"" and one fact per line, then ")".
std::string PrettyPrint(TFactSet* FactSet);

}  // namespace kb
