// The desktop workbench, driven as a user would: the console's echo and
// errors (as the deducer shell writes them), open and save, Run / Step /
// Halt and the views, and the editors cancelled.
#include <QAction>
#include <QDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerPackages.h"
#include "engine/DeducerRules.h"
#include "engine/DeducerTemplates.h"
#include "forms/FormsTestHelper.h"
#include "forms/FormsTests.h"
#include "framework/Streams.h"
#include "tools/workbench/Workbench.h"

namespace kb::test {

namespace {

QString Output(TWorkbench& W) {
  return W.findChild<QPlainTextEdit*>("ConsoleOutput")->toPlainText();
}

// Types Line into the console and presses Enter.
void Type(TWorkbench& W, const QString& Line) {
  auto* input = W.findChild<QLineEdit*>("ConsoleInput");
  input->setFocus();
  QTest::keyClicks(input, Line);
  QTest::keyClick(input, Qt::Key_Return);
}

int Rows(TWorkbench& W, const char* View) { return W.findChild<QListWidget*>(View)->count(); }

void Trigger(TWorkbench& W, const char* Action) { W.findChild<QAction*>(Action)->trigger(); }

// The message the engine raises for Command.
std::string ErrorOfCommand(const std::string& Command) {
  TDeducer engine;
  return ErrorOf([&] { engine.Parse(Command); });
}

// Answers the next input dialog with Answer (Cancel when Answer is null)
// and keeps the question it asked in Question.
void AnswerInput(const char* Answer, QString* Question = nullptr) {
  WhenShown<QInputDialog>([Answer, Question](QInputDialog* Dialog) {
    if (Question) *Question = Dialog->labelText();
    if (!Answer) {
      Dialog->reject();
      return;
    }
    Dialog->setTextValue(Answer);
    Dialog->accept();
  });
}

// What Command prints in an engine whose standard input has ended.
std::string AtEndOfInput(const std::string& Command) {
  TDeducer engine;
  TMemoryStream empty;
  engine.SetStdInput(&empty);
  std::string out;
  engine.OnPrintOut = [&](TPersistent*, const std::string&, const std::string& Text) {
    out += Text;
  };
  engine.Parse(Command);
  engine.SetStdInput(nullptr);
  return out;
}

QString Example(const char* Name) {
  return QString(qgetenv("KB_SOURCE_DIR")) + "/examples/" + Name;
}

}  // namespace

class WorkbenchTest : public QObject {
  Q_OBJECT

 private slots:
  void ConsoleEchoesCommandsAndReportsErrorsAsTheShell() {
    TWorkbench w;
    w.show();
    Type(w, "(printout t hello crlf)");
    QCOMPARE(Output(w), QString("deducer> (printout t hello crlf)\nhello\n"));
    // A command over several lines runs once complete, each line echoed.
    Type(w, "(printout t");
    Type(w, "  \"a b\" crlf)");
    QVERIFY(Output(w).endsWith("deducer> (printout t\n       >   \"a b\" crlf)\na b\n"));
    // An error starts on a line of its own, in the shell's words.
    Type(w, "(printout t partial)");
    Type(w, "(no-such-function 1)");
    const std::string message = ErrorOfCommand("(no-such-function 1)");
    QVERIFY(!message.empty());
    QVERIFY(
        Output(w).endsWith("deducer> (printout t partial)\npartial\ndeducer> "
                           "(no-such-function 1)\n" +
                           QString::fromStdString(message) + "\n"));
    // An error that ends a run names the rule.
    Type(w, "(defrule boom (go) => (bind ?x (+ abc 1)))");
    Type(w, "(assert (go))");
    QCOMPARE(Rows(w, "AgendaView"), 1);
    Trigger(w, "actRun");
    QVERIFY(Output(w).contains("deducer> (run)\nIn rule boom: "));
    QCOMPARE(Rows(w, "AgendaView"), 0);
    // "exit" closes the window.
    Type(w, "(exit)");
    QTRY_VERIFY(!w.isVisible());
  }

  void OpenRunStepAndSave() {
    TWorkbench w;
    w.show();
    // A file that cannot be read is reported and changes nothing.
    Type(w, "(deftemplate kept (slot a))");
    QVERIFY(!w.OpenFile("/nonexistent/kb.clp"));
    QVERIFY(w.Engine().FactTemplates().Count() > 0);
    QVERIFY(Output(w).contains("/nonexistent/kb.clp"));
    QVERIFY(w.OpenFile(Example("blocks.clp")));
    QVERIFY(w.windowTitle().startsWith("blocks.clp"));
    QVERIFY(w.Engine().Rules().Count() > 0);
    Trigger(w, "actReset");
    QVERIFY(Output(w).endsWith("deducer> (reset)\n"));
    const int facts = Rows(w, "FactsView");
    QCOMPARE(facts, w.Engine().Facts().Count());
    QVERIFY(facts > 1);
    const int agenda = Rows(w, "AgendaView");
    QVERIFY(agenda > 0);
    QCOMPARE(w.findChild<QListWidget*>("AgendaView")->item(0)->text(),
             QString::fromStdString(w.Engine().GetActivationText(0)));
    Trigger(w, "actStep");
    QCOMPARE(w.Engine().GetRulesFired(), 1);
    QVERIFY(Output(w).contains("deducer> (run 1)\n"));
    Trigger(w, "actRun");
    QCOMPARE(Rows(w, "AgendaView"), 0);
    QVERIFY(w.Engine().GetRulesFired() > 1);
    QCOMPARE(Rows(w, "FactsView"), w.Engine().Facts().Count());
    QVERIFY(w.findChild<QListWidget*>("FactsView")->item(0)->text().startsWith("f-"));

    QTemporaryDir dir;
    const QString saved = dir.filePath("saved.clp");
    QVERIFY(w.SaveFile(saved));
    QVERIFY(w.windowTitle().startsWith("saved.clp"));
    TWorkbench other;
    QVERIFY(other.OpenFile(saved));
    QCOMPARE(other.Engine().Rules().Count(), w.Engine().Rules().Count());
    // Saving where no file can be written says so.
    QVERIFY(!w.SaveFile("/nonexistent/dir/kb.clp"));
    QVERIFY(Output(w).contains("/nonexistent/dir/kb.clp: "));
  }

  void HaltStopsARunThatWouldNotEnd() {
    TWorkbench w;
    w.show();
    Type(w, "(defrule count ?f <- (n ?x) => (retract ?f) (assert (n (+ ?x 1))))");
    Type(w, "(assert (n 0))");
    bool inputDisabled = false;
    bool editorsDisabled = false;
    QTimer::singleShot(0, &w, [&] {
      QVERIFY(w.IsRunning());
      inputDisabled = !w.findChild<QLineEdit*>("ConsoleInput")->isEnabled();
      editorsDisabled = !w.findChild<QAction*>("actRules")->isEnabled();
      Trigger(w, "actHalt");
    });
    Trigger(w, "actRun");
    QVERIFY(!w.IsRunning());
    QVERIFY(inputDisabled);
    QVERIFY(editorsDisabled);
    QCOMPARE(Rows(w, "AgendaView"), 1);
    QVERIFY(w.Engine().GetRulesFired() > 0);
    QVERIFY(w.findChild<QLineEdit*>("ConsoleInput")->isEnabled());
    // A rule's own halt stops the run too.
    Type(w, "(defrule stop (declare (salience 10)) (n 120) => (halt))");
    Trigger(w, "actRun");
    QVERIFY(w.Engine().Facts().GetToString().find("(n 120)") != std::string::npos);
  }

  void HaltStopsAnEndlessRunTypedInTheConsole() {
    TWorkbench w;
    w.show();
    Type(w, "(defrule count ?f <- (n ?x) => (retract ?f) (assert (n (+ ?x 1))))");
    Type(w, "(assert (n 0))");
    bool inputDisabled = false;
    QTimer::singleShot(0, &w, [&] {
      QVERIFY(w.IsRunning());
      inputDisabled = !w.findChild<QLineEdit*>("ConsoleInput")->isEnabled();
      Trigger(w, "actHalt");
    });
    Type(w, "(run)");
    QVERIFY(!w.IsRunning());
    QVERIFY(inputDisabled);
    QVERIFY(w.Engine().GetRulesFired() > 0);
    QCOMPARE(Rows(w, "AgendaView"), 1);
    // As in the shell, the command's result follows: the rules fired.
    QVERIFY(Output(w).endsWith(QString("deducer> (run)\n%1\n").arg(w.Engine().GetRulesFired())));
    // The console takes commands again.
    Type(w, "(printout t done crlf)");
    QVERIFY(Output(w).endsWith("done\n"));
    // A run inside a command gives way too; closing the window ends it.
    QTimer::singleShot(0, &w, [&] { w.close(); });
    Type(w, "(if TRUE then (printout t go crlf) (run))");
    QVERIFY(!w.isVisible());
    QCOMPARE(Rows(w, "AgendaView"), 1);
  }

  void ReadAndReadlineAskTheUserAndCancelEndsTheInput() {
    TWorkbench w;
    w.show();
    // The question is what the console printed last on its line; the
    // answer shows after it.
    QString question;
    AnswerInput("blue sky", &question);
    Type(w, "(deffunction ask () (printout t \"Colour? \") (readline))");
    Type(w, "(printout t \"<\" (ask) \">\" crlf)");
    QCOMPARE(question, QString("Colour?"));
    QVERIFY(Output(w).endsWith("Colour? blue sky\n<blue sky>\n"));
    // read takes the first token of the line; an empty line is no end.
    AnswerInput("42 and more");
    Type(w, "(printout t (integerp (read)) crlf)");
    QVERIFY(Output(w).endsWith("TRUE\n"));
    AnswerInput("");
    Type(w, "(printout t \"[\" (readline) \"]\" crlf)");
    QVERIFY(Output(w).endsWith("[]\n"));
    // Cancel ends the input for the rest of the command, with the answers
    // the shell gives at the end of its input.
    const std::string command = "(printout t (readline) \" \" (read) crlf)";
    AnswerInput(nullptr);
    Type(w, QString::fromStdString(command));
    // (The console writes line ends as LF.)
    const QString atEnd = QString::fromStdString(AtEndOfInput(command)).replace("\r\n", "\n");
    QVERIFY(!atEnd.isEmpty());
    QVERIFY(Output(w).endsWith(atEnd));
    // The next command asks again.
    AnswerInput("again");
    Type(w, "(printout t (readline) crlf)");
    QVERIFY(Output(w).endsWith("again\nagain\n"));
  }

  void CancelledEditorsLeaveTheEngineUnchanged() {
    TWorkbench w;
    w.show();
    QVERIFY(w.OpenFile(Example("blocks.clp")));
    Trigger(w, "actReset");
    const std::string before = w.Engine().GetExpertSystem();
    for (const char* action : {"actRules", "actFactTemplates", "actFacts", "actFunctions"}) {
      bool shown = false;
      WhenShown<QDialog>([&](QDialog* Form) {
        shown = true;
        Form->reject();
      });
      Trigger(w, action);
      QVERIFY2(shown, action);
      QCOMPARE(w.Engine().GetExpertSystem(), before);
    }
    QVERIFY(!UserPackageOf(w.Engine()));
  }
};

std::unique_ptr<QObject> NewWorkbenchTest() { return std::make_unique<WorkbenchTest>(); }

}  // namespace kb::test

#include "WorkbenchTest.moc"
