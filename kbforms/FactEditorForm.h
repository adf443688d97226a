// The "Fact Editor": a list of facts (sorted by identifier or by template)
// and an editor for one fact, as a grid of its template's slots or as
// free text. "Add" appends the edited fact, "Replace" puts it in place of
// the selected one, "New" starts an empty one, "Delete" and "Clear"
// remove facts.
//
// The form holds its facts outside any working memory, each read by its
// own working engine (which holds a copy of the edited engine's
// templates), so nothing reaches the edited engine before OK. Text the
// engine cannot read shows the parse error and changes nothing.
//
// Internal to kbforms; TFactsDialog and TFactSetDialog show it.
#pragma once

#include <memory>
#include <string>
#include <vector>
#include "kbforms/FormsCommon.h"

#include "memory/KbFacts.h"
#include "memory/KbFactsFact.h"

class QButtonGroup;
class QComboBox;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableWidget;

namespace kb {

class TDeducer;

class TFactsEditDlg : public TKbForm {
 public:
  explicit TFactsEditDlg(QWidget* Parent = nullptr);
  ~TFactsEditDlg() override;
  // Copies Engine's templates into the working engine and lists Facts,
  // read again from their texts, under the identifiers Ids (in order).
  void LoadFrom(TDeducer& Engine, const std::vector<std::string>& Facts,
                const std::vector<int32_t>& Ids);
  // The same with Engine's working memory, without goals.
  void LoadFrom(TDeducer& Engine);
  TDeducer& Work() { return *Work_; }
  // The facts' texts, in the order they were listed first (new ones last).
  std::vector<std::string> FactTexts() const;
  // Asserts the facts into the working engine's working memory (emptied
  // first), as the engine will get them; raises what an assertion raises.
  void AssertInto();

  QComboBox* cbFactTemplates;
  QListWidget* lbFacts;
  QRadioButton* rbSortID;
  QRadioButton* rbSortTemplate;
  QTabWidget* pcEditor;
  QTableWidget* sgSlots;
  QPlainTextEdit* mmFactEditor;
  QPushButton* btnAdd;
  QPushButton* btnNew;
  QPushButton* btnReplace;
  QPushButton* btnDelete;
  QPushButton* btnClear;

  void done(int Result) override;

 private:
  struct TEntry {
    int32_t Id;
    IFact Fact;
  };
  void FillList(int32_t SelectId);
  void FillTemplates();
  // Shows the fact (or, for nil, a new fact of the chosen template).
  void ShowFact(const IFact& Fact);
  void ShowTemplateSlots();
  // The fact the editor describes, read by the working engine.
  IFact EditedFact();
  int SelectedEntry() const;
  void Add();
  void Replace();
  void Delete();
  void Load();
  void Save();

  std::unique_ptr<TDeducer> Work_;
  std::vector<TEntry> Entries_;
  int32_t NextId_ = 1;
  bool Filling_ = false;
};

}  // namespace kb
