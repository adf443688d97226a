// The "Rule Editor" (kbforms/RuleEditorForm.h).
#include "kbforms/RuleEditorForm.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/Deducer.h"
#include "engine/DeducerFunctions.h"
#include "engine/DeducerPackages.h"
#include "engine/DeducerRules.h"
#include "engine/DeducerTemplates.h"
#include "framework/SysUtils.h"
#include "kbforms/FormsCommon.h"
#include "kbforms/KbTreeViews.h"
#include "memory/KbFacts.h"
#include "parser/KbClipsParser.h"
#include "rete/KbRule.h"

namespace kb {

namespace {

QAction* Action(QWidget* Owner, const char* Name, const char* Text, const char* Hint,
                const QKeySequence& Key = QKeySequence()) {
  auto* a = new QAction(Text, Owner);
  a->setObjectName(Name);
  a->setShortcut(Key);
  a->setShortcutContext(Qt::WindowShortcut);
  // An action's hints are the tooltip and status tip of its buttons.
  const QString h(Hint);
  a->setToolTip(h.section('|', 0, 0));
  a->setStatusTip(h.section('|', -1));
  Owner->addAction(a);
  return a;
}

QToolButton* ActionButton(QWidget* Parent, QAction* A) {
  auto* b = new QToolButton(Parent);
  b->setDefaultAction(A);
  b->setObjectName(A->objectName() + "Button");
  b->setToolButtonStyle(Qt::ToolButtonTextOnly);
  return b;
}

QMimeData* MimeOf(const QStringList& Parts) {
  auto* data = new QMimeData;
  data->setData(KbDragMimeType, Parts.join('\n').toUtf8());
  return data;
}

QStringList Lines(const QListWidget* List) {
  QStringList lines;
  for (int i = 0; i < List->count(); ++i) lines << List->item(i)->text();
  return lines;
}

// A value's text in a pattern: a call as a return-value constraint.
std::string PatternValue(const IKbValue& V) {
  if (!V) return "nil";
  return (V->GetDType() == dtFunCall ? "=" : "") + ValueFieldText(V);
}

}  // namespace

// ------------------------------------------------------------ drag objects

TRule* TKbDragObject::AsRule() const {
  return DragType == idtRule ? dynamic_cast<TRule*>(KbObject) : nullptr;
}
TFactSlot* TKbDragObject::AsFactSlot() const {
  return DragType == idtSlot ? dynamic_cast<TFactSlot*>(KbUnknown.get()) : nullptr;
}
TFactTemplate* TKbDragObject::AsTemplate() const {
  return DragType == idtTemplate ? dynamic_cast<TFactTemplate*>(KbUnknown.get()) : nullptr;
}
TKbUserFunction* TKbDragObject::AsFunction() const {
  return DragType == idtFunction ? dynamic_cast<TKbUserFunction*>(KbUnknown.get()) : nullptr;
}

QMimeData* TKbDragTree::mimeData(const QList<QTreeWidgetItem*>& Items) const {
  if (Items.isEmpty() || !MakeMime) return nullptr;
  return MakeMime(Items.first());
}

QMimeData* TKbDragList::mimeData(const QList<QListWidgetItem*>& Items) const {
  if (Items.isEmpty() || !MakeMime) return nullptr;
  return MakeMime(Items.first());
}

void TKbDragList::dragEnterEvent(QDragEnterEvent* Event) {
  if (OnDrop && (Event->mimeData()->hasFormat(KbDragMimeType) || Event->mimeData()->hasText()))
    Event->acceptProposedAction();
  else
    QListWidget::dragEnterEvent(Event);
}

void TKbDragList::dragMoveEvent(QDragMoveEvent* Event) {
  if (OnDrop && (Event->mimeData()->hasFormat(KbDragMimeType) || Event->mimeData()->hasText()))
    Event->acceptProposedAction();
  else
    QListWidget::dragMoveEvent(Event);
}

void TKbDragList::dropEvent(QDropEvent* Event) {
  if (!OnDrop) {
    QListWidget::dropEvent(Event);
    return;
  }
  const QModelIndex at = indexAt(Event->position().toPoint());
  OnDrop(at.isValid() ? at.row() : -1, Event->mimeData());
  Event->acceptProposedAction();
}

// ------------------------------------------------------------------ form

TRulesEditDlg::TRulesEditDlg(QWidget* Parent)
    : TKbForm(Parent), Work_(std::make_unique<TDeducer>()) {
  setObjectName("TRulesEditDlg");
  setWindowTitle("Rule Editor");

  actNewRule =
      Action(this, "actNewRule", "&New", "New Rule|Start a new rule", QKeySequence("Ctrl+N"));
  actAddRule = Action(this, "actAddRule", "&Add", "Add Rule|Add the edited rule to the rule base",
                      QKeySequence("Ctrl+A"));
  actReplaceRule =
      Action(this, "actReplaceRule", "&Replace",
             "Replace Rule|Replace the selected rule by the edited rule", QKeySequence("Ctrl+R"));
  actDeleteRule = Action(this, "actDeleteRule", "&Delete", "Delete Rule|Delete the selected rule",
                         QKeySequence("Ctrl+D"));
  actClearRules = Action(this, "actClearRules", "&Clear", "Clear Rules|Delete every rule");
  actExpandAll = Action(this, "actExpandAll", "E&xpand All", "Expand All|Show every rule's lines");
  actCollapseAll =
      Action(this, "actCollapseAll", "C&ollapse All", "Collapse All|Show the rule names only");

  // The rule base.
  tvRules = new TKbDragTree(this);
  tvRules->setObjectName("tvRules");
  tvRules->setHeaderHidden(true);
  SetHint(tvRules, "View of Rule Base");
  auto* ruleTools = new QHBoxLayout;
  for (QAction* a : {actNewRule, actAddRule, actReplaceRule, actDeleteRule})
    ruleTools->addWidget(ActionButton(this, a));
  ruleTools->addStretch();
  auto* treeTools = new QHBoxLayout;
  treeTools->addWidget(ActionButton(this, actExpandAll));
  treeTools->addWidget(ActionButton(this, actCollapseAll));
  treeTools->addStretch();
  btnClearRules = NewButton(this, "btnClearRules", "&Clear", "Clear Rules|Delete every rule");
  treeTools->addWidget(btnClearRules);
  auto* rulesPane = new QWidget(this);
  auto* rulesLayout = new QVBoxLayout(rulesPane);
  rulesLayout->setContentsMargins(0, 0, 0, 0);
  rulesLayout->addLayout(ruleTools);
  rulesLayout->addWidget(tvRules, 1);
  rulesLayout->addLayout(treeTools);

  // What can be dragged into a rule.
  pcKnowledge = new QTabWidget(this);
  pcKnowledge->setObjectName("pcKnowledge");
  tvFactTemplates = new TKbDragTree(pcKnowledge);
  tvFactTemplates->setObjectName("tvFactTemplates");
  tvFactTemplates->setHeaderHidden(true);
  SetHint(tvFactTemplates, "Fact Templates|Drag a template or a slot into the rule");
  auto* functionsPage = new QWidget(pcKnowledge);
  functionsPage->setObjectName("tsFunctions");
  eSearch = new QLineEdit(functionsPage);
  eSearch->setObjectName("eSearch");
  eSearch->setPlaceholderText("Search");
  SetHint(eSearch, "Search|Show the functions whose name contains this text");
  lbFunctions = new TKbDragList(functionsPage);
  lbFunctions->setObjectName("lbFunctions");
  SetHint(lbFunctions, "Functions|Drag a function into the rule");
  mmFunctionDesc = new QPlainTextEdit(functionsPage);
  mmFunctionDesc->setObjectName("mmFunctionDesc");
  mmFunctionDesc->setReadOnly(true);
  mmFunctionDesc->setMaximumHeight(90);
  SetHint(mmFunctionDesc, "Description|What the selected function does");
  auto* functionsLayout = new QVBoxLayout(functionsPage);
  functionsLayout->addWidget(eSearch);
  functionsLayout->addWidget(lbFunctions, 1);
  functionsLayout->addWidget(mmFunctionDesc);
  pcKnowledge->addTab(tvFactTemplates, "Fact &Templates");
  pcKnowledge->addTab(functionsPage, "F&unctions");

  auto* leftSplit = new QSplitter(Qt::Vertical, this);
  leftSplit->addWidget(rulesPane);
  leftSplit->addWidget(pcKnowledge);

  // The rule panel.
  auto* ruleBox = new QGroupBox("Rule", this);
  auto* ruleForm = new QFormLayout(ruleBox);
  eName = new QLineEdit(ruleBox);
  eName->setObjectName("eName");
  SetHint(eName, "Rule Name|Enter a name for the rule (no spaces or quotes)");
  eComment = new QLineEdit(ruleBox);
  eComment->setObjectName("eComment");
  SetHint(eComment, "Comment|A comment for the rule");
  meSalience = new QLineEdit(ruleBox);
  meSalience->setObjectName("meSalience");
  SetHint(meSalience, "Salience|The rule's priority: higher fires first (default 0)");
  meSalience->setMaximumWidth(100);
  cbVariableAssign = new QCheckBox("&Variables?", ruleBox);
  cbVariableAssign->setObjectName("cbVariableAssign");
  SetHint(cbVariableAssign,
          "Automatic Variable On/Off|Add a variable assignment for each pattern in the conditional "
          "area");
  auto* salienceRow = new QHBoxLayout;
  salienceRow->addWidget(meSalience);
  salienceRow->addStretch();
  salienceRow->addWidget(cbVariableAssign);
  ruleForm->addRow("Na&me:", eName);
  ruleForm->addRow("Co&mment:", eComment);
  auto* salienceLabel = new QLabel("&Salience:", ruleBox);
  salienceLabel->setBuddy(meSalience);
  ruleForm->addRow(salienceLabel, salienceRow);

  pcEditor = new QTabWidget(this);
  pcEditor->setObjectName("pcEditor");
  auto* editorPage = new QWidget(pcEditor);
  editorPage->setObjectName("tsEditor");
  auto* ifBox = new QGroupBox("&IF", editorPage);
  ifBox->setObjectName("gbIF");
  lbIF = new TKbDragList(ifBox);
  lbIF->setObjectName("lbIF");
  SetHint(lbIF,
          "Conditions|The rule's patterns, one per line; drop templates, slots and functions here");
  (new QVBoxLayout(ifBox))->addWidget(lbIF);
  auto* thenBox = new QGroupBox("T&HEN", editorPage);
  thenBox->setObjectName("gbTHEN");
  lbTHEN = new TKbDragList(thenBox);
  lbTHEN->setObjectName("lbTHEN");
  SetHint(lbTHEN, "Actions|The rule's actions, one per line; drop functions here");
  (new QVBoxLayout(thenBox))->addWidget(lbTHEN);
  eEdit = new QLineEdit(editorPage);
  eEdit->setObjectName("eEdit");
  SetHint(eEdit, "Line|Edit the selected line; Enter stores it (an empty line deletes it)");
  btnClearRule = NewButton(editorPage, "btnClearRule", "C&lear",
                           "Clear|Empty the rule's conditions and actions");
  auto* editRow = new QHBoxLayout;
  editRow->addWidget(eEdit, 1);
  editRow->addWidget(btnClearRule);
  auto* editorLayout = new QVBoxLayout(editorPage);
  editorLayout->addWidget(ifBox, 1);
  editorLayout->addWidget(thenBox, 1);
  editorLayout->addLayout(editRow);
  auto* freePage = new QWidget(pcEditor);
  freePage->setObjectName("tsFreeForm");
  mmIF = new QPlainTextEdit(freePage);
  mmIF->setObjectName("mmIF");
  SetHint(mmIF, "Conditions|The rule's patterns as text");
  mmThen = new QPlainTextEdit(freePage);
  mmThen->setObjectName("mmThen");
  SetHint(mmThen, "Actions|The rule's actions as text");
  auto* freeLayout = new QVBoxLayout(freePage);
  freeLayout->addWidget(new QLabel("IF", freePage));
  freeLayout->addWidget(mmIF, 1);
  freeLayout->addWidget(new QLabel("=>", freePage));
  freeLayout->addWidget(mmThen, 1);
  pcEditor->addTab(editorPage, "&Editor");
  pcEditor->addTab(freePage, "&Free Form");

  auto* rightPane = new QWidget(this);
  auto* rightLayout = new QVBoxLayout(rightPane);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->addWidget(ruleBox);
  rightLayout->addWidget(pcEditor, 1);

  auto* split = new QSplitter(Qt::Horizontal, this);
  split->addWidget(leftSplit);
  split->addWidget(rightPane);
  split->setStretchFactor(0, 2);
  split->setStretchFactor(1, 3);

  auto* body = new QHBoxLayout;
  body->addWidget(split);
  LayOut(body, "Load|Load rules from a file (they replace the rules)",
         "Save|Save the rules to a file");
  resize(900, 600);

  // Drag sources and targets.
  for (QAbstractItemView* v :
       std::initializer_list<QAbstractItemView*>{tvRules, tvFactTemplates, lbFunctions}) {
    v->setDragEnabled(true);
    v->setDragDropMode(QAbstractItemView::DragOnly);
  }
  tvRules->MakeMime = [this](QTreeWidgetItem* I) { return DragData(I); };
  tvFactTemplates->MakeMime = [this](QTreeWidgetItem* I) { return DragData(I); };
  lbFunctions->MakeMime = [this](QListWidgetItem* I) { return DragData(I); };
  for (TKbDragList* l : {lbIF, lbTHEN}) {
    l->setDragDropMode(QAbstractItemView::DropOnly);
    l->viewport()->setAcceptDrops(true);
    l->OnDrop = [this, l](int Row, const QMimeData* Data) { Drop(l, Row, Data); };
  }

  connect(actNewRule, &QAction::triggered, this, [this] { ClearPanel(); });
  connect(actAddRule, &QAction::triggered, this, [this] { AddRule(); });
  connect(actReplaceRule, &QAction::triggered, this, [this] { ReplaceRule(); });
  connect(actDeleteRule, &QAction::triggered, this, [this] { DeleteRule(); });
  connect(actClearRules, &QAction::triggered, this, [this] { ClearRules(); });
  connect(btnClearRules, &QPushButton::clicked, actClearRules, &QAction::trigger);
  connect(actExpandAll, &QAction::triggered, tvRules, &QTreeWidget::expandAll);
  connect(actCollapseAll, &QAction::triggered, tvRules, &QTreeWidget::collapseAll);
  connect(btnClearRule, &QPushButton::clicked, this, [this] {
    lbIF->clear();
    lbTHEN->clear();
    mmIF->clear();
    mmThen->clear();
    eEdit->clear();
  });
  connect(btnLoad, &QPushButton::clicked, this, [this] { Load(); });
  connect(btnSave, &QPushButton::clicked, this, [this] { Save(); });
  connect(tvRules, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* Item) {
    if (Filling_ || !Item) return;
    ShowRule(NodeName(Item));
  });
  connect(eSearch, &QLineEdit::textChanged, this, [this] { FillFunctions(); });
  connect(lbFunctions, &QListWidget::currentItemChanged, this, [this] { ShowFunction(); });
  connect(pcEditor, &QTabWidget::currentChanged, this, [this](int Index) { SyncTabs(Index); });
  for (QListWidget* l : std::initializer_list<QListWidget*>{lbIF, lbTHEN})
    connect(l, &QListWidget::currentItemChanged, this, [this, l](QListWidgetItem* Item) {
      LastList_ = l;
      if (Item) eEdit->setText(Item->text());
    });
  connect(eEdit, &QLineEdit::returnPressed, this, [this] { EditLine(); });

  setTabOrder(tvRules, pcKnowledge);
  setTabOrder(pcKnowledge, eName);
  setTabOrder(eName, eComment);
  setTabOrder(eComment, meSalience);
  setTabOrder(meSalience, cbVariableAssign);
  setTabOrder(cbVariableAssign, pcEditor);
  setTabOrder(pcEditor, lbIF);
  setTabOrder(lbIF, lbTHEN);
  setTabOrder(lbTHEN, eEdit);
  setTabOrder(eEdit, btnClearRule);
  setTabOrder(btnClearRule, mmIF);
  setTabOrder(mmIF, mmThen);
  setTabOrder(mmThen, btnLoad);
  setTabOrder(btnLoad, btnSave);
}

TRulesEditDlg::~TRulesEditDlg() {
  // The edited rule belongs to the working engine's components: it goes
  // before the engine does.
  Edited_.reset();
  Work_.reset();
}

void TRulesEditDlg::LoadFrom(TDeducer& Engine, TRule* Rule) {
  Work_->Assign(&Engine);
  Single_ = Rule != nullptr;
  SingleName_ = Rule ? Rule->GetRuleName() : std::string();
  for (QAction* a : {actAddRule, actReplaceRule, actDeleteRule, actClearRules})
    a->setEnabled(!Single_);
  btnClearRules->setEnabled(!Single_);
  btnLoad->setEnabled(!Single_);
  FillRules(std::string());
  FillTemplates();
  FillFunctions();
  ClearPanel();
  if (Rule) {
    // The rule itself, which need not be one of the engine's rules.
    const TRuleParts parts = SplitRuleText(Rule->GetToString());
    eName->setText(ToQ(Rule->GetRuleName()));
    eComment->setText(ToQ(Rule->GetComment()));
    meSalience->setText(Rule->GetSalience() != 0 || Rule->GetSalienceValue()
                            ? ToQ(PrettyPrintValue(Rule->GetSalienceValue()))
                            : QString());
    if (meSalience->text() == "0") meSalience->clear();
    ShowLines(parts);
  }
}

void TRulesEditDlg::done(int Result) {
  if (Result == QDialog::Accepted && Single_) {
    const bool ok = RunGuarded(this, [this] {
      std::unique_ptr<TRule> rule = UpdateCurrentRule();
      if (rule->GetRuleName() != SingleName_ && Work_->Rules().Contains(rule->GetRuleName()))
        KbError(SDuplicateRuleNames, rule->GetRuleName());
      Edited_ = std::move(rule);
    });
    if (!ok) return;
  }
  TKbForm::done(Result);
}

std::unique_ptr<TRule> TRulesEditDlg::UpdateCurrentRule() {
  std::string text = "( defrule " + Trim(ToStd(eName->text())) + NewLineString;
  const std::string comment = ToStd(eComment->text());
  if (!comment.empty()) text += QuoteString(comment) + NewLineString;
  // A salience of 0 is the default and is not written; text that is not
  // a number goes to the engine as written, which reads it or says why.
  const std::string salience = Trim(ToStd(meSalience->text()));
  const std::optional<double> number = TryStrToFloat(salience);
  if (!salience.empty() && (!number || *number != 0))
    text += "(declare (salience " + salience + "))" + NewLineString;
  const bool free = pcEditor->currentIndex() == 1;
  const QString conditions = free ? mmIF->toPlainText() : Lines(lbIF).join('\n');
  const QString actions = free ? mmThen->toPlainText() : Lines(lbTHEN).join('\n');
  if (!conditions.isEmpty()) text += ToStd(conditions) + NewLineString;
  text += std::string("=>") + NewLineString;
  if (!actions.isEmpty()) text += ToStd(actions) + NewLineString;
  text += std::string(")") + NewLineString;
  return std::unique_ptr<TRule>(Work_->ParseRule(text));
}

void TRulesEditDlg::FillRules(const std::string& Select) {
  Filling_ = true;
  FillTreeView(Work_->Rules(), tvRules);
  if (QTreeWidgetItem* current = FindNode(tvRules, Select)) tvRules->setCurrentItem(current);
  Filling_ = false;
}

void TRulesEditDlg::FillTemplates() { FillTreeView(Work_->FactTemplates(), tvFactTemplates); }

void TRulesEditDlg::FillFunctions() {
  const QString search = eSearch->text().trimmed();
  std::vector<std::string> names = Work_->UserFunctions().Names();
  std::sort(names.begin(), names.end());
  lbFunctions->clear();
  for (const std::string& n : names)
    if (!IsInternalName(n) && (search.isEmpty() || ToQ(n).contains(search, Qt::CaseInsensitive)))
      lbFunctions->addItem(ToQ(n));
  ShowFunction();
}

void TRulesEditDlg::ShowFunction() {
  QListWidgetItem* item = lbFunctions->currentItem();
  IUserFunction f = item ? Work_->UserFunctions().Get(ToStd(item->text())) : nullptr;
  if (!f) {
    mmFunctionDesc->clear();
    return;
  }
  const int32_t min = f->GetMinArgumentCount(), max = f->GetMaxArgumentCount();
  // A maximum past any real call means no limit.
  const bool unbounded = max < 0 || max >= 1000000;
  QString args = unbounded    ? QString("at least %1 arguments").arg(min)
                 : min == max ? QString("%1 arguments").arg(min)
                              : QString("%1 to %2 arguments").arg(min).arg(max);
  mmFunctionDesc->setPlainText(ToQ(f->GetFunctionName()) + " (" + args + ")\n" +
                               ToQ(f->GetComment()));
}

void TRulesEditDlg::ClearPanel() {
  Filling_ = true;
  tvRules->setCurrentItem(nullptr);
  Filling_ = false;
  for (QLineEdit* e : {eName, eComment, meSalience, eEdit}) e->clear();
  lbIF->clear();
  lbTHEN->clear();
  mmIF->clear();
  mmThen->clear();
  LastList_ = nullptr;
}

void TRulesEditDlg::ShowRule(const std::string& Name) {
  TRule* rule = Work_->Rules().Get(Name);
  if (!rule) return;
  ClearPanel();
  const TRuleParts parts = SplitRuleText(rule->GetToString());
  eName->setText(ToQ(rule->GetRuleName()));
  eComment->setText(ToQ(rule->GetComment()));
  const std::string salience = PrettyPrintValue(rule->GetSalienceValue());
  meSalience->setText(salience == "0" || salience == "nil" ? QString() : ToQ(salience));
  ShowLines(parts);
  FillRules(Name);
}

void TRulesEditDlg::ShowLines(const TRuleParts& Parts) {
  lbIF->clear();
  lbTHEN->clear();
  lbIF->addItems(ToQList(Parts.Conditions));
  lbTHEN->addItems(ToQList(Parts.Actions));
  mmIF->setPlainText(ToQList(Parts.Conditions).join('\n'));
  mmThen->setPlainText(ToQList(Parts.Actions).join('\n'));
}

void TRulesEditDlg::SyncTabs(int Index) {
  if (Index == 1) {
    mmIF->setPlainText(Lines(lbIF).join('\n'));
    mmThen->setPlainText(Lines(lbTHEN).join('\n'));
  } else {
    lbIF->clear();
    lbTHEN->clear();
    lbIF->addItems(ToQList(SplitItems(ToStd(mmIF->toPlainText()))));
    lbTHEN->addItems(ToQList(SplitItems(ToStd(mmThen->toPlainText()))));
  }
}

void TRulesEditDlg::EditLine() {
  QListWidget* list = LastList_ ? LastList_ : lbIF;
  const QString text = eEdit->text().trimmed();
  QListWidgetItem* item = list->currentItem();
  if (item) {
    if (text.isEmpty())
      delete list->takeItem(list->row(item));
    else
      item->setText(text);
  } else if (!text.isEmpty()) {
    list->addItem(text);
  }
  eEdit->clear();
  list->setCurrentItem(nullptr);
}

std::string TRulesEditDlg::SelectedRule() const { return NodeName(tvRules->currentItem()); }

void TRulesEditDlg::AddRule() {
  RunGuarded(this, [this] {
    std::unique_ptr<TRule> rule = UpdateCurrentRule();
    const std::string name = rule->GetRuleName();
    if (Work_->Rules().Contains(name)) KbError(SDuplicateRuleNames, name);
    Work_->Rules().Add(rule.get());
    rule.release();
    FillRules(name);
  });
}

void TRulesEditDlg::ReplaceRule() {
  RunGuarded(this, [this] {
    const std::string old = SelectedRule();
    std::unique_ptr<TRule> rule = UpdateCurrentRule();
    const std::string name = rule->GetRuleName();
    if (name != old && Work_->Rules().Contains(name)) KbError(SDuplicateRuleNames, name);
    if (!old.empty()) Work_->Rules().Remove(old);
    Work_->Rules().Add(rule.get());
    rule.release();
    FillRules(name);
  });
}

void TRulesEditDlg::DeleteRule() {
  const std::string name = SelectedRule();
  if (name.empty()) return;
  RunGuarded(this, [&] { Work_->Rules().Remove(name); });
  FillRules(std::string());
  ClearPanel();
}

void TRulesEditDlg::ClearRules() {
  RunGuarded(this, [this] { Work_->Rules().Clear(); });
  FillRules(std::string());
  ClearPanel();
}

void TRulesEditDlg::Load() {
  const QString file = AskFile(TKbFileKind::Rules, false);
  if (file.isEmpty()) return;
  // Loading replaces the rules (the file's other constructs are added).
  if (!RunGuarded(this,
                  [&] { LoadThroughCopy(*Work_, [&](TDeducer& E) { E.LoadRules(ToStd(file)); }); }))
    return;
  FillRules(std::string());
  FillTemplates();
  FillFunctions();
  ClearPanel();
}

void TRulesEditDlg::Save() {
  const QString file = AskFile(TKbFileKind::Rules, true);
  if (file.isEmpty()) return;
  RunGuarded(this, [&] { Work_->SaveRules(ToStd(file)); });
}

// ------------------------------------------------------- drag and drop

QMimeData* TRulesEditDlg::DragData(QTreeWidgetItem* Item) const {
  if (!Item) return nullptr;
  const QString name = ToQ(NodeName(Item));
  switch (NodeKind(Item)) {
    case TKbNodeKind::Template: return MimeOf({"template", name});
    case TKbNodeKind::Slot: return MimeOf({"slot", name, ToQ(NodeSlot(Item))});
    case TKbNodeKind::Rule: return MimeOf({"rule", name});
    case TKbNodeKind::Comment: return nullptr;
    case TKbNodeKind::None: break;
  }
  auto* data = new QMimeData;
  data->setText(Item->text(0));
  return data;
}

QMimeData* TRulesEditDlg::DragData(QListWidgetItem* Item) const {
  if (!Item) return nullptr;
  if (Item->listWidget() == lbFunctions) return MimeOf({"function", Item->text()});
  auto* data = new QMimeData;
  data->setText(Item->text());
  return data;
}

TKbDragObject TRulesEditDlg::DragObjectOf(const QMimeData* Data) const {
  TKbDragObject o;
  if (!Data) return o;
  if (!Data->hasFormat(KbDragMimeType)) {
    o.Text = ToStd(Data->text());
    return o;
  }
  const QStringList parts = QString::fromUtf8(Data->data(KbDragMimeType)).split('\n');
  const QString kind = parts.value(0);
  const std::string name = ToStd(parts.value(1));
  if (kind == "template" || kind == "slot") {
    IFactTemplate t = Work_->FactTemplates().Get(name);
    if (!t) return o;
    if (kind == "template") {
      o.DragType = idtTemplate;
      o.KbUnknown = TRef<TInterfacedPersistent>(t.get());
    } else if (TFactSlot* s = t->FindSlot(ToStd(parts.value(2)))) {
      o.DragType = idtSlot;
      o.KbUnknown = TRef<TInterfacedPersistent>(s);
    }
  } else if (kind == "function") {
    if (IUserFunction f = Work_->UserFunctions().Get(name)) {
      o.DragType = idtFunction;
      o.KbUnknown = TRef<TInterfacedPersistent>(f.get());
    }
  } else if (kind == "rule") {
    if (TRule* r = Work_->Rules().Get(name)) {
      o.DragType = idtRule;
      o.KbObject = r;
    }
  }
  return o;
}

std::string TRulesEditDlg::UniqueName(const std::string& Base) {
  for (int i = 1;; ++i) {
    std::string name = Base + std::to_string(i);
    if (Names_.insert(name).second) return name;
  }
}

std::string TRulesEditDlg::GenerateUniqueVariable(const std::string& Base) {
  return UniqueName(Base);
}
std::string TRulesEditDlg::GenerateUniqueBinding(const std::string& Base) {
  return UniqueName(Base);
}

std::string TRulesEditDlg::DropText(const TKbDragObject& Object, bool IntoIF) {
  const bool variables = IntoIF && cbVariableAssign->isChecked();
  // A slot's part of a pattern: its default, or a variable for it (a
  // multislot's variable takes all its values).
  auto slotText = [&](const TFactSlot& S) {
    std::string text = "(" + S.GetName() + " ";
    if (variables)
      text += (S.IsMultiSlot() ? "$?" : "?") + GenerateUniqueBinding(S.GetName());
    else
      text += PatternValue(S.GetSlotDefault());
    return text + ")";
  };
  switch (Object.DragType) {
    case idtSlot: {
      const TFactSlot* s = Object.AsFactSlot();
      if (!s) return std::string();
      const std::string t = s->GetTemplateName();
      std::string text =
          variables ? "?" + GenerateUniqueVariable(t + s->GetName()) + " <- " : std::string();
      return text + "(" + t + " " + slotText(*s) + ")";
    }
    case idtTemplate: {
      const TFactTemplate* t = Object.AsTemplate();
      if (!t) return std::string();
      const std::string& name = t->GetTemplateName();
      std::string text = variables ? "?" + GenerateUniqueVariable(name) + " <- " : std::string();
      if (t->IsOrdered()) return text + "(" + name + ")";
      text += "(" + name;
      for (const IFactSlot& s : t->GetSlots()) text += " " + slotText(*s);
      return text + ")";
    }
    case idtFunction:
      return Object.AsFunction() ? "(" + Object.AsFunction()->GetFunctionName() + ")"
                                 : std::string();
    case idtRule: {
      if (!Object.AsRule()) return std::string();
      // One line: the rule's text with its line breaks as blanks.
      std::string text;
      for (const std::string& item : SplitItems(Object.AsRule()->GetToString())) text += item;
      return text;
    }
    case idtNone: break;
  }
  return Object.Text;
}

void TRulesEditDlg::Drop(TKbDragList* Target, int Row, const QMimeData* Data) {
  const std::string text = DropText(DragObjectOf(Data), Target == lbIF);
  if (text.empty()) return;
  auto* item = new QListWidgetItem(ToQ(text));
  if (Row < 0 || Row >= Target->count())
    Target->addItem(item);
  else
    Target->insertItem(Row, item);
  Target->setCurrentItem(item);
  if (pcEditor->currentIndex() == 1) SyncTabs(1);
}

}  // namespace kb
