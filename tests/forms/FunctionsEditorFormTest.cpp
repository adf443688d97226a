// The "Choices Dialog": moving functions between the lists, OK and Cancel.
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "engine/Deducer.h"
#include "engine/DeducerPackages.h"
#include "forms/FormsTestHelper.h"
#include "forms/FormsTests.h"
#include "kbforms/FunctionsEditorForm.h"
#include "kbforms/KbDialogs.h"

namespace kb::test {

namespace {

// The engine's package holding a function of that name.
TUserPackage* PackageWith(TDeducer& Engine, const char* Name) {
  for (int i = 0; i < Engine.GetComponentCount(); ++i)
    if (auto* p = dynamic_cast<TUserPackage*>(Engine.GetComponent(i)))
      if (p->IndexOf(Name) >= 0) return p;
  return nullptr;
}

void Select(QListWidget* List, const QString& Text) {
  List->clearSelection();
  const auto found = List->findItems(Text, Qt::MatchExactly);
  QVERIFY(!found.isEmpty());
  found.first()->setSelected(true);
}

}  // namespace

class FunctionsEditorFormTest : public QObject {
  Q_OBJECT

 private slots:
  void MovesFunctionsAndSetsThemBackOnOK() {
    TDeducer engine;
    TUserPackage* package = PackageWith(engine, "str-cat");
    QVERIFY(package);
    const int count = package->GetFunctions().Count();
    TFunctionsDialog dialog;
    dialog.SetPackage(package);
    QString moved;
    WhenShown<TFunctionsEditDlg>([&](TFunctionsEditDlg* Form) {
      QCOMPARE(Form->windowTitle(), QString("Choices Dialog"));
      QCOMPARE(Form->lbUsing->count(), count);
      // "str-cat" goes back to the available functions...
      Select(Form->lbUsing, "str-cat");
      Form->btnExclude->click();
      QVERIFY(Form->lbUsing->findItems("str-cat", Qt::MatchExactly).isEmpty());
      QCOMPARE(Form->lbAvailable->findItems("str-cat", Qt::MatchExactly).size(), 1);
      // ...and one of the available ones comes in, at the end.
      Select(Form->lbAvailable, "+");
      Form->btnInclude->click();
      QCOMPARE(Form->lbUsing->item(Form->lbUsing->count() - 1)->text(), QString("+"));
      // Everything across and back again.
      const int total = Form->lbUsing->count() + Form->lbAvailable->count();
      Form->btnIncludeAll->click();
      QCOMPARE(Form->lbAvailable->count(), 0);
      QCOMPARE(Form->lbUsing->count(), total);
      QVERIFY(!Form->btnIncludeAll->isEnabled());
      Form->btnExcludeAll->click();
      QCOMPARE(Form->lbUsing->count(), 0);
      QVERIFY(!Form->btnExclude->isEnabled());
      // Moved items keep their order: the first used function comes back first.
      Form->lbAvailable->clearSelection();
      for (int i = 0; i < Form->lbAvailable->count(); ++i) {
        const QString t = Form->lbAvailable->item(i)->text();
        if (t == "str-index" || t == "+") Form->lbAvailable->item(i)->setSelected(true);
      }
      Form->btnInclude->click();
      QCOMPARE(Form->lbUsing->count(), 2);
      moved = Form->lbUsing->item(0)->text() + " " + Form->lbUsing->item(1)->text();
      Form->accept();
    });
    QVERIFY(dialog.Execute());
    QCOMPARE(moved, QString("str-index +"));
    QCOMPARE(package->GetFunctions().Count(), 2);
    QCOMPARE(package->IndexOf("str-index"), 0);
    QCOMPARE(package->IndexOf("+"), 1);
    QVERIFY(!engine.ContainsUserFunction("str-cat"));
  }

  void CancelLeavesThePackageAsItWas() {
    TDeducer engine;
    TUserPackage* package = PackageWith(engine, "str-cat");
    const std::string before = package->GetFunctions().GetToString();
    TFunctionsDialog dialog;
    dialog.SetPackage(package);
    WhenShown<TFunctionsEditDlg>([&](TFunctionsEditDlg* Form) {
      Form->btnExcludeAll->click();
      Form->reject();
    });
    QVERIFY(!dialog.Execute());
    QCOMPARE(package->GetFunctions().GetToString(), before);
    QVERIFY(engine.ContainsUserFunction("str-cat"));
  }
};

std::unique_ptr<QObject> NewFunctionsEditorFormTest() {
  return std::make_unique<FunctionsEditorFormTest>();
}

}  // namespace kb::test

#include "FunctionsEditorFormTest.moc"
