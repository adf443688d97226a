// The dialog components: required properties, references cleared when
// their objects go, published properties, the caption.
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <set>

#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerPackages.h"
#include "engine/DeducerRules.h"
#include "engine/DeducerTemplates.h"
#include "forms/FormsTestHelper.h"
#include "forms/FormsTests.h"
#include "framework/TypInfo.h"
#include "kbforms/FactTemplateEditorForm.h"
#include "kbforms/KbDialogs.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsSets.h"
#include "rete/KbRule.h"

namespace kb::test {

class KbDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void RequiredPropertiesRaiseBeforeShowing() {
    TRulesDialog rules;
    QCOMPARE(ErrorOf([&] { rules.Execute(); }), std::string(SUnknownEngine));
    TDeducer engine;
    rules.SetEngine(&engine);
    rules.SetMultiEdit(false);
    QCOMPARE(ErrorOf([&] { rules.Execute(); }), std::string(SMissingRule));
    TFactTemplatesDialog templates;
    QCOMPARE(ErrorOf([&] { templates.Execute(); }), std::string(SUnknownEngine));
    TFactsDialog facts;
    QCOMPARE(ErrorOf([&] { facts.Execute(); }), std::string(SUnknownEngine));
    TFactSetDialog factSet;
    QCOMPARE(ErrorOf([&] { factSet.Execute(); }), std::string(SMissingFactSet));
    TFactSet loose(nullptr);
    factSet.SetFactSet(&loose);
    QCOMPARE(ErrorOf([&] { factSet.Execute(); }), std::string(SUnknownEngine));
    TFunctionsDialog functions;
    QCOMPARE(ErrorOf([&] { functions.Execute(); }), std::string(SUnknownEngine));
    QVERIFY(!QApplication::activeModalWidget());
  }

  void ReferencesClearWhenTheirObjectsGo() {
    TRulesDialog rules;
    TFactsDialog facts;
    TFactTemplatesDialog templates;
    TFactSetDialog factSet;
    TFunctionsDialog functions;
    {
      TDeducer engine;
      engine.Parse("(defrule r => (printout t x))");
      auto* set = new TFactSet(&engine);
      auto* package = new TUserPackage(&engine);
      rules.SetEngine(&engine);
      rules.SetRule(engine.Rules().Get("r"));
      facts.SetEngine(&engine);
      templates.SetEngine(&engine);
      factSet.SetFactSet(set);
      functions.SetPackage(package);
      engine.Rules().Remove("r");
      QVERIFY(!rules.GetRule());
      QVERIFY(rules.GetEngine() == &engine);
    }
    QVERIFY(!rules.GetEngine());
    QVERIFY(!facts.GetEngine());
    QVERIFY(!templates.GetEngine());
    QVERIFY(!factSet.GetFactSet());
    QVERIFY(!functions.GetPackage());
  }

  void PropertiesArePublished() {
    auto names = [](const char* Class) {
      std::set<std::string> n;
      for (const TPersistentClass* c = GetClass(Class); c; c = c->GetParent())
        for (const TPropInfo& p : c->Properties) n.insert(p.Name);
      return n;
    };
    auto has = [&](const char* Class, std::set<std::string> Expected) {
      const std::set<std::string> n = names(Class);
      return std::includes(n.begin(), n.end(), Expected.begin(), Expected.end());
    };
    QVERIFY(has("TRulesDialog", {"Caption", "Engine", "Rule", "MultiEdit"}));
    QVERIFY(has("TFactTemplatesDialog", {"Caption", "Engine"}));
    QVERIFY(has("TFactsDialog", {"Caption", "Engine"}));
    QVERIFY(has("TFactSetDialog", {"Caption", "FactSet"}));
    QVERIFY(has("TFunctionsDialog", {"Caption", "Package"}));
    std::unique_ptr<TPersistent> made(GetClass("TRulesDialog")->Create(nullptr));
    QVERIFY(dynamic_cast<TRulesDialog*>(made.get())->GetMultiEdit());
  }

  void CaptionNamesTheFormAndCancelChangesNothing() {
    TDeducer engine;
    engine.Parse("(deftemplate person (slot name))");
    const std::string before = engine.FactTemplates().GetToString();
    TFactTemplatesDialog dialog;
    dialog.SetEngine(&engine);
    dialog.SetCaption("People");
    QString title;
    WhenShown<TFactTemplatesEditDlg>([&](TFactTemplatesEditDlg* Form) {
      title = Form->windowTitle();
      Form->btnNew->click();
      Form->reject();
    });
    QVERIFY(!dialog.Execute());
    QCOMPARE(title, QString("People"));
    QCOMPARE(engine.FactTemplates().GetToString(), before);
  }
};

std::unique_ptr<QObject> NewKbDialogsTest() { return std::make_unique<KbDialogsTest>(); }

}  // namespace kb::test

#include "KbDialogsTest.moc"
