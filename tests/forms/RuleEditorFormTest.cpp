// The "Rule Editor": editing and confirming rules, the engine's parse
// errors, duplicate names, drag and drop with and without variables, the
// free-form tab, the functions list, OK and Cancel.
#include <QAction>
#include <QCheckBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerFunctions.h"
#include "engine/DeducerRules.h"
#include "engine/DeducerTemplates.h"
#include "forms/FormsTestHelper.h"
#include "forms/FormsTests.h"
#include "kbforms/FormsCommon.h"
#include "kbforms/KbDialogs.h"
#include "kbforms/KbTreeViews.h"
#include "kbforms/RuleEditorForm.h"
#include "rete/KbRule.h"

namespace kb::test {

namespace {

const char* const Base =
    "(deftemplate person (slot name) (slot age (type INTEGER) (default 1)))"
    "(defrule greet \"Says hello\" (declare (salience 5)) ?p <- (person (name ?n))"
    " => (printout t \"Hello \" ?n crlf))";

QTreeWidgetItem* TopNode(QTreeWidget* Tree, const QString& Text) {
  for (int i = 0; i < Tree->topLevelItemCount(); ++i)
    if (Tree->topLevelItem(i)->text(0) == Text) return Tree->topLevelItem(i);
  return nullptr;
}

// Drops what Item drags onto Target at Row (-1: below the last line), as
// the mouse would.
template <class Item>
void DropOn(TRulesEditDlg* Form, QListWidget* Target, Item* Dragged, int Row) {
  std::unique_ptr<QMimeData> data(Form->DragData(Dragged));
  QVERIFY(data);
  QPoint at = Row < 0 ? QPoint(5, Target->viewport()->height() - 2)
                      : Target->visualItemRect(Target->item(Row)).center();
  QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Target->viewport(), &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Target->viewport(), &drop);
}

QStringList LinesOf(QListWidget* List) {
  QStringList lines;
  for (int i = 0; i < List->count(); ++i) lines << List->item(i)->text();
  return lines;
}

}  // namespace

class RuleEditorFormTest : public QObject {
  Q_OBJECT

 private slots:
  void SplitsRuleTextIntoLines() {
    const TRuleParts parts = SplitRuleText(
        "(defrule r \"c; not a comment\" (declare (salience 2))\r\n  ?f <- (a (b \"x)\"))\r\n"
        "  ; a comment\r\n  (c)\r\n =>\r\n  (retract ?f)\r\n  (printout t \"=>\" crlf))");
    QCOMPARE(ToQList(parts.Conditions), QStringList({"?f <- (a (b \"x)\"))", "(c)"}));
    QCOMPARE(ToQList(parts.Actions), QStringList({"(retract ?f)", "(printout t \"=>\" crlf)"}));
    QCOMPARE(ToQList(SplitItems("(a\n   b)  ?x<-  (c) \"s t\" word")),
             QStringList({"(a b)", "?x<-", "(c)", "\"s t\"", "word"}));
  }

  void EditsARuleAndConfirms() {
    TDeducer engine;
    engine.Parse(Base);
    TRulesDialog dialog;
    dialog.SetEngine(&engine);
    WhenShown<TRulesEditDlg>([&](TRulesEditDlg* Form) {
      QCOMPARE(Form->windowTitle(), QString("Rule Editor"));
      Form->tvRules->setCurrentItem(TopNode(Form->tvRules, "greet"));
      QCOMPARE(Form->eName->text(), QString("greet"));
      QCOMPARE(Form->eComment->text(), QString("Says hello"));
      QCOMPARE(Form->meSalience->text(), QString("5"));
      QCOMPARE(LinesOf(Form->lbIF), QStringList({"?p <- (person (name ?n))"}));
      // The line editor changes the action.
      Form->lbTHEN->setCurrentRow(0);
      QCOMPARE(Form->eEdit->text(), Form->lbTHEN->item(0)->text());
      Form->eEdit->setText("(printout t \"Bye \" ?n crlf)");
      QTest::keyClick(Form->eEdit, Qt::Key_Return);
      QCOMPARE(LinesOf(Form->lbTHEN), QStringList({"(printout t \"Bye \" ?n crlf)"}));
      Form->meSalience->setText("0");
      QCOMPARE(Form->actReplaceRule->shortcut(), QKeySequence("Ctrl+R"));
      Form->actReplaceRule->trigger();
      // A second rule, written in the free-form tab.
      Form->actNewRule->trigger();
      Form->pcEditor->setCurrentIndex(1);
      Form->eName->setText("count");
      Form->mmIF->setPlainText("(person (age ?a&:(> ?a 1)))");
      Form->mmThen->setPlainText("(printout t ?a crlf)");
      Form->actAddRule->trigger();
      QVERIFY(TopNode(Form->tvRules, "count"));
      Form->pcEditor->setCurrentIndex(0);
      QCOMPARE(LinesOf(Form->lbIF), QStringList({"(person (age ?a&:(> ?a 1)))"}));
      Form->btnOK->click();
    });
    QVERIFY(dialog.Execute());
    TRule* greet = engine.Rules().Get("greet");
    QVERIFY(greet);
    QVERIFY(greet->GetToString().find("Bye") != std::string::npos);
    QCOMPARE(greet->GetSalience(), 0);
    QVERIFY(engine.Rules().Get("count"));
  }

  void BadRuleTextShowsTheParseErrorAndKeepsTheDialogOpen() {
    TDeducer engine;
    engine.Parse(Base);
    TRule* greet = engine.Rules().Get("greet");
    const std::string before = greet->GetToString();
    TRulesDialog dialog;
    dialog.SetEngine(&engine);
    dialog.SetRule(greet);
    dialog.SetMultiEdit(false);
    std::string error, duplicate;
    bool stillOpen = false;
    WhenShown<TRulesEditDlg>([&](TRulesEditDlg* Form) {
      QCOMPARE(Form->eName->text(), QString("greet"));
      QVERIFY(!Form->actAddRule->isEnabled());
      Form->lbIF->item(0)->setText("(person (name");
      AnswerMessage(error);
      Form->btnOK->click();
      stillOpen = Form->isVisible();
      Form->reject();
    });
    QVERIFY(!dialog.Execute());
    QVERIFY(stillOpen);
    std::string expected;
    try {
      engine.ParseRule("(defrule greet (person (name\r\n=>\r\n)");
    } catch (const Exception& e) {
      expected = e.Message();
    }
    QVERIFY(!error.empty());
    QCOMPARE(error.substr(0, 20), expected.substr(0, 20));
    QCOMPARE(greet->GetToString(), before);

    // In the rule base, a name in use is refused.
    TRulesDialog multi;
    multi.SetEngine(&engine);
    WhenShown<TRulesEditDlg>([&](TRulesEditDlg* Form) {
      Form->tvRules->setCurrentItem(TopNode(Form->tvRules, "greet"));
      AnswerMessage(duplicate);
      Form->actAddRule->trigger();
      Form->actDeleteRule->trigger();
      QVERIFY(!TopNode(Form->tvRules, "greet"));
      Form->reject();
    });
    QVERIFY(!multi.Execute());
    QCOMPARE(duplicate, std::string("Duplicate Rules defined with same name: \"greet\""));
    QCOMPARE(engine.Rules().Get("greet")->GetToString(), before);
  }

  void SingleRuleModeAssignsTheEditedRule() {
    TDeducer engine;
    engine.Parse(Base);
    TRulesDialog dialog;
    dialog.SetEngine(&engine);
    dialog.SetRule(engine.Rules().Get("greet"));
    dialog.SetMultiEdit(false);
    WhenShown<TRulesEditDlg>([&](TRulesEditDlg* Form) {
      Form->eComment->setText("Greets");
      Form->btnOK->click();
    });
    QVERIFY(dialog.Execute());
    QCOMPARE(engine.Rules().Get("greet")->GetComment(), std::string("Greets"));
    QCOMPARE(engine.Rules().Count(), size_t(1));
  }

  void DragsTemplatesSlotsFunctionsAndRulesWithAndWithoutVariables() {
    TDeducer engine;
    engine.Parse(Base);
    engine.Parse("(deftemplate flag)");
    TRulesEditDlg form;
    form.LoadFrom(engine, nullptr);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTreeWidgetItem* person = TopNode(form.tvFactTemplates, "person");
    QTreeWidgetItem* age = FindNode(form.tvFactTemplates, "person", "age");
    QVERIFY(age);

    form.cbVariableAssign->setChecked(false);
    DropOn(&form, form.lbIF, person, -1);
    DropOn(&form, form.lbIF, age, -1);
    DropOn(&form, form.lbIF, TopNode(form.tvFactTemplates, "flag"), -1);
    QCOMPARE(LinesOf(form.lbIF),
             QStringList({"(person (name nil) (age 1))", "(person (age 1))", "(flag)"}));

    form.lbIF->clear();
    form.cbVariableAssign->setChecked(true);
    DropOn(&form, form.lbIF, person, -1);
    DropOn(&form, form.lbIF, age, 0);
    DropOn(&form, form.lbIF, person, -1);
    QCOMPARE(LinesOf(form.lbIF), QStringList({"?personage1 <- (person (age ?age2))",
                                              "?person1 <- (person (name ?name1) (age ?age1))",
                                              "?person2 <- (person (name ?name2) (age ?age3))"}));
    // No pattern variables in the actions.
    DropOn(&form, form.lbTHEN, age, -1);
    form.lbFunctions->setCurrentItem(
        form.lbFunctions->findItems("printout", Qt::MatchExactly).first());
    DropOn(&form, form.lbTHEN, form.lbFunctions->currentItem(), 0);
    DropOn(&form, form.lbTHEN, TopNode(form.tvRules, "greet"), -1);
    const QStringList then = LinesOf(form.lbTHEN);
    QCOMPARE(then.size(), 3);
    QCOMPARE(then[0], QString("(printout)"));
    QCOMPARE(then[1], QString("(person (age 1))"));
    QVERIFY(then[2].startsWith("(defrule greet"));
    // A plain node of the rule tree brings its text.
    QTreeWidgetItem* line = TopNode(form.tvRules, "greet")->child(0);
    DropOn(&form, form.lbTHEN, line, -1);
    QCOMPARE(form.lbTHEN->item(3)->text(), line->text(0));

    // The dragged conditions make a rule the engine reads.
    form.lbTHEN->clear();
    form.eName->setText("dragged");
    std::unique_ptr<TRule> rule = form.UpdateCurrentRule();
    QCOMPARE(rule->GetPatterns().Count(), 3);
  }

  void FunctionsListSearchesAndDescribes() {
    TDeducer engine;
    TRulesEditDlg form;
    form.LoadFrom(engine, nullptr);
    const int all = form.lbFunctions->count();
    form.eSearch->setText("str-");
    QVERIFY(form.lbFunctions->count() > 0 && form.lbFunctions->count() < all);
    for (int i = 0; i < form.lbFunctions->count(); ++i)
      QVERIFY(form.lbFunctions->item(i)->text().contains("str-"));
    form.lbFunctions->setCurrentRow(0);
    QVERIFY(form.mmFunctionDesc->toPlainText().startsWith(form.lbFunctions->item(0)->text()));
    form.eSearch->clear();
    QCOMPARE(form.lbFunctions->count(), all);
  }

  void LoadsAndSavesRuleFilesAndRefusesABadOneWhole() {
    // The bad file's first rule is good: the engine installs it before the error.
    TFileAnswers files(
        "(deftemplate item (slot v))\n(deffunction twice (?x) (* 2 ?x))\n"
        "(defrule show (item (v ?x)) => (printout t (twice ?x) crlf))\n",
        "(defrule fine (person (name ?n)) => (printout t ?n crlf))\n"
        "(defrule broken (person (name ?n) => (printout t ?n crlf))\n",
        "saved.rul");
    const char* const needed = "(deftemplate item (slot v)) (deffunction twice (?x) (* 2 ?x))";
    TDeducer engine;
    engine.Parse(Base);
    TRulesDialog dialog;
    dialog.SetEngine(&engine);
    std::string error;
    WhenShown<TRulesEditDlg>([&](TRulesEditDlg* Form) {
      files.Install(Form);
      const std::string before = Form->Work().Rules().GetToString();
      // A cancelled file dialog loads nothing.
      Form->btnLoad->click();
      QCOMPARE(Form->Work().Rules().GetToString(), before);
      // Loading replaces the rules.
      files.Answer = files.Good;
      Form->btnLoad->click();
      QVERIFY(Form->Work().Rules().Contains("show"));
      QVERIFY(!Form->Work().Rules().Contains("greet"));
      QVERIFY(TopNode(Form->tvRules, "show"));
      QVERIFY(!TopNode(Form->tvRules, "greet"));
      QVERIFY(FindNode(Form->tvFactTemplates, "item", "v"));
      const std::string loaded = Form->Work().GetExpertSystem();
      files.Answer = files.Bad;
      AnswerMessage(error);
      Form->btnLoad->click();
      QCOMPARE(Form->Work().GetExpertSystem(), loaded);
      QVERIFY(TopNode(Form->tvRules, "show"));
      QVERIFY(!TopNode(Form->tvRules, "fine"));
      files.Answer = files.Saved;
      Form->btnSave->click();
      Form->btnOK->click();
    });
    QVERIFY(dialog.Execute());
    QCOMPARE(files.Asked, QStringList({"0 load", "0 load", "0 load", "0 save"}));
    QVERIFY(engine.Rules().Contains("show"));
    QVERIFY(!engine.Rules().Contains("greet"));
    // What the loaded rules need came along.
    QVERIFY(engine.FactTemplates().Contains("item"));
    QVERIFY(engine.UserFunctions().Contains("twice"));
    // The error is the engine's own.
    TDeducer other;
    other.Parse(Base);
    QCOMPARE(error, ErrorOf([&] { other.LoadRules(files.Bad.toStdString()); }));
    // The saved file reads back as the same rules.
    TDeducer back;
    back.Parse(needed);
    back.LoadRules(files.Saved.toStdString());
    QCOMPARE(back.Rules().GetToString(), engine.Rules().GetToString());
  }

  void CancelLeavesTheEngineAsItWas() {
    TDeducer engine;
    engine.Parse(Base);
    const std::string before = engine.Rules().GetToString();
    TRulesDialog dialog;
    dialog.SetEngine(&engine);
    WhenShown<TRulesEditDlg>([&](TRulesEditDlg* Form) {
      Form->actClearRules->trigger();
      QCOMPARE(Form->tvRules->topLevelItemCount(), 0);
      Form->reject();
    });
    QVERIFY(!dialog.Execute());
    QCOMPARE(engine.Rules().GetToString(), before);
  }
};

std::unique_ptr<QObject> NewRuleEditorFormTest() { return std::make_unique<RuleEditorFormTest>(); }

}  // namespace kb::test

#include "RuleEditorFormTest.moc"
