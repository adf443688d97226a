// The "Rule Editor": the rule base as a tree, the templates and functions
// one can drag into a rule, and the panel that edits one rule: its name,
// comment and salience, and its conditions (IF) and actions (THEN) as
// lists of lines or as free text.
//
// The form edits the rules of a working engine of its own, a copy of the
// edited engine. The panel's rule is written as text and read by that
// engine (UpdateCurrentRule), so its parse errors are the engine's; they
// are shown and change nothing.
//
// Internal to kbforms; TRulesDialog shows it.
#pragma once

#include <QListWidget>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include "kbforms/FormsCommon.h"

#include "framework/Classes.h"
#include "framework/Ref.h"

class QAction;
class QCheckBox;
class QLineEdit;
class QMimeData;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace kb {

class TDeducer;
class TRule;
class TFactSlot;
class TFactTemplate;
class TKbUserFunction;
struct TRuleParts;

// What is dragged inside the rule editor.
enum TKbDragType {
  idtNone,      // nothing the editor knows (a node's text)
  idtSlot,      // a slot of a template
  idtRule,      // a rule
  idtTemplate,  // a fact template
  idtFunction,  // a function
};

class TKbDragObject {
 public:
  TKbDragType DragType = idtNone;
  // The rule, for idtRule.
  TPersistent* KbObject = nullptr;
  // The slot, template or function (counted objects).
  TRef<TInterfacedPersistent> KbUnknown;
  // The text of a node of no other kind.
  std::string Text;

  TRule* AsRule() const;
  TFactSlot* AsFactSlot() const;
  TFactTemplate* AsTemplate() const;
  TKbUserFunction* AsFunction() const;
};

// The MIME type of what the editor's trees and lists drag: the kind and the
// names ("template\nperson", "slot\nperson\nage", "function\nprintout",
// "rule\nstart").
constexpr const char* KbDragMimeType = "application/x-deducer-item";

// A tree or list whose items are dragged as what they stand for.
class TKbDragTree : public QTreeWidget {
 public:
  using QTreeWidget::QTreeWidget;
  std::function<QMimeData*(QTreeWidgetItem*)> MakeMime;

 protected:
  QMimeData* mimeData(const QList<QTreeWidgetItem*>& Items) const override;
};

class TKbDragList : public QListWidget {
 public:
  using QListWidget::QListWidget;
  std::function<QMimeData*(QListWidgetItem*)> MakeMime;
  // Called for a drop at Row (-1: below the last line).
  std::function<void(int Row, const QMimeData* Data)> OnDrop;

 protected:
  QMimeData* mimeData(const QList<QListWidgetItem*>& Items) const override;
  void dragEnterEvent(QDragEnterEvent* Event) override;
  void dragMoveEvent(QDragMoveEvent* Event) override;
  void dropEvent(QDropEvent* Event) override;
};

class TRulesEditDlg : public TKbForm {
 public:
  explicit TRulesEditDlg(QWidget* Parent = nullptr);
  ~TRulesEditDlg() override;
  // Copies Engine into the working engine. With Rule, the form edits that
  // one rule (shown in the panel) and OK keeps the edited rule; without,
  // it edits the whole rule base.
  void LoadFrom(TDeducer& Engine, TRule* Rule);
  TDeducer& Work() { return *Work_; }
  // The rule the panel describes, read by the working engine; raises the
  // engine's parse error.
  std::unique_ptr<TRule> UpdateCurrentRule();
  // The rule confirmed in single-rule mode (nil before OK).
  TRule* EditedRule() const { return Edited_.get(); }
  // Shows a rule of the working engine in the panel and selects it.
  void ShowRule(const std::string& Name);

  // What a drag carries, and the line a drop inserts.
  QMimeData* DragData(QTreeWidgetItem* Item) const;
  QMimeData* DragData(QListWidgetItem* Item) const;
  TKbDragObject DragObjectOf(const QMimeData* Data) const;
  std::string DropText(const TKbDragObject& Object, bool IntoIF);
  // Base followed by the smallest number from 1 that gives a name not
  // handed out before in this editor; the name is remembered.
  std::string GenerateUniqueVariable(const std::string& Base);
  std::string GenerateUniqueBinding(const std::string& Base);

  TKbDragTree* tvRules;
  QTabWidget* pcKnowledge;
  TKbDragTree* tvFactTemplates;
  QLineEdit* eSearch;
  TKbDragList* lbFunctions;
  QPlainTextEdit* mmFunctionDesc;
  QLineEdit* eName;
  QLineEdit* eComment;
  QLineEdit* meSalience;
  QCheckBox* cbVariableAssign;
  QTabWidget* pcEditor;
  TKbDragList* lbIF;
  TKbDragList* lbTHEN;
  QLineEdit* eEdit;
  QPlainTextEdit* mmIF;
  QPlainTextEdit* mmThen;
  QPushButton* btnClearRules;
  QPushButton* btnClearRule;
  QAction* actNewRule;
  QAction* actAddRule;
  QAction* actReplaceRule;
  QAction* actDeleteRule;
  QAction* actClearRules;
  QAction* actExpandAll;
  QAction* actCollapseAll;

  void done(int Result) override;

 private:
  void FillRules(const std::string& Select);
  void FillTemplates();
  void FillFunctions();
  void ShowFunction();
  void ClearPanel();
  // Shows the lines in both tabs.
  void ShowLines(const TRuleParts& Parts);
  void SyncTabs(int Index);
  void EditLine();
  void Drop(TKbDragList* Target, int Row, const QMimeData* Data);
  std::string SelectedRule() const;
  void AddRule();
  void ReplaceRule();
  void DeleteRule();
  void ClearRules();
  void Load();
  void Save();
  std::string UniqueName(const std::string& Base);

  std::unique_ptr<TDeducer> Work_;
  // Single-rule mode: the rule's name when loaded, and the result.
  bool Single_ = false;
  std::string SingleName_;
  std::unique_ptr<TRule> Edited_;
  std::set<std::string> Names_;
  QListWidget* LastList_ = nullptr;
  bool Filling_ = false;
};

}  // namespace kb
