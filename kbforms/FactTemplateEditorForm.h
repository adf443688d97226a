// The "Fact Template Editor": a tree of templates and their slots, the
// selected template's name and comment, and the selected slot's name,
// default, types, default-dynamic and multislot flags.
//
// The form edits the templates of a working engine of its own. Changes in
// the panel apply when the user moves to another node, presses Enter in a
// field, saves or confirms (Commit): a change the engine or the type
// check refuses shows its message, keeps the panel as typed and changes
// nothing.
//
// Internal to kbforms; TFactTemplatesDialog shows it.
#pragma once

#include <memory>
#include <string>
#include "kbforms/FormsCommon.h"

#include "core/KbConsts.h"
#include "core/KbValue.h"

class QAction;
class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kb {

class TDeducer;

// The default a slot gets from the text typed for it: empty is nil (an
// empty list for a multislot); a default-dynamic default must be a
// function call; any other value must be of one of Types. Refusals are
// EKbException SNotCorrectType naming the allowed types and the value's.
IKbValue AddTypeAndValue(TDeducer& Engine, const std::string& Text, TKbTypes Types, bool Dynamic,
                         bool Multi);

class TFactTemplatesEditDlg : public TKbForm {
 public:
  explicit TFactTemplatesEditDlg(QWidget* Parent = nullptr);
  ~TFactTemplatesEditDlg() override;
  // Copies Engine's templates into the working engine.
  void LoadFrom(TDeducer& Engine);
  TDeducer& Work() { return *Work_; }
  // Applies the panel; false (after showing why) when it was refused.
  bool Commit();
  // Selects the node of a template, or of one of its slots.
  void Select(const std::string& Template, const std::string& Slot = std::string());

  QTreeWidget* tvFactTemplates;
  QPushButton* btnNew;
  QPushButton* btnNewSlot;
  QPushButton* btnDelete;
  QLineEdit* eName;
  QLineEdit* eComment;
  QLineEdit* eSlotName;
  QLineEdit* eSlotDefault;
  QListWidget* clbSlotTypes;
  QPushButton* btnSelectAll;
  QPushButton* btnSelectNone;
  QCheckBox* cbDefaultDynamic;
  QCheckBox* cbMultiSlot;
  QAction* actMultiSlot;

  void done(int Result) override;

 private:
  void FillTree();
  void ShowPanel();
  void ApplyPanel();
  void NewTemplate();
  void NewSlot();
  void DeleteNode();
  void Load();
  void Save();
  TKbTypes CheckedTypes() const;
  void CheckTypes(TKbTypes Types);
  void UpdateEnabled();

  std::unique_ptr<TDeducer> Work_;
  // The node the panel shows.
  std::string Template_;
  std::string Slot_;
  bool Filling_ = false;
};

}  // namespace kb
