// The modal dialogs the engine shows for its functions (input-box,
// input-query, message-dlg, show-message): a line of text asked for, a
// message with a choice of buttons, a plain message.
//
// The engine does not know how a dialog is shown. It asks its current
// dialogs (TDeducer::GetDialogs), which a host installs (SetDialogs): a
// desktop program shows windows, the deducer shell asks on its terminal.
// Without a host's dialogs the engine answers as a dialog nobody can see
// would be answered (TUnattendedDialogs): the default text, or the answer
// of a dialog closed without a choice. Nothing is printed then.
#pragma once

#include <cstdint>
#include <string>

#include "core/KbConsts.h"

namespace kb {

// The answer of a modal dialog: the button that closed it. 0 is no answer.
using TModalResult = int32_t;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;
constexpr TModalResult mrAll = 8;
constexpr TModalResult mrNoToAll = 9;
constexpr TModalResult mrYesToAll = 10;
constexpr TModalResult mrHelp = 11;

// The answer that pressing Button gives.
TModalResult ButtonResult(TMsgDlgBtn Button);
// The name of an answer as the language gives it: "mrOk", "mrCancel",
// "mrAbort", "mrRetry", "mrIgnore", "mrYes", "mrNo", "mrAll", "mrNoToAll",
// "mrYesToAll" for mrOk to mrYesToAll, "mrHelp" for anything else.
const char* ModalResultName(TModalResult Result);
// The answer of a dialog with Buttons that is closed without a choice
// (Escape, the window's close box, the end of the input): the Cancel
// button's, else No's, else OK's when the dialog has one, else mrCancel.
TModalResult DismissedResult(TMsgDlgButtons Buttons);

// What a host implements. Every call is modal: it returns when the user
// has answered. The engine calls from the thread that runs it.
class IKbDialogs {
 public:
  virtual ~IKbDialogs() = default;
  // Asks for a line of text under Caption, with Prompt, Value holding the
  // default on entry. True, with Value the text entered, when the user
  // confirms; false, Value unchanged, when the dialog is cancelled.
  virtual bool InputQuery(const std::string& Caption, const std::string& Prompt,
                          std::string& Value) = 0;
  // The text entered, or Default when the dialog is cancelled. Asks
  // through InputQuery unless the host shows it differently.
  virtual std::string InputBox(const std::string& Caption, const std::string& Prompt,
                               const std::string& Default);
  // Shows Message as a dialog of kind Type with Buttons and answers the
  // button pressed (ButtonResult), or DismissedResult(Buttons) when the
  // dialog was closed without a choice. HelpContext is the topic of the
  // Help button, 0 for none.
  virtual TModalResult MessageDlg(const std::string& Message, TMsgDlgType Type,
                                  TMsgDlgButtons Buttons, int32_t HelpContext) = 0;
  // Shows Message with an OK button.
  virtual void ShowMessage(const std::string& Message) = 0;
};

// The dialogs of an engine without a host's: every dialog closes at once
// without a choice. InputQuery cancels, InputBox answers the default,
// MessageDlg answers DismissedResult. Stateless, so one object serves
// every engine and thread (Instance).
class TUnattendedDialogs final : public IKbDialogs {
 public:
  static TUnattendedDialogs& Instance();
  bool InputQuery(const std::string& Caption, const std::string& Prompt,
                  std::string& Value) override;
  TModalResult MessageDlg(const std::string& Message, TMsgDlgType Type, TMsgDlgButtons Buttons,
                          int32_t HelpContext) override;
  void ShowMessage(const std::string& Message) override;
};

}  // namespace kb
