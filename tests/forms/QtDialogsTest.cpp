// The engine's dialog functions answered through Qt windows.
#include <QAbstractButton>
#include <QInputDialog>
#include <QMessageBox>
#include <QTest>

#include "engine/Deducer.h"
#include "forms/FormsTestHelper.h"
#include "forms/FormsTests.h"
#include "kbforms/QtDialogs.h"

namespace kb::test {

namespace {

std::string Run(TDeducer& Engine, const std::string& Call) {
  return Engine.ParseNExecuteFunCall(Call)->GetAsString();
}

// Presses the box's button of that name (its TMsgDlgBtn name).
void Press(QMessageBox* Box, const char* Name) {
  for (QAbstractButton* b : Box->buttons())
    if (b->objectName() == Name) {
      b->click();
      return;
    }
  QFAIL(Name);
}

}  // namespace

class QtDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void InputBoxAndInputQueryAskInAnInputDialog() {
    TDeducer engine;
    InstallQtDialogs(engine);
    QString title, label, shown;
    WhenShown<QInputDialog>([&](QInputDialog* D) {
      title = D->windowTitle();
      label = D->labelText();
      shown = D->textValue();
      D->setTextValue("Alice");
      D->accept();
    });
    QCOMPARE(Run(engine, "(input-box \"Customer\" \"Name?\" \"Bob\")"), std::string("Alice"));
    QCOMPARE(title, QString("Customer"));
    QCOMPARE(label, QString("Name?"));
    QCOMPARE(shown, QString("Bob"));
    // Cancelled: input-box gives the default, input-query FALSE.
    WhenShown<QInputDialog>([](QInputDialog* D) {
      D->setTextValue("typed");
      D->reject();
    });
    QCOMPARE(Run(engine, "(input-box \"Customer\" \"Name?\" \"Bob\")"), std::string("Bob"));
    WhenShown<QInputDialog>([](QInputDialog* D) { D->reject(); });
    QCOMPARE(Run(engine, "(input-query \"Order\" \"Quantity\" 12)"), std::string("FALSE"));
  }

  void MessageDlgAnswersTheButtonPressed() {
    TDeducer engine;
    InstallQtDialogs(engine);
    QString text;
    int buttons = 0;
    WhenShown<QMessageBox>([&](QMessageBox* Box) {
      text = Box->text();
      buttons = int(Box->buttons().size());
      Press(Box, "mbNo");
    });
    QCOMPARE(
        Run(engine, "(message-dlg \"Save changes?\" mtConfirmation \"[mbYes,mbNo,mbCancel]\")"),
        std::string("mrNo"));
    QCOMPARE(text, QString("Save changes?"));
    QCOMPARE(buttons, 3);
    WhenShown<QMessageBox>([](QMessageBox* Box) { Press(Box, "mbAll"); });
    QCOMPARE(Run(engine, "(message-dlg \"Copy?\" mtWarning \"[mbAll,mbYesToAll]\")"),
             std::string("mrAll"));
    // Closed without a choice: the Cancel button's answer.
    WhenShown<QMessageBox>([](QMessageBox* Box) { QTest::keyClick(Box, Qt::Key_Escape); });
    QCOMPARE(Run(engine, "(message-dlg \"Go on?\" mtInformation \"[mbOK,mbCancel]\")"),
             std::string("mrCancel"));
    // No button set: OK.
    WhenShown<QMessageBox>([&](QMessageBox* Box) {
      buttons = int(Box->buttons().size());
      Press(Box, "mbOK");
    });
    QCOMPARE(Run(engine, "(message-dlg \"Done\" mtInformation)"), std::string("mrOk"));
    QCOMPARE(buttons, 1);
    WhenShown<QMessageBox>([&](QMessageBox* Box) {
      text = Box->text();
      Box->accept();
    });
    QCOMPARE(Run(engine, "(show-message \"Saved\")"), std::string("TRUE"));
    QCOMPARE(text, QString("Saved"));
  }
};

std::unique_ptr<QObject> NewQtDialogsTest() { return std::make_unique<QtDialogsTest>(); }

}  // namespace kb::test

#include "QtDialogsTest.moc"
