// The engine's dialogs as Qt windows (kbforms/QtDialogs.h).
#include "kbforms/QtDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <utility>
#include <vector>

#include "engine/Deducer.h"
#include "kbforms/FormsCommon.h"

namespace kb {

namespace {

QWidget* ParentOf(QWidget* Parent) { return Parent ? Parent : QApplication::activeWindow(); }

// The box's button for each of the engine's, by TMsgDlgBtn (keep in
// step with it); mbAll has no standard button and is made apart.
constexpr QMessageBox::StandardButton StandardButtons[] = {
    QMessageBox::Yes,     QMessageBox::No,       QMessageBox::Ok,     QMessageBox::Cancel,
    QMessageBox::Abort,   QMessageBox::Retry,    QMessageBox::Ignore, QMessageBox::NoButton,
    QMessageBox::NoToAll, QMessageBox::YesToAll, QMessageBox::Help,
};

QMessageBox::Icon IconOf(TMsgDlgType Type) {
  switch (Type) {
    case mtWarning: return QMessageBox::Warning;
    case mtError: return QMessageBox::Critical;
    case mtInformation: return QMessageBox::Information;
    case mtConfirmation: return QMessageBox::Question;
    case mtCustom: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

bool TQtDialogs::InputQuery(const std::string& Caption, const std::string& Prompt,
                            std::string& Value) {
  QInputDialog dialog(ParentOf(Parent_));
  dialog.setObjectName("KbInputDialog");
  dialog.setWindowTitle(ToQ(Caption));
  dialog.setLabelText(ToQ(Prompt));
  dialog.setTextValue(ToQ(Value));
  if (dialog.exec() != QDialog::Accepted) return false;
  Value = ToStd(dialog.textValue());
  return true;
}

TModalResult TQtDialogs::MessageDlg(const std::string& Message, TMsgDlgType Type,
                                    TMsgDlgButtons Buttons, int32_t /*HelpContext*/) {
  QMessageBox box(IconOf(Type), QString(), ToQ(Message), QMessageBox::NoButton, ParentOf(Parent_));
  box.setObjectName("KbMessageDialog");
  std::vector<std::pair<QAbstractButton*, TMsgDlgBtn>> shown;
  for (int b = mbYes; b <= mbHelp; ++b) {
    const auto button = static_cast<TMsgDlgBtn>(b);
    if (!Buttons.Contains(button)) continue;
    QAbstractButton* made = button == mbAll ? box.addButton("&All", QMessageBox::AcceptRole)
                                            : box.addButton(StandardButtons[b]);
    made->setObjectName(EnumName(button));
    shown.emplace_back(made, button);
  }
  if (shown.empty()) shown.emplace_back(box.addButton(QMessageBox::Ok), mbOK);
  box.exec();
  for (const auto& [made, button] : shown)
    if (box.clickedButton() == made) return ButtonResult(button);
  return DismissedResult(Buttons);
}

void TQtDialogs::ShowMessage(const std::string& Message) {
  QMessageBox box(QMessageBox::NoIcon, QString(), ToQ(Message), QMessageBox::Ok, ParentOf(Parent_));
  box.setObjectName("KbMessageDialog");
  box.exec();
}

void InstallQtDialogs(TDeducer& Engine) {
  static TQtDialogs dialogs;
  Engine.SetDialogs(&dialogs);
}

}  // namespace kb
