// The "Fact Template Editor": editing templates and slots, the type check
// of defaults, OK and Cancel.
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerTemplates.h"
#include "forms/FormsTestHelper.h"
#include "forms/FormsTests.h"
#include "kbforms/FactTemplateEditorForm.h"
#include "kbforms/KbDialogs.h"
#include "kbforms/KbTreeViews.h"
#include "memory/KbFacts.h"

namespace kb::test {

namespace {

QTreeWidgetItem* Node(QTreeWidget* Tree, const char* Template, const char* Slot = "") {
  return FindNode(Tree, Template, Slot);
}

// Types into a field and presses Enter there, as a user would.
void Type(QLineEdit* Edit, const QString& Text) {
  Edit->setFocus();
  Edit->clear();
  QTest::keyClicks(Edit, Text);
  QTest::keyClick(Edit, Qt::Key_Return);
}

void CheckOnly(QListWidget* Types, const QString& Type) {
  for (int i = 0; i < Types->count(); ++i)
    Types->item(i)->setCheckState(Types->item(i)->text() == Type ? Qt::Checked : Qt::Unchecked);
}

const char* const PersonText =
    "(deftemplate person (slot name) (slot age (type INTEGER) (default 1)))";

}  // namespace

class FactTemplateEditorFormTest : public QObject {
  Q_OBJECT

 private slots:
  void TreeShowsEachTemplateWithItsCommentAndSlots() {
    TDeducer engine;
    engine.Parse(
        "(deftemplate person \"A person\" (slot name) (slot age (type INTEGER) (default 1)))"
        "(deftemplate flag) (deftemplate place (slot x))");
    QTreeWidget tree;
    FillTreeView(engine.FactTemplates(), &tree);
    // The engine's own templates are not shown; the first node is selected.
    const int count = tree.topLevelItemCount();
    QVERIFY(count >= 3);
    for (int i = 0; i < count; ++i) QVERIFY(!tree.topLevelItem(i)->text(0).startsWith("__"));
    QCOMPARE(tree.currentItem(), tree.topLevelItem(0));
    QTreeWidgetItem* person = Node(&tree, "person");
    QVERIFY(person);
    QCOMPARE(person->text(0), QString("person"));
    QCOMPARE(int(NodeKind(person)), int(TKbNodeKind::Template));
    QCOMPARE(person->childCount(), 3);
    QTreeWidgetItem* comment = person->child(0);
    QCOMPARE(comment->text(0), QString("A person"));
    QCOMPARE(int(NodeKind(comment)), int(TKbNodeKind::Comment));
    QVERIFY(!(comment->flags() & Qt::ItemIsDragEnabled));
    // Slot nodes show the slot's description and carry its names.
    QTreeWidgetItem* age = Node(&tree, "person", "age");
    QVERIFY(age);
    QCOMPARE(age->parent(), person);
    QCOMPARE(age->text(0), QString("(slot age (type INTEGER) (default 1))"));
    QCOMPARE(NodeName(age), std::string("person"));
    QCOMPARE(NodeSlot(age), std::string("age"));
    // No comment, no comment node; an ordered template has no slot nodes.
    QCOMPARE(Node(&tree, "place")->childCount(), 1);
    QCOMPARE(Node(&tree, "flag")->childCount(), 0);
    // Filling again starts from an empty tree.
    FillTreeView(engine.FactTemplates(), &tree);
    QCOMPARE(tree.topLevelItemCount(), count);
    TDeducer empty;
    FillTreeView(empty.FactTemplates(), &tree);
    QCOMPARE(tree.topLevelItemCount(), count - 3);
    QVERIFY(!Node(&tree, "person"));

    // The editor opens on the first template; its comment node stands for
    // the template.
    TFactTemplatesEditDlg form;
    form.LoadFrom(engine);
    QCOMPARE(form.eName->text(), form.tvFactTemplates->topLevelItem(0)->text(0));
    form.tvFactTemplates->setCurrentItem(Node(form.tvFactTemplates, "place"));
    form.tvFactTemplates->setCurrentItem(Node(form.tvFactTemplates, "person")->child(0));
    QCOMPARE(form.eName->text(), QString("person"));
    QCOMPARE(form.eComment->text(), QString("A person"));
    QVERIFY(form.eSlotName->text().isEmpty());
  }

  void EditsTemplatesAndSlotsAndSetsThemOnOK() {
    TDeducer engine;
    engine.Parse(PersonText);
    TFactTemplatesDialog dialog;
    dialog.SetEngine(&engine);
    WhenShown<TFactTemplatesEditDlg>([&](TFactTemplatesEditDlg* Form) {
      QCOMPARE(Form->windowTitle(), QString("Fact Template Editor"));
      QVERIFY(Node(Form->tvFactTemplates, "person", "age"));
      Form->tvFactTemplates->setCurrentItem(Node(Form->tvFactTemplates, "person"));
      Type(Form->eComment, "A person");
      Form->btnNewSlot->click();
      QVERIFY(Node(Form->tvFactTemplates, "person", "slot1"));
      Form->eSlotName->setText("score");
      CheckOnly(Form->clbSlotTypes, "FLOAT");
      Type(Form->eSlotDefault, "2.5");
      QVERIFY(Node(Form->tvFactTemplates, "person", "score"));
      // A multislot and a dynamic default.
      Form->btnNewSlot->click();
      Form->eSlotName->setText("tags");
      Form->cbMultiSlot->setChecked(true);
      QVERIFY(!Form->clbSlotTypes->isEnabled());
      Type(Form->eSlotDefault, "a b");
      Form->btnNewSlot->click();
      Form->eSlotName->setText("stamp");
      Form->cbDefaultDynamic->setChecked(true);
      Type(Form->eSlotDefault, "(gensym)");
      // A new template, renamed.
      Form->btnNew->click();
      Type(Form->eName, "place");
      QVERIFY(Node(Form->tvFactTemplates, "place"));
      Form->btnOK->click();
    });
    QVERIFY(dialog.Execute());
    IFactTemplate person = engine.FactTemplates().Get("person");
    QCOMPARE(person->GetComment(), std::string("A person"));
    TFactSlot* score = person->FindSlot("score");
    QVERIFY(score);
    QVERIFY(score->GetSlotType() == TKbTypes{dtFloat});
    QCOMPARE(score->GetSlotDefault()->GetAsFloat(), 2.5);
    QVERIFY(person->FindSlot("tags")->IsMultiSlot());
    QCOMPARE(person->FindSlot("tags")->GetSlotDefault()->ListPtr()->Count(), 2);
    QCOMPARE(int(person->FindSlot("stamp")->GetSlotDefault()->GetDType()), int(dtFunCall));
    QVERIFY(engine.FactTemplates().Contains("place"));
  }

  void WrongTypedDefaultShowsTheMessageAndChangesNothing() {
    TDeducer engine;
    engine.Parse(PersonText);
    const std::string before = engine.FactTemplates().GetToString();
    TFactTemplatesDialog dialog;
    dialog.SetEngine(&engine);
    std::string wrongType, notACall, badName;
    std::string workAfter;
    WhenShown<TFactTemplatesEditDlg>([&](TFactTemplatesEditDlg* Form) {
      Form->tvFactTemplates->setCurrentItem(Node(Form->tvFactTemplates, "person", "age"));
      AnswerMessage(wrongType);
      Type(Form->eSlotDefault, "abc");
      // The panel keeps what was typed; the slot is as it was.
      QCOMPARE(Form->eSlotDefault->text(), QString("abc"));
      workAfter = Form->Work().FactTemplates().GetToString();
      // Moving away is refused too: the panel must be fixed first.
      AnswerMessage(wrongType);
      Form->tvFactTemplates->setCurrentItem(Node(Form->tvFactTemplates, "person", "name"));
      QCOMPARE(Form->eSlotName->text(), QString("age"));
      Form->cbDefaultDynamic->setChecked(true);
      AnswerMessage(notACall);
      Type(Form->eSlotDefault, "5");
      Form->cbDefaultDynamic->setChecked(false);
      Form->eSlotDefault->setText("7");
      AnswerMessage(badName);
      Type(Form->eSlotName, "my age");
      Form->reject();
    });
    QVERIFY(!dialog.Execute());
    QCOMPARE(wrongType, std::string("Not a INTEGER.  Value Type is dtAtom"));
    QCOMPARE(notACall, std::string("Not a function call.  Value Type is dtInteger"));
    QVERIFY(!badName.empty());
    QCOMPARE(workAfter, before);
    QCOMPARE(engine.FactTemplates().GetToString(), before);
  }

  void DefaultsConvertAsTheirSlotAllows() {
    TDeducer engine;
    QVERIFY(AddTypeAndValue(engine, "", TKbTypes{dtInteger}, false, false) == FCNil);
    QCOMPARE(AddTypeAndValue(engine, " 12 ", TKbTypes{dtInteger}, false, false)->GetAsInteger(),
             int64_t(12));
    // nil stands for "no default" whatever the types.
    QVERIFY(AddTypeAndValue(engine, "nil", TKbTypes{dtInteger}, false, false) == FCNil);
    // A plain call runs now and its value is checked.
    QCOMPARE(AddTypeAndValue(engine, "(+ 1 2)", TKbTypes{dtInteger}, false, false)->GetAsInteger(),
             int64_t(3));
    QCOMPARE(
        AddTypeAndValue(engine, "\"x\"", TKbTypes{dtAtom, dtString}, false, false)->GetAsString(),
        std::string("x"));
    QCOMPARE(AddTypeAndValue(engine, "a b c", KbMultiSlotTypes, false, true)->ListPtr()->Count(),
             3);
  }

  void LoadsAndSavesTemplateFilesAndRefusesABadOneWhole() {
    TFileAnswers files("(deftemplate gadget \"A gadget\" (slot size (type INTEGER) (default 2)))\n",
                       "(deftemplate widget (slot a))\n(deftemplate broken (slot))\n", "saved.tpl");
    TDeducer engine;
    engine.Parse(PersonText);
    TFactTemplatesDialog dialog;
    dialog.SetEngine(&engine);
    std::string error;
    WhenShown<TFactTemplatesEditDlg>([&](TFactTemplatesEditDlg* Form) {
      files.Install(Form);
      files.Answer = files.Good;
      // Loading replaces the templates.
      Form->btnLoad->click();
      QVERIFY(Form->Work().FactTemplates().Contains("gadget"));
      QVERIFY(!Form->Work().FactTemplates().Contains("person"));
      QCOMPARE(Node(Form->tvFactTemplates, "gadget")->child(0)->text(0), QString("A gadget"));
      QVERIFY(Node(Form->tvFactTemplates, "gadget", "size"));
      const std::string loaded = Form->Work().FactTemplates().GetToString();
      files.Answer = files.Bad;
      AnswerMessage(error);
      Form->btnLoad->click();
      QCOMPARE(Form->Work().FactTemplates().GetToString(), loaded);
      QVERIFY(!Node(Form->tvFactTemplates, "widget"));
      files.Answer = files.Saved;
      Form->btnSave->click();
      Form->btnOK->click();
    });
    QVERIFY(dialog.Execute());
    QCOMPARE(files.Asked, QStringList({"1 load", "1 load", "1 save"}));
    QVERIFY(engine.FactTemplates().Contains("gadget"));
    QVERIFY(!engine.FactTemplates().Contains("person"));
    TDeducer other;
    QCOMPARE(error, ErrorOf([&] { other.LoadFactTemplates(files.Bad.toStdString()); }));
    TDeducer back;
    back.Parse(ReadFile(files.Saved));
    QCOMPARE(back.FactTemplates().GetToString(), engine.FactTemplates().GetToString());
  }

  void DeletingAndCancelLeaveTheEngineAlone() {
    TDeducer engine;
    engine.Parse(PersonText);
    engine.Parse("(deftemplate place (slot x))");
    const std::string before = engine.FactTemplates().GetToString();
    TFactTemplatesDialog dialog;
    dialog.SetEngine(&engine);
    WhenShown<TFactTemplatesEditDlg>([&](TFactTemplatesEditDlg* Form) {
      Form->tvFactTemplates->setCurrentItem(Node(Form->tvFactTemplates, "place"));
      Form->btnDelete->click();
      QVERIFY(!Node(Form->tvFactTemplates, "place"));
      Form->tvFactTemplates->setCurrentItem(Node(Form->tvFactTemplates, "person", "name"));
      Form->btnDelete->click();
      QVERIFY(!Node(Form->tvFactTemplates, "person", "name"));
      Form->reject();
    });
    QVERIFY(!dialog.Execute());
    QCOMPARE(engine.FactTemplates().GetToString(), before);
  }
};

std::unique_ptr<QObject> NewFactTemplateEditorFormTest() {
  return std::make_unique<FactTemplateEditorFormTest>();
}

}  // namespace kb::test

#include "FactTemplateEditorFormTest.moc"
