#include "core/KbDialogs.h"

namespace kb {

TModalResult ButtonResult(TMsgDlgBtn Button) {
  switch (Button) {
    case mbYes: return mrYes;
    case mbNo: return mrNo;
    case mbOK: return mrOk;
    case mbCancel: return mrCancel;
    case mbAbort: return mrAbort;
    case mbRetry: return mrRetry;
    case mbIgnore: return mrIgnore;
    case mbAll: return mrAll;
    case mbNoToAll: return mrNoToAll;
    case mbYesToAll: return mrYesToAll;
    case mbHelp: break;
  }
  return mrHelp;
}

const char* ModalResultName(TModalResult Result) {
  static constexpr const char* names[] = {"mrOk",      "mrCancel",  "mrAbort", "mrRetry",
                                          "mrIgnore",  "mrYes",     "mrNo",    "mrAll",
                                          "mrNoToAll", "mrYesToAll"};
  return Result >= mrOk && Result <= mrYesToAll ? names[Result - mrOk] : "mrHelp";
}

TModalResult DismissedResult(TMsgDlgButtons Buttons) {
  for (TMsgDlgBtn b : {mbCancel, mbNo, mbOK})
    if (Buttons.Contains(b)) return ButtonResult(b);
  return mrCancel;
}

std::string IKbDialogs::InputBox(const std::string& Caption, const std::string& Prompt,
                                 const std::string& Default) {
  std::string value = Default;
  return InputQuery(Caption, Prompt, value) ? value : Default;
}

TUnattendedDialogs& TUnattendedDialogs::Instance() {
  static TUnattendedDialogs instance;
  return instance;
}

bool TUnattendedDialogs::InputQuery(const std::string&, const std::string&, std::string&) {
  return false;
}

TModalResult TUnattendedDialogs::MessageDlg(const std::string&, TMsgDlgType, TMsgDlgButtons Buttons,
                                            int32_t) {
  return DismissedResult(Buttons);
}

void TUnattendedDialogs::ShowMessage(const std::string&) {}

}  // namespace kb
