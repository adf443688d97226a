// The "Fact Editor" (kbforms/FactEditorForm.h).
#include "kbforms/FactEditorForm.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/Deducer.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerSaveText.h"
#include "engine/DeducerTemplates.h"
#include "framework/ScopeExit.h"
#include "kbforms/FormsCommon.h"
#include "parser/KbClipsParser.h"

namespace kb {

TFactsEditDlg::TFactsEditDlg(QWidget* Parent)
    : TKbForm(Parent), Work_(std::make_unique<TDeducer>()) {
  setObjectName("TFactsEditDlg");
  setWindowTitle("Fact Editor");

  lbFacts = new QListWidget(this);
  lbFacts->setObjectName("lbFacts");
  lbFacts->setMinimumWidth(380);
  lbFacts->setToolTip("Facts");
  lbFacts->setStatusTip("The facts being edited; select one to edit it");
  auto* sortBox = new QGroupBox("Sort By...", this);
  sortBox->setObjectName("rgSortBy");
  rbSortID = new QRadioButton("&ID", sortBox);
  rbSortID->setObjectName("rbSortID");
  rbSortTemplate = new QRadioButton("&Template", sortBox);
  rbSortTemplate->setObjectName("rbSortTemplate");
  rbSortID->setChecked(true);
  auto* sortLayout = new QHBoxLayout(sortBox);
  sortLayout->addWidget(rbSortID);
  sortLayout->addWidget(rbSortTemplate);
  sortLayout->addStretch();
  auto* left = new QVBoxLayout;
  left->addWidget(new QLabel("Facts:", this));
  left->addWidget(lbFacts, 1);
  left->addWidget(sortBox);

  cbFactTemplates = new QComboBox(this);
  cbFactTemplates->setObjectName("cbFactTemplates");
  cbFactTemplates->setToolTip("Based On");
  cbFactTemplates->setStatusTip("The template of the fact being edited");
  auto* basedOn = new QLabel("&Based On:", this);
  basedOn->setBuddy(cbFactTemplates);
  auto* templateRow = new QHBoxLayout;
  templateRow->addWidget(basedOn);
  templateRow->addWidget(cbFactTemplates, 1);

  pcEditor = new QTabWidget(this);
  pcEditor->setObjectName("pcEditor");
  sgSlots = new QTableWidget(0, 2, pcEditor);
  sgSlots->setObjectName("sgSlots");
  sgSlots->setHorizontalHeaderLabels({"Slot", "Value"});
  sgSlots->horizontalHeader()->setStretchLastSection(true);
  sgSlots->verticalHeader()->setVisible(false);
  sgSlots->setToolTip("Slots");
  sgSlots->setStatusTip("The fact's slots; type a value beside a slot (empty: its default)");
  mmFactEditor = new QPlainTextEdit(pcEditor);
  mmFactEditor->setObjectName("mmFactEditor");
  mmFactEditor->setToolTip("Free Form");
  mmFactEditor->setStatusTip("The fact as text, for example (person (name Ann))");
  pcEditor->addTab(sgSlots, "Sl&ot");
  pcEditor->addTab(mmFactEditor, "&Freeform");
  pcEditor->widget(0)->setObjectName("tsSlot");
  pcEditor->widget(1)->setObjectName("tsFreeform");

  btnAdd = NewButton(this, "btnAdd", "&Add", "Add the edited fact to the list");
  btnNew = NewButton(this, "btnNew", "&New", "Start a new fact of the chosen template");
  btnReplace =
      NewButton(this, "btnReplace", "&Replace", "Replace the selected fact by the edited one");
  btnDelete = NewButton(this, "btnDelete", "&Delete", "Delete the selected fact");
  btnClear = NewButton(this, "btnClear", "&Clear", "Delete every fact");
  auto* actions = new QHBoxLayout;
  for (QPushButton* b : {btnAdd, btnNew, btnReplace, btnDelete, btnClear}) actions->addWidget(b);
  actions->addStretch();

  auto* right = new QVBoxLayout;
  right->addLayout(templateRow);
  right->addWidget(pcEditor, 1);
  right->addLayout(actions);

  auto* body = new QHBoxLayout;
  body->addLayout(left, 3);
  body->addLayout(right, 2);

  LayOut(body, "Load facts from a file", "Save the facts to a file");
  resize(820, 480);

  connect(rbSortID, &QRadioButton::toggled, this, [this] { FillList(-1); });
  connect(lbFacts, &QListWidget::currentRowChanged, this, [this] {
    if (Filling_) return;
    const int e = SelectedEntry();
    if (e >= 0) ShowFact(Entries_[static_cast<size_t>(e)].Fact);
  });
  connect(cbFactTemplates, &QComboBox::currentIndexChanged, this, [this] {
    if (!Filling_) ShowFact(nullptr);
  });
  connect(btnAdd, &QPushButton::clicked, this, [this] { Add(); });
  connect(btnNew, &QPushButton::clicked, this, [this] {
    lbFacts->setCurrentRow(-1);
    ShowFact(nullptr);
  });
  connect(btnReplace, &QPushButton::clicked, this, [this] { Replace(); });
  connect(btnDelete, &QPushButton::clicked, this, [this] { Delete(); });
  connect(btnClear, &QPushButton::clicked, this, [this] {
    Entries_.clear();
    FillList(-1);
    ShowFact(nullptr);
  });
  connect(btnLoad, &QPushButton::clicked, this, [this] { Load(); });
  connect(btnSave, &QPushButton::clicked, this, [this] { Save(); });

  setTabOrder(lbFacts, rbSortID);
  setTabOrder(rbSortID, rbSortTemplate);
  setTabOrder(rbSortTemplate, cbFactTemplates);
  setTabOrder(cbFactTemplates, pcEditor);
  setTabOrder(pcEditor, sgSlots);
  setTabOrder(sgSlots, mmFactEditor);
  setTabOrder(mmFactEditor, btnAdd);
  setTabOrder(btnAdd, btnNew);
  setTabOrder(btnNew, btnReplace);
  setTabOrder(btnReplace, btnDelete);
  setTabOrder(btnDelete, btnClear);
  setTabOrder(btnClear, btnLoad);
  setTabOrder(btnLoad, btnSave);
}

TFactsEditDlg::~TFactsEditDlg() = default;

void TFactsEditDlg::LoadFrom(TDeducer& Engine, const std::vector<std::string>& Facts,
                             const std::vector<int32_t>& Ids) {
  Work_->SetFactTemplates(Engine.FactTemplates());
  Entries_.clear();
  NextId_ = 1;
  for (size_t i = 0; i < Facts.size(); ++i) {
    const int32_t id = i < Ids.size() ? Ids[i] : NextId_;
    Entries_.push_back({id, Work_->ParseFact(Facts[i])});
    NextId_ = std::max(NextId_, id + 1);
  }
  FillTemplates();
  FillList(-1);
  ShowFact(nullptr);
}

void TFactsEditDlg::LoadFrom(TDeducer& Engine) {
  std::vector<std::string> texts;
  std::vector<int32_t> ids;
  // Goals of backward chaining are not listed: the rules ask for them
  // again once the facts are set back.
  for (const IFact& f : SavedFacts(Engine)) {
    texts.push_back(f->GetToString());
    ids.push_back(f->GetID());
  }
  LoadFrom(Engine, texts, ids);
}

std::vector<std::string> TFactsEditDlg::FactTexts() const {
  std::vector<std::string> texts;
  for (const TEntry& e : Entries_) texts.push_back(e.Fact->GetToString());
  return texts;
}

void TFactsEditDlg::AssertInto() {
  Work_->Facts().Clear();
  for (const TEntry& e : Entries_) Work_->Assert(e.Fact->GetToString());
}

void TFactsEditDlg::done(int Result) {
  if (Result == QDialog::Accepted && !RunGuarded(this, [this] { AssertInto(); })) return;
  TKbForm::done(Result);
}

void TFactsEditDlg::FillTemplates() {
  Filling_ = true;
  const QString current = cbFactTemplates->currentText();
  cbFactTemplates->clear();
  for (const IFactTemplate& t : Work_->FactTemplates().InParentOrder())
    cbFactTemplates->addItem(ToQ(t->GetTemplateName()));
  const int i = cbFactTemplates->findText(current);
  cbFactTemplates->setCurrentIndex(i >= 0 ? i : 0);
  Filling_ = false;
}

void TFactsEditDlg::FillList(int32_t SelectId) {
  if (SelectId < 0) {
    const int e = SelectedEntry();
    if (e >= 0) SelectId = Entries_[static_cast<size_t>(e)].Id;
  }
  std::vector<size_t> order(Entries_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  const bool byTemplate = rbSortTemplate->isChecked();
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const TEntry& x = Entries_[a];
    const TEntry& y = Entries_[b];
    if (byTemplate) {
      const std::string& tx = x.Fact->GetTemplate()->GetTemplateName();
      const std::string& ty = y.Fact->GetTemplate()->GetTemplateName();
      if (tx != ty) return tx < ty;
    }
    return x.Id < y.Id;
  });
  Filling_ = true;
  lbFacts->clear();
  int row = -1;
  // Identifiers padded with figure spaces (as wide as a digit) line up.
  int width = 1;
  for (const TEntry& e : Entries_) width = std::max(width, int(QString::number(e.Id).size()));
  for (size_t i : order) {
    const TEntry& e = Entries_[i];
    const QString id = QString::number(e.Id).leftJustified(width, QChar(0x2007));
    auto* item =
        new QListWidgetItem(QString("f-%1   %2").arg(id, ToQ(e.Fact->GetToString())), lbFacts);
    item->setData(Qt::UserRole, e.Id);
    if (e.Id == SelectId) row = lbFacts->count() - 1;
  }
  lbFacts->setCurrentRow(row);
  Filling_ = false;
}

int TFactsEditDlg::SelectedEntry() const {
  QListWidgetItem* item = lbFacts->currentItem();
  if (!item) return -1;
  const int32_t id = item->data(Qt::UserRole).toInt();
  for (size_t i = 0; i < Entries_.size(); ++i)
    if (Entries_[i].Id == id) return static_cast<int>(i);
  return -1;
}

void TFactsEditDlg::ShowFact(const IFact& Fact) {
  Filling_ = true;
  if (Fact) {
    const int i = cbFactTemplates->findText(ToQ(Fact->GetTemplate()->GetTemplateName()));
    if (i >= 0) cbFactTemplates->setCurrentIndex(i);
  }
  Filling_ = false;
  IFactTemplate t = Work_->FactTemplates().Get(ToStd(cbFactTemplates->currentText()));
  sgSlots->setRowCount(0);
  if (t) {
    sgSlots->setRowCount(t->GetSlotCount());
    for (int r = 0; r < t->GetSlotCount(); ++r) {
      TFactSlot* s = t->GetSlotAt(r);
      auto* name = new QTableWidgetItem(ToQ(s->GetName()));
      name->setFlags(Qt::ItemIsEnabled);
      sgSlots->setItem(r, 0, name);
      sgSlots->setItem(
          r, 1, new QTableWidgetItem(Fact ? ToQ(ValueFieldText(Fact->GetValue(r))) : QString()));
    }
  }
  mmFactEditor->setPlainText(Fact ? ToQ(Fact->GetToString())
                             : t  ? "(" + ToQ(t->GetTemplateName()) + ")"
                                  : QString());
}

IFact TFactsEditDlg::EditedFact() {
  if (pcEditor->currentWidget() == mmFactEditor)
    return Work_->ParseFact(ToStd(mmFactEditor->toPlainText()));
  const std::string name = ToStd(cbFactTemplates->currentText());
  IFactTemplate t = Work_->FactTemplates().Get(name);
  if (!t) KbError(SNoTemplate);
  std::string text = "(" + name;
  for (int r = 0; r < sgSlots->rowCount() && r < t->GetSlotCount(); ++r) {
    QTableWidgetItem* cell = sgSlots->item(r, 1);
    const std::string value = cell ? Trim(ToStd(cell->text())) : std::string();
    if (value.empty()) continue;
    if (t->IsOrdered())
      text += " " + value;
    else
      text += " (" + t->GetSlotAt(r)->GetName() + " " + value + ")";
  }
  return Work_->ParseFact(text + ")");
}

void TFactsEditDlg::Add() {
  RunGuarded(this, [this] {
    IFact f = EditedFact();
    Entries_.push_back({NextId_++, f});
    FillTemplates();
    FillList(Entries_.back().Id);
    ShowFact(f);
  });
}

void TFactsEditDlg::Replace() {
  const int e = SelectedEntry();
  if (e < 0) return;
  RunGuarded(this, [&] {
    IFact f = EditedFact();
    Entries_[static_cast<size_t>(e)].Fact = f;
    FillTemplates();
    FillList(Entries_[static_cast<size_t>(e)].Id);
    ShowFact(f);
  });
}

void TFactsEditDlg::Delete() {
  const int e = SelectedEntry();
  if (e < 0) return;
  Entries_.erase(Entries_.begin() + e);
  FillList(-1);
  ShowFact(nullptr);
}

void TFactsEditDlg::Load() {
  const QString file = AskFile(TKbFileKind::Facts, false);
  if (file.isEmpty()) return;
  RunGuarded(this, [&] {
    // Read into the working engine's (empty) working memory, then listed.
    Work_->Facts().Clear();
    try {
      Work_->LoadFacts(ToStd(file));
    } catch (...) {
      Work_->Facts().Clear();
      throw;
    }
    std::vector<IFact> read = Work_->Facts().Snapshot();
    std::vector<std::string> texts;
    for (const IFact& f : read) texts.push_back(f->GetToString());
    Work_->Facts().Clear();
    for (const std::string& t : texts) Entries_.push_back({NextId_++, Work_->ParseFact(t)});
  });
  FillTemplates();
  FillList(-1);
}

void TFactsEditDlg::Save() {
  const QString file = AskFile(TKbFileKind::Facts, true);
  if (file.isEmpty()) return;
  RunGuarded(this, [&] {
    auto empty = OnScopeExit([this] { Work_->Facts().Clear(); });
    AssertInto();
    Work_->SaveFacts(ToStd(file));
  });
}

}  // namespace kb
