#include "core/KbDialogs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kb;

TEST(KbDialogs, ButtonsAnswerTheirResultsByName) {
  struct Row {
    TMsgDlgBtn Button;
    const char* Name;
  };
  const Row rows[] = {{mbYes, "mrYes"},           {mbNo, "mrNo"},       {mbOK, "mrOk"},
                      {mbCancel, "mrCancel"},     {mbAbort, "mrAbort"}, {mbRetry, "mrRetry"},
                      {mbIgnore, "mrIgnore"},     {mbAll, "mrAll"},     {mbNoToAll, "mrNoToAll"},
                      {mbYesToAll, "mrYesToAll"}, {mbHelp, "mrHelp"}};
  for (const Row& r : rows) EXPECT_STREQ(ModalResultName(ButtonResult(r.Button)), r.Name);
  // Results 1 to 10 have names; anything else is the Help answer.
  EXPECT_STREQ(ModalResultName(1), "mrOk");
  EXPECT_STREQ(ModalResultName(10), "mrYesToAll");
  EXPECT_STREQ(ModalResultName(mrNone), "mrHelp");
  EXPECT_STREQ(ModalResultName(-1), "mrHelp");
  EXPECT_STREQ(ModalResultName(1000), "mrHelp");
}

TEST(KbDialogs, ADialogClosedWithoutAChoiceAnswersItsCancelButton) {
  EXPECT_EQ(DismissedResult({mbYes, mbNo, mbCancel}), mrCancel);
  EXPECT_EQ(DismissedResult({mbYes, mbNo}), mrNo);
  EXPECT_EQ(DismissedResult({mbOK}), mrOk);
  EXPECT_EQ(DismissedResult({mbOK, mbNo}), mrNo);
  EXPECT_EQ(DismissedResult({mbAbort, mbRetry, mbIgnore}), mrCancel);
  EXPECT_EQ(DismissedResult({}), mrCancel);
}

namespace {

// Answers every query with a fixed text, or cancels it.
class TScriptedQuery final : public IKbDialogs {
 public:
  bool Confirm = true;
  std::vector<std::string> Defaults;
  bool InputQuery(const std::string&, const std::string&, std::string& Value) override {
    Defaults.push_back(Value);
    if (Confirm) Value = "typed";
    return Confirm;
  }
  TModalResult MessageDlg(const std::string&, TMsgDlgType, TMsgDlgButtons, int32_t) override {
    return mrNone;
  }
  void ShowMessage(const std::string&) override {}
};

}  // namespace

TEST(KbDialogs, InputBoxAsksThroughInputQueryAndFallsBackOnTheDefault) {
  TScriptedQuery dialogs;
  EXPECT_EQ(dialogs.InputBox("c", "p", "given"), "typed");
  dialogs.Confirm = false;
  EXPECT_EQ(dialogs.InputBox("c", "p", "given"), "given");
  // The query sees the default as the text to start from.
  EXPECT_EQ(dialogs.Defaults, (std::vector<std::string>{"given", "given"}));

  // Unattended: every dialog is closed at once, without a choice.
  IKbDialogs& none = TUnattendedDialogs::Instance();
  std::string value = "kept";
  EXPECT_FALSE(none.InputQuery("c", "p", value));
  EXPECT_EQ(value, "kept");
  EXPECT_EQ(none.InputBox("c", "p", "dflt"), "dflt");
  EXPECT_EQ(none.MessageDlg("m", mtWarning, {mbYes, mbNo}, 0), mrNo);
  none.ShowMessage("nothing happens");
}
