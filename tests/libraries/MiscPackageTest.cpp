// The dialog functions, through a host's dialogs that record each call.
// The rest of the package is tested as language scripts
// (tests/language/misc).
#include "libraries/MiscPackage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FunctionCallHelper.h"
#include "core/KbDialogs.h"
#include "core/KbHelperFunctions.h"

using namespace kb;
using namespace kb::test;

namespace {

// Records every dialog as one line of text and answers what it is told.
class TRecordingDialogs final : public IKbDialogs {
 public:
  std::vector<std::string> Calls;
  bool Confirm = true;
  std::string Typed = "typed";
  TModalResult Answer = mrYes;

  bool InputQuery(const std::string& Caption, const std::string& Prompt,
                  std::string& Value) override {
    Calls.push_back("query [" + Caption + "] [" + Prompt + "] [" + Value + "]");
    if (Confirm) Value = Typed;
    return Confirm;
  }
  TModalResult MessageDlg(const std::string& Message, TMsgDlgType Type, TMsgDlgButtons Buttons,
                          int32_t HelpContext) override {
    Calls.push_back("message [" + Message + "] " + EnumName(Type) + " " +
                    SetToString(EnumInfo<TMsgDlgBtn>(), Buttons.ToInt(), ",", true) + " " +
                    std::to_string(HelpContext));
    return Answer;
  }
  void ShowMessage(const std::string& Message) override {
    Calls.push_back("show [" + Message + "]");
  }
};

class MiscDialogs : public TFunctionTest {
 protected:
  MiscDialogs() { Engine.SetDialogs(&Dialogs); }
  ~MiscDialogs() override { Engine.SetDialogs(nullptr); }
  // The result's type and text.
  std::string Typed(const IKbValue& V) {
    return std::string(EnumName(V->GetDType())) + " " + V->GetToString();
  }
  TRecordingDialogs Dialogs;
};

}  // namespace

TEST_F(MiscDialogs, InputBoxAndQueryPassTheirTextsAndAnswer) {
  EXPECT_EQ(Typed(Call("input-box", {Str("Title"), Str("Name?"), Str("Bob")})),
            "dtString \"typed\"");
  EXPECT_EQ(Typed(Call("input-query", {Str("Title"), Atom("Name"), Int(7)})), "dtString \"typed\"");
  // Missing texts are empty; arguments are evaluated.
  Call("input-box", {});
  Call("input-query", {Nested("str-cat", {Str("a"), Str("b")})});
  Dialogs.Confirm = false;
  EXPECT_EQ(Typed(Call("input-box", {Str("T"), Str("P"), Str("dflt")})), "dtString \"dflt\"");
  EXPECT_EQ(Typed(Call("input-query", {Str("T"), Str("P"), Str("dflt")})), "dtAtom FALSE");
  EXPECT_EQ(Dialogs.Calls,
            (std::vector<std::string>{"query [Title] [Name?] [Bob]", "query [Title] [Name] [7]",
                                      "query [] [] []", "query [ab] [] []", "query [T] [P] [dflt]",
                                      "query [T] [P] [dflt]"}));
  EXPECT_EQ(ErrorOf("input-box", {List({Atom("a")})}), "Not a string.  Value Type is dtList");
  ExpectBounds("input-box");
  ExpectBounds("input-query");
}

TEST_F(MiscDialogs, MessageDlgReadsKindButtonsAndHelpAndNamesTheAnswer) {
  EXPECT_EQ(Typed(Call("message-dlg", {Str("Sure?"), Atom("mtConfirmation"),
                                       Str("[mbYes, mbNo,mbCancel]"), Int(12)})),
            "dtString \"mrYes\"");
  // A set written without brackets, one name, a multifield of names, none.
  Call("message-dlg", {Str("m"), Str("mtError"), Str("mbAbort mbRetry")});
  Call("message-dlg", {Str("m"), Atom("mtCustom"), Atom("mbHelp")});
  Call("message-dlg", {Str("m"), Atom("mtWarning"), List({Atom("mbOK"), Str("[mbAll]")})});
  Call("message-dlg", {Str("m"), Atom("mtInformation"), Str("[]")});
  Call("message-dlg", {Str("m"), Atom("mtInformation")});
  EXPECT_EQ(Dialogs.Calls, (std::vector<std::string>{
                               "message [Sure?] mtConfirmation [mbYes,mbNo,mbCancel] 12",
                               "message [m] mtError [mbAbort,mbRetry] 0",
                               "message [m] mtCustom [mbHelp] 0",
                               "message [m] mtWarning [mbOK,mbAll] 0",
                               "message [m] mtInformation [] 0",
                               "message [m] mtInformation [mbOK] 0",
                           }));
  // Every answer by name; anything but results 1 to 10 is the Help answer.
  const std::vector<std::pair<TModalResult, std::string>> answers = {
      {mrOk, "mrOk"},           {mrCancel, "mrCancel"},
      {mrAbort, "mrAbort"},     {mrRetry, "mrRetry"},
      {mrIgnore, "mrIgnore"},   {mrYes, "mrYes"},
      {mrNo, "mrNo"},           {mrAll, "mrAll"},
      {mrNoToAll, "mrNoToAll"}, {mrYesToAll, "mrYesToAll"},
      {mrHelp, "mrHelp"},       {mrNone, "mrHelp"}};
  for (const auto& [answer, name] : answers) {
    Dialogs.Answer = answer;
    EXPECT_EQ(Call("message-dlg", {Str("m"), Atom("mtWarning"), Str("[mbOK]")})->GetAsString(),
              name);
  }
  ExpectBounds("message-dlg");
}

TEST_F(MiscDialogs, UnknownKindOrButtonIsRefusedByNameBeforeAnyDialog) {
  EXPECT_EQ(ErrorOf("message-dlg", {Str("m"), Atom("mtQuestion"), Str("[mbOK]")}),
            "Invalid dialog type: \"mtQuestion\", expected mtWarning, mtError, mtInformation, "
            "mtConfirmation or mtCustom");
  // Names are exact: a button without its prefix, or in other case, is none.
  EXPECT_EQ(ErrorOf("message-dlg", {Str("m"), Atom("mtWarning"), Str("[mbYes,Maybe]")}),
            "Invalid dialog button: \"Maybe\", expected mbYes, mbNo, mbOK, mbCancel, mbAbort, "
            "mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll or mbHelp");
  EXPECT_EQ(ErrorOf("message-dlg", {Str("m"), Atom("mtWarning"), Str("mbok")}),
            "Invalid dialog button: \"mbok\", expected mbYes, mbNo, mbOK, mbCancel, mbAbort, "
            "mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll or mbHelp");
  EXPECT_EQ(ErrorOf("message-dlg", {Str("m"), Atom("mtWarning"), Str("[mbOK]"), Str("x")}),
            "Not a integer.  Value Type is dtString");
  EXPECT_TRUE(Dialogs.Calls.empty());
}

TEST_F(MiscDialogs, ShowMessageShowsItsTextAndWithoutHostDialogsNothingWaits) {
  EXPECT_EQ(Typed(Call("show-message", {Str("Done.")})), "dtAtom TRUE");
  EXPECT_EQ(Dialogs.Calls, (std::vector<std::string>{"show [Done.]"}));
  ExpectBounds("show-message");

  // Without the host's dialogs: the default, the Cancel answer, no wait.
  Engine.SetDialogs(nullptr);
  EXPECT_EQ(&Engine.GetDialogs(), &TUnattendedDialogs::Instance());
  EXPECT_EQ(Typed(Call("input-box", {Str("T"), Str("P"), Str("dflt")})), "dtString \"dflt\"");
  EXPECT_EQ(Typed(Call("input-query", {Str("T"), Str("P"), Str("dflt")})), "dtAtom FALSE");
  EXPECT_EQ(Call("message-dlg", {Str("m"), Atom("mtWarning"), Str("[mbYes,mbNo]")})->GetAsString(),
            "mrNo");
  EXPECT_EQ(Typed(Call("show-message", {Str("m")})), "dtAtom TRUE");
  EXPECT_EQ(Dialogs.Calls.size(), 1u);
}
