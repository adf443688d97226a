// Renders each editor form, loaded from an example knowledge base, to a
// PNG file: forms_screenshots OUTDIR EXAMPLE.clp (scripts/screenshots.sh).
// Not a test; it lets a person look at the layouts.
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <cstdio>

#include "engine/Deducer.h"
#include "engine/DeducerPackages.h"
#include "kbforms/FactEditorForm.h"
#include "kbforms/FactTemplateEditorForm.h"
#include "kbforms/FunctionsEditorForm.h"
#include "kbforms/RuleEditorForm.h"

namespace {

bool Save(QWidget& Form, const QDir& Dir, const QString& Name) {
  Form.show();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  const QString file = Dir.filePath(Name + ".png");
  if (!Form.grab().save(file)) {
    std::fprintf(stderr, "cannot write %s\n", file.toLocal8Bit().constData());
    return false;
  }
  std::printf("%s\n", file.toLocal8Bit().constData());
  Form.hide();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: forms_screenshots OUTDIR EXAMPLE.clp\n");
    return 2;
  }
  QDir dir(argv[1]);
  if (!dir.mkpath(".")) return 1;
  kb::TDeducer engine;
  try {
    engine.LoadFromFile(argv[2]);
    engine.Reset();
  } catch (const kb::Exception& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    return 1;
  }
  bool ok = true;
  {
    kb::TRulesEditDlg form;
    form.LoadFrom(engine, nullptr);
    if (form.tvRules->topLevelItemCount() > 0)
      form.tvRules->setCurrentItem(form.tvRules->topLevelItem(0));
    form.tvFactTemplates->expandAll();
    ok &= Save(form, dir, "RuleEditor");
    form.pcEditor->setCurrentIndex(1);
    form.pcKnowledge->setCurrentIndex(1);
    if (form.lbFunctions->count() > 0) form.lbFunctions->setCurrentRow(0);
    ok &= Save(form, dir, "RuleEditorFreeForm");
  }
  {
    kb::TFactTemplatesEditDlg form;
    form.LoadFrom(engine);
    QTreeWidgetItem* first =
        form.tvFactTemplates->topLevelItem(form.tvFactTemplates->topLevelItemCount() - 1);
    if (first && first->childCount() > 0) form.tvFactTemplates->setCurrentItem(first->child(0));
    ok &= Save(form, dir, "FactTemplateEditor");
  }
  {
    kb::TFactsEditDlg form;
    form.LoadFrom(engine);
    if (form.lbFacts->count() > 1) form.lbFacts->setCurrentRow(1);
    ok &= Save(form, dir, "FactEditor");
  }
  for (int i = 0; i < engine.GetComponentCount(); ++i) {
    auto* package = dynamic_cast<kb::TUserPackage*>(engine.GetComponent(i));
    if (!package || package->IndexOf("str-cat") < 0) continue;
    kb::TFunctionsEditDlg form;
    form.LoadFrom(*package);
    ok &= Save(form, dir, "FunctionsEditor");
    break;
  }
  return ok ? 0 : 1;
}
