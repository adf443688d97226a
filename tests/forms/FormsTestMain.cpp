// Runs the test class named as the first argument (every class without
// one); the other arguments go to QtTest.
#include <QApplication>
#include <QTest>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "forms/FormsTests.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  struct TEntry {
    const char* Name;
    std::function<std::unique_ptr<QObject>()> Make;
  };
  const std::vector<TEntry> tests = {
      {"KbDialogs", [] { return kb::test::NewKbDialogsTest(); }},
      {"FunctionsEditorForm", [] { return kb::test::NewFunctionsEditorFormTest(); }},
      {"FactTemplateEditorForm", [] { return kb::test::NewFactTemplateEditorFormTest(); }},
      {"FactEditorForm", [] { return kb::test::NewFactEditorFormTest(); }},
      {"RuleEditorForm", [] { return kb::test::NewRuleEditorFormTest(); }},
      {"QtDialogs", [] { return kb::test::NewQtDialogsTest(); }},
      {"Workbench", [] { return kb::test::NewWorkbenchTest(); }},
  };
  const char* only = argc > 1 && argv[1][0] != '-' ? argv[1] : nullptr;
  std::vector<char*> args{argv[0]};
  for (int i = only ? 2 : 1; i < argc; ++i) args.push_back(argv[i]);
  int failed = 0;
  bool found = false;
  for (const TEntry& t : tests) {
    if (only && std::strcmp(only, t.Name) != 0) continue;
    found = true;
    std::unique_ptr<QObject> test = t.Make();
    failed += QTest::qExec(test.get(), static_cast<int>(args.size()), args.data());
  }
  return found ? (failed ? 1 : 0) : 2;
}
