// The test classes of the editor dialogs, made by name (FormsTestMain.cpp).
#pragma once

#include <QObject>
#include <memory>

namespace kb::test {

std::unique_ptr<QObject> NewKbDialogsTest();
std::unique_ptr<QObject> NewFunctionsEditorFormTest();
std::unique_ptr<QObject> NewFactTemplateEditorFormTest();
std::unique_ptr<QObject> NewFactEditorFormTest();
std::unique_ptr<QObject> NewRuleEditorFormTest();
std::unique_ptr<QObject> NewQtDialogsTest();
std::unique_ptr<QObject> NewWorkbenchTest();

}  // namespace kb::test
