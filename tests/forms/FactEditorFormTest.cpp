// The "Fact Editor": editing facts in the grid and as free text, sorting,
// parse errors, OK and Cancel for an engine and for a fact set.
#include <QComboBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerTemplates.h"
#include "forms/FormsTestHelper.h"
#include "forms/FormsTests.h"
#include "kbforms/FactEditorForm.h"
#include "kbforms/KbDialogs.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsSets.h"

namespace kb::test {

namespace {

const char* const People =
    "(deftemplate person (slot name) (slot age (type INTEGER)))"
    "(deftemplate place (slot city))";

int RowOf(QListWidget* List, const QString& Contains) {
  for (int i = 0; i < List->count(); ++i)
    if (List->item(i)->text().contains(Contains)) return i;
  return -1;
}

void SetCell(QTableWidget* Grid, const QString& Slot, const QString& Value) {
  for (int r = 0; r < Grid->rowCount(); ++r)
    if (Grid->item(r, 0)->text() == Slot) Grid->item(r, 1)->setText(Value);
}

}  // namespace

class FactEditorFormTest : public QObject {
  Q_OBJECT

 private slots:
  void EditsFactsInTheGridAndFreeFormAndSetsThemOnOK() {
    TDeducer engine;
    engine.Parse(People);
    engine.Assert("(person (name Ann) (age 30))");
    engine.Assert("(place (city Rome))");
    TFactsDialog dialog;
    dialog.SetEngine(&engine);
    WhenShown<TFactsEditDlg>([&](TFactsEditDlg* Form) {
      QCOMPARE(Form->windowTitle(), QString("Fact Editor"));
      // The engine's initial fact is one of them.
      QCOMPARE(Form->lbFacts->count(), 3);
      // The grid: Ann grows a year older.
      Form->lbFacts->setCurrentRow(RowOf(Form->lbFacts, "Ann"));
      QCOMPARE(Form->cbFactTemplates->currentText(), QString("person"));
      QCOMPARE(Form->sgSlots->item(1, 1)->text(), QString("30"));
      SetCell(Form->sgSlots, "age", "31");
      Form->btnReplace->click();
      QVERIFY(RowOf(Form->lbFacts, "(age 31)") >= 0);
      QCOMPARE(Form->lbFacts->count(), 3);
      // Free form: a new fact.
      Form->pcEditor->setCurrentWidget(Form->mmFactEditor);
      Form->mmFactEditor->setPlainText("(person (name Bob) (age 5))");
      Form->btnAdd->click();
      QCOMPARE(Form->lbFacts->count(), 4);
      // A new fact from the grid, of the template chosen.
      Form->pcEditor->setCurrentWidget(Form->sgSlots);
      Form->cbFactTemplates->setCurrentText("place");
      Form->btnNew->click();
      SetCell(Form->sgSlots, "city", "Oslo");
      Form->btnAdd->click();
      QCOMPARE(Form->lbFacts->count(), 5);
      // Sorted by template, places come after people.
      Form->rbSortTemplate->setChecked(true);
      QVERIFY(RowOf(Form->lbFacts, "Rome") > RowOf(Form->lbFacts, "Bob"));
      Form->rbSortID->setChecked(true);
      QVERIFY(RowOf(Form->lbFacts, "Rome") < RowOf(Form->lbFacts, "Bob"));
      // Rome goes.
      Form->lbFacts->setCurrentRow(RowOf(Form->lbFacts, "Rome"));
      Form->btnDelete->click();
      QCOMPARE(Form->lbFacts->count(), 4);
      Form->accept();
    });
    QVERIFY(dialog.Execute());
    const std::string facts = engine.Facts().GetToString();
    QVERIFY(facts.find("(person (name Ann) (age 31))") != std::string::npos);
    QVERIFY(facts.find("(age 30)") == std::string::npos);
    QVERIFY(facts.find("Bob") != std::string::npos);
    QVERIFY(facts.find("Oslo") != std::string::npos);
    QVERIFY(facts.find("Rome") == std::string::npos);
    QCOMPARE(engine.Facts().Count(), 4);
  }

  void BadFactTextShowsTheParseErrorAndCancelChangesNothing() {
    TDeducer engine;
    engine.Parse(People);
    engine.Assert("(person (name Ann) (age 30))");
    const std::string before = engine.Facts().GetToIDString();
    TFactsDialog dialog;
    dialog.SetEngine(&engine);
    std::string parseError, typeError;
    WhenShown<TFactsEditDlg>([&](TFactsEditDlg* Form) {
      Form->pcEditor->setCurrentWidget(Form->mmFactEditor);
      Form->mmFactEditor->setPlainText("(person (name");
      AnswerMessage(parseError);
      Form->btnAdd->click();
      QCOMPARE(Form->lbFacts->count(), 2);
      Form->pcEditor->setCurrentWidget(Form->sgSlots);
      Form->lbFacts->setCurrentRow(RowOf(Form->lbFacts, "Ann"));
      SetCell(Form->sgSlots, "age", "old");
      AnswerMessage(typeError);
      Form->btnReplace->click();
      QVERIFY(RowOf(Form->lbFacts, "(age 30)") >= 0);
      Form->btnClear->click();
      QCOMPARE(Form->lbFacts->count(), 0);
      Form->reject();
    });
    QVERIFY(!dialog.Execute());
    QVERIFY(!parseError.empty());
    QVERIFY(!typeError.empty());
    QCOMPARE(engine.Facts().GetToIDString(), before);
  }

  void LoadsAndSavesFactFilesAndRefusesABadOneWhole() {
    TFileAnswers files("(person (name Cy) (age 7))\n(place (city Oslo))\n",
                       "(person (name Dee) (age 8))\n(person (nme x))\n", "saved.fct");
    TDeducer engine;
    engine.Parse(People);
    engine.Assert("(person (name Ann) (age 30))");
    TFactsDialog dialog;
    dialog.SetEngine(&engine);
    std::string error;
    int listed = 0;
    WhenShown<TFactsEditDlg>([&](TFactsEditDlg* Form) {
      files.Install(Form);
      files.Answer = files.Good;
      // Loaded facts join the list.
      const int before = Form->lbFacts->count();
      Form->btnLoad->click();
      QCOMPARE(Form->lbFacts->count(), before + 2);
      QVERIFY(RowOf(Form->lbFacts, "Oslo") >= 0);
      files.Answer = files.Bad;
      AnswerMessage(error);
      Form->btnLoad->click();
      QCOMPARE(Form->lbFacts->count(), before + 2);
      QCOMPARE(RowOf(Form->lbFacts, "Dee"), -1);
      files.Answer = files.Saved;
      Form->btnSave->click();
      listed = Form->lbFacts->count();
      Form->accept();
    });
    QVERIFY(dialog.Execute());
    QCOMPARE(files.Asked, QStringList({"2 load", "2 load", "2 save"}));
    QCOMPARE(engine.Facts().Count(), listed);
    QVERIFY(engine.Facts().GetToString().find("(person (name Cy) (age 7))") != std::string::npos);
    TDeducer other;
    other.Parse(People);
    QCOMPARE(error, ErrorOf([&] { other.LoadFacts(files.Bad.toStdString()); }));
    // The saved file holds the listed facts, in a form the engine reads back.
    TDeducer back;
    back.Parse(People);
    back.Facts().Clear();
    back.LoadFacts(files.Saved.toStdString());
    QCOMPARE(back.Facts().GetToString(), engine.Facts().GetToString());
  }

  void GoalsAreNotListedAndStayGoals() {
    TDeducer engine;
    engine.Parse(
        "(deftemplate ask (slot x)) (do-backward-chaining ask) (defrule r (ask (x 1)) =>)");
    engine.Reset();
    QVERIFY(engine.Facts().GetToString().find("need-ask") != std::string::npos);
    TFactsDialog dialog;
    dialog.SetEngine(&engine);
    int goals = -1;
    WhenShown<TFactsEditDlg>([&](TFactsEditDlg* Form) {
      goals = RowOf(Form->lbFacts, "need-ask");
      Form->accept();
    });
    QVERIFY(dialog.Execute());
    QCOMPARE(goals, -1);
    // The rule asked for its goal again.
    QVERIFY(engine.Facts().GetToString().find("need-ask") != std::string::npos);
  }

  void FactSetFactsAreReplacedOnOK() {
    TDeducer engine;
    engine.Parse(People);
    engine.Parse("(deffacts folks (person (name Ann) (age 30)) (person (name Cy) (age 2)))");
    TFactSet* set = engine.FactSets().GetItem(engine.FactSets().IndexOf("folks"));
    QVERIFY(set);
    const int facts = engine.Facts().Count();
    TFactSetDialog dialog;
    dialog.SetFactSet(set);
    WhenShown<TFactsEditDlg>([&](TFactsEditDlg* Form) {
      QCOMPARE(Form->lbFacts->count(), 2);
      Form->lbFacts->setCurrentRow(RowOf(Form->lbFacts, "Cy"));
      Form->btnDelete->click();
      Form->pcEditor->setCurrentWidget(Form->mmFactEditor);
      Form->mmFactEditor->setPlainText("(person (name Di) (age 4))");
      Form->btnAdd->click();
      Form->accept();
    });
    QVERIFY(dialog.Execute());
    const std::vector<std::string> texts = set->GetFactStrings();
    QCOMPARE(int(texts.size()), 2);
    QVERIFY(texts[0].find("Ann") != std::string::npos);
    QVERIFY(texts[1].find("Di") != std::string::npos);
    QCOMPARE(engine.Facts().Count(), facts);
  }
};

std::unique_ptr<QObject> NewFactEditorFormTest() { return std::make_unique<FactEditorFormTest>(); }

}  // namespace kb::test

#include "FactEditorFormTest.moc"
