// The miscellaneous package: commands that inspect and edit an engine's
// knowledge base from rule actions or the command line. Listings (agenda,
// facts, rules, list-def*), pretty printing (ppdef*), deleting constructs
// (undef*), settings (set-reset-globals, setgen, constraint checking), the
// time of day, and the dialogs (input-box, input-query, message-dlg,
// show-message), which the engine's current dialogs show
// (TDeducer::GetDialogs, core/KbDialogs.h).
//
// Everything these commands print goes through the engine's PrintOut, to
// standard output unless a logical name is given. A listing is printed in
// one PrintOut call: its lines, each ended by a line break, then a total
// line.
#pragma once

#include <string>

#include "engine/DeducerPackages.h"

namespace kb {

// The four pretty printers (ppdeffacts, ppdeffunction, ppdeftemplate,
// ppdefrule) are instances of this class; the function's name says what it
// prints. An instance with any other name raises SNoSuchFunction.
class TPrettyPrintFunction : public TKbUserFunction {
 public:
  TPrettyPrintFunction() = default;
  TPrettyPrintFunction(const std::string& Name, const char* Description, const char* Syntax);
  void Call(TFunctionCall& FunCall, TKbContext* Context, IKbValue& Result) override;
};

class TMiscPackage : public TUserPackage {
 public:
  explicit TMiscPackage(TComponent* AOwner);
  ~TMiscPackage() override { BeginDestruction(); }
  void CreateFunctions() override;
};

}  // namespace kb
