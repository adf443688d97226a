// The engine's dialogs (input-box, input-query, message-dlg and
// show-message) as Qt windows: a host with a QApplication installs them on
// an engine, and the functions then ask the user in real dialogs.
//
// Every call is modal and must come from the thread that runs the
// QApplication (the engine's calls come from the thread running it).
#pragma once

#include <string>

#include "core/KbDialogs.h"

class QWidget;

namespace kb {

class TDeducer;

class TQtDialogs final : public IKbDialogs {
 public:
  // Dialogs shown over Parent (none: over the active window).
  explicit TQtDialogs(QWidget* Parent = nullptr) : Parent_(Parent) {}
  // A QInputDialog (object name "KbInputDialog").
  bool InputQuery(const std::string& Caption, const std::string& Prompt,
                  std::string& Value) override;
  // A QMessageBox (object name "KbMessageDialog") with the buttons asked
  // for, in their usual order; Escape or the close box answer as a dialog
  // closed without a choice (DismissedResult).
  TModalResult MessageDlg(const std::string& Message, TMsgDlgType Type, TMsgDlgButtons Buttons,
                          int32_t HelpContext) override;
  void ShowMessage(const std::string& Message) override;

 private:
  QWidget* Parent_;
};

// Installs dialogs shared by every engine of the process (they hold no
// state) on Engine: its dialog functions show Qt windows from now on.
void InstallQtDialogs(TDeducer& Engine);

}  // namespace kb
