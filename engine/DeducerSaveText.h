// Internal to the engine's .cpp files: the pieces of a saved knowledge base
// that the whole-system text and component files both write.
#pragma once

#include <string>
#include <vector>

#include "engine/Deducer.h"
#include "engine/DeducerTemplates.h"

namespace kb {

// Refuses (SCannotSave, naming the construct or fact) a knowledge base
// whose text would not read back as what is there.
void CheckSavable(TDeducer& Engine);
// The facts a saved knowledge base holds: working memory in order, without
// the goals of backward chaining.
std::vector<IFact> SavedFacts(TDeducer& Engine);
// "(do-backward-chaining a b)" naming the templates marked for backward
// chaining (goal templates get the mark back from it), or "".
std::string BackwardChainingText(const TFactTemplates& Templates);
// The globals made by bind without a defglobal, as bind calls, one a line
// (the last without its line break); "" when there are none.
std::string BoundGlobalsText(TDeducer& Engine);

}  // namespace kb
