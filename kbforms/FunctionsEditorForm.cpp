// The "Choices Dialog" (kbforms/FunctionsEditorForm.h).
#include "kbforms/FunctionsEditorForm.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <set>

#include "kbforms/FormsCommon.h"

namespace kb {

namespace {

QPushButton* MoveButton(QWidget* Parent, const char* Name, const char* Text, const char* Hint) {
  QPushButton* b = NewButton(Parent, Name, Text, Hint);
  b->setMaximumWidth(40);
  return b;
}

}  // namespace

TFunctionsEditDlg::TFunctionsEditDlg(QWidget* Parent) : QDialog(Parent) {
  setObjectName("TFunctionsEditDlg");
  setWindowTitle("Choices Dialog");
  auto* grid = new QGridLayout(this);
  auto* availableLabel = new QLabel("&Available List:", this);
  auto* usingLabel = new QLabel("&Using List:", this);
  lbAvailable = new QListWidget(this);
  lbAvailable->setObjectName("lbAvailable");
  lbUsing = new QListWidget(this);
  lbUsing->setObjectName("lbUsing");
  for (QListWidget* l : {lbAvailable, lbUsing}) {
    l->setSelectionMode(QAbstractItemView::ExtendedSelection);
    l->setMinimumSize(200, 260);
  }
  availableLabel->setBuddy(lbAvailable);
  usingLabel->setBuddy(lbUsing);
  btnInclude = MoveButton(this, "btnInclude", ">", "Use the selected functions");
  btnIncludeAll = MoveButton(this, "btnIncludeAll", ">>", "Use every function");
  btnExclude = MoveButton(this, "btnExclude", "<", "Stop using the selected functions");
  btnExcludeAll = MoveButton(this, "btnExcludeAll", "<<", "Stop using every function");
  auto* buttons = new QVBoxLayout;
  buttons->addStretch();
  for (QPushButton* b : {btnInclude, btnIncludeAll, btnExclude, btnExcludeAll})
    buttons->addWidget(b);
  buttons->addStretch();
  grid->addWidget(availableLabel, 0, 0);
  grid->addWidget(usingLabel, 0, 2);
  grid->addWidget(lbAvailable, 1, 0);
  grid->addLayout(buttons, 1, 1);
  grid->addWidget(lbUsing, 1, 2);
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  box->setObjectName("ButtonBox");
  grid->addWidget(box, 2, 0, 1, 3);
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(btnInclude, &QPushButton::clicked, this, [this] { Move(lbAvailable, lbUsing, false); });
  connect(btnIncludeAll, &QPushButton::clicked, this, [this] { Move(lbAvailable, lbUsing, true); });
  connect(btnExclude, &QPushButton::clicked, this, [this] { Move(lbUsing, lbAvailable, false); });
  connect(btnExcludeAll, &QPushButton::clicked, this, [this] { Move(lbUsing, lbAvailable, true); });
  connect(lbAvailable, &QListWidget::itemDoubleClicked, this,
          [this] { Move(lbAvailable, lbUsing, false); });
  connect(lbUsing, &QListWidget::itemDoubleClicked, this,
          [this] { Move(lbUsing, lbAvailable, false); });
  connect(lbAvailable, &QListWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
  connect(lbUsing, &QListWidget::itemSelectionChanged, this, [this] { UpdateButtons(); });
  setTabOrder(lbAvailable, btnInclude);
  setTabOrder(btnInclude, btnIncludeAll);
  setTabOrder(btnIncludeAll, btnExclude);
  setTabOrder(btnExclude, btnExcludeAll);
  setTabOrder(btnExcludeAll, lbUsing);
  UpdateButtons();
}

void TFunctionsEditDlg::AddItem(QListWidget* List, size_t Index) {
  const IUserFunction& f = Functions_[Index];
  auto* item = new QListWidgetItem(ToQ(f->GetFunctionName()), List);
  item->setData(Qt::UserRole, static_cast<qulonglong>(Index));
  item->setToolTip(ToQ(f->GetComment()));
}

void TFunctionsEditDlg::LoadFrom(TUserPackage& Package) {
  lbAvailable->clear();
  lbUsing->clear();
  Functions_.clear();
  std::set<std::string> used;
  TUserFunctionList& functions = Package.GetFunctions();
  for (int i = 0; i < functions.Count(); ++i) {
    IUserFunction f = functions.Get(i);
    Functions_.push_back(f);
    AddItem(lbUsing, Functions_.size() - 1);
    if (const TPersistentClass* c = ClassOf(f.get())) used.insert(c->Name);
  }
  const TPersistentClass* base = GetClass("TKbUserFunction");
  std::vector<IUserFunction> available;
  for (const TPersistentClass* c : RegisteredClasses()) {
    if (!base || !c->Create || c == base || !c->InheritsFrom(base) || used.count(c->Name)) continue;
    TPersistent* made = c->Create(nullptr);
    IUserFunction f(dynamic_cast<TKbUserFunction*>(made));
    if (!f) {
      delete made;
      continue;
    }
    if (f->GetFunctionName().empty() || IsInternalName(f->GetFunctionName())) continue;
    available.push_back(f);
  }
  std::sort(available.begin(), available.end(), [](const IUserFunction& a, const IUserFunction& b) {
    return a->GetFunctionName() < b->GetFunctionName();
  });
  for (IUserFunction& f : available) {
    Functions_.push_back(std::move(f));
    AddItem(lbAvailable, Functions_.size() - 1);
  }
  UpdateButtons();
}

std::vector<IUserFunction> TFunctionsEditDlg::UsedFunctions() const {
  std::vector<IUserFunction> result;
  for (int i = 0; i < lbUsing->count(); ++i)
    result.push_back(Functions_[lbUsing->item(i)->data(Qt::UserRole).toULongLong()]);
  return result;
}

void TFunctionsEditDlg::Move(QListWidget* From, QListWidget* To, bool All) {
  std::vector<int> rows;
  for (int i = 0; i < From->count(); ++i)
    if (All || From->item(i)->isSelected()) rows.push_back(i);
  // Taken from the end so that the rows stay valid, added in list order.
  std::vector<QListWidgetItem*> moved;
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) moved.push_back(From->takeItem(*it));
  To->clearSelection();
  for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
    To->addItem(*it);
    (*it)->setSelected(true);
  }
  UpdateButtons();
}

void TFunctionsEditDlg::UpdateButtons() {
  btnInclude->setEnabled(!lbAvailable->selectedItems().isEmpty());
  btnIncludeAll->setEnabled(lbAvailable->count() > 0);
  btnExclude->setEnabled(!lbUsing->selectedItems().isEmpty());
  btnExcludeAll->setEnabled(lbUsing->count() > 0);
}

}  // namespace kb
