// The "Fact Template Editor" (kbforms/FactTemplateEditorForm.h).
#include "kbforms/FactTemplateEditorForm.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "engine/Deducer.h"
#include "engine/DeducerTemplates.h"
#include "kbforms/FormsCommon.h"
#include "kbforms/KbTreeViews.h"
#include "memory/KbFacts.h"
#include "parser/KbClipsParser.h"

namespace kb {

namespace {

// The types a single-field slot may allow, in the order the list shows them.
constexpr TKbType SlotTypeList[] = {dtAtom,       dtString, dtInteger,  dtFloat,
                                    dtFactId,     dtFact,   dtVariable, dtFunCall,
                                    dtDescriptor, dtObject, dtClass,    dtExternalAddress};

const char* const SDefaultDynamicHint =
    "Default-Dynamic|Check to make default value be evaluated at fact creation time";

QLineEdit* Edit(QWidget* Parent, const char* Name) {
  auto* e = new QLineEdit(Parent);
  e->setObjectName(Name);
  return e;
}

// The text of a slot's default as the panel shows it; a multislot's
// items without parentheses.
std::string DefaultText(const TFactSlot& Slot) {
  const IKbValue& d = Slot.GetSlotDefault();
  if (!d || d.get() == FCNil.get() || (d->GetDType() == dtAtom && d->GetAsString() == "nil"))
    return std::string();
  return ValueFieldText(d);
}

}  // namespace

IKbValue AddTypeAndValue(TDeducer& Engine, const std::string& Text, TKbTypes Types, bool Dynamic,
                         bool Multi) {
  const std::string text = Trim(Text);
  if (Multi) return Engine.ParseList(text);
  if (text.empty()) {
    if (Dynamic) KbError(SNotCorrectType, "function call", EnumName(dtNone));
    return FCNil;
  }
  IKbValue v = Engine.ParseValue(text);
  const TKbType type = v ? v->GetDType() : dtNone;
  if (Dynamic) {
    if (type != dtFunCall) KbError(SNotCorrectType, "function call", EnumName(type));
    return v;
  }
  // A call in a plain default runs now, as the parser runs it.
  if (type == dtFunCall) {
    v = Engine.ParseNExecuteFunCall(text);
    if (!v) return FCNil;
  }
  const bool nil = v.get() == FCNil.get() || (v->GetDType() == dtAtom && v->GetAsString() == "nil");
  if (!nil && !Types.Contains(v->GetDType()))
    KbError(SNotCorrectType, TypeSetText(Types, ", "), EnumName(v->GetDType()));
  return nil ? FCNil : v;
}

TFactTemplatesEditDlg::TFactTemplatesEditDlg(QWidget* Parent)
    : TKbForm(Parent), Work_(std::make_unique<TDeducer>()) {
  setObjectName("TFactTemplatesEditDlg");
  setWindowTitle("Fact Template Editor");

  tvFactTemplates = new QTreeWidget(this);
  tvFactTemplates->setObjectName("tvFactTemplates");
  tvFactTemplates->setHeaderHidden(true);
  tvFactTemplates->setMinimumWidth(200);
  SetHint(tvFactTemplates, "Fact Templates|The templates and their slots");
  btnNew = NewButton(this, "btnNew", "&New", "New Template|Add a new fact template");
  btnNewSlot =
      NewButton(this, "btnNewSlot", "New &Slot", "New Slot|Add a slot to the selected template");
  btnDelete =
      NewButton(this, "btnDelete", "&Delete", "Delete|Delete the selected template or slot");
  auto* treeButtons = new QHBoxLayout;
  treeButtons->addWidget(btnNew);
  treeButtons->addWidget(btnNewSlot);
  treeButtons->addWidget(btnDelete);
  auto* left = new QVBoxLayout;
  left->addWidget(tvFactTemplates);
  left->addLayout(treeButtons);

  auto* templateBox = new QGroupBox("Template", this);
  auto* templateForm = new QFormLayout(templateBox);
  eName = Edit(templateBox, "eName");
  SetHint(eName, "Template Name|Enter a name for the template (no spaces or quotes)");
  eComment = Edit(templateBox, "eComment");
  SetHint(eComment, "Comment|A comment for the template");
  templateForm->addRow("Na&me:", eName);
  templateForm->addRow("C&omment:", eComment);

  auto* slotBox = new QGroupBox("Slot", this);
  auto* slotForm = new QFormLayout(slotBox);
  eSlotName = Edit(slotBox, "eSlotName");
  SetHint(eSlotName, "Slot Name|Enter a name for the slot (no spaces or quotes)");
  eSlotDefault = Edit(slotBox, "eSlotDefault");
  SetHint(eSlotDefault, "Default|The slot's default value (a function call for Default-Dynamic)");
  clbSlotTypes = new QListWidget(slotBox);
  clbSlotTypes->setObjectName("clbSlotTypes");
  SetHint(clbSlotTypes, "Slot Types|The types of value the slot allows");
  for (TKbType t : SlotTypeList) {
    auto* item = new QListWidgetItem(ToQ(TypeSetText(TKbTypes{t}, "")), clbSlotTypes);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setData(Qt::UserRole, static_cast<int>(t));
    item->setCheckState(Qt::Checked);
  }
  clbSlotTypes->setMinimumHeight(120);
  btnSelectAll = NewButton(slotBox, "btnSelectAll", "All T&ypes", "All Types|Allow every type");
  btnSelectNone = NewButton(slotBox, "btnSelectNone", "No Types", "No Types|Clear the type list");
  cbDefaultDynamic = new QCheckBox("Default-Dynamic", slotBox);
  cbDefaultDynamic->setObjectName("cbDefaultDynamic");
  SetHint(cbDefaultDynamic, SDefaultDynamicHint);
  actMultiSlot = new QAction("MultiSlo&t", this);
  actMultiSlot->setObjectName("actMultiSlot");
  actMultiSlot->setCheckable(true);
  actMultiSlot->setToolTip("MultiSlot");
  actMultiSlot->setStatusTip("Make the slot hold any number of values");
  cbMultiSlot = new QCheckBox("MultiSlo&t", slotBox);
  cbMultiSlot->setObjectName("cbMultiSlot");
  SetHint(cbMultiSlot, "MultiSlot|Make the slot hold any number of values");
  connect(cbMultiSlot, &QCheckBox::toggled, actMultiSlot, &QAction::setChecked);
  connect(actMultiSlot, &QAction::toggled, cbMultiSlot, &QCheckBox::setChecked);
  connect(actMultiSlot, &QAction::toggled, this, [this] { UpdateEnabled(); });
  auto* typeButtons = new QHBoxLayout;
  typeButtons->addWidget(btnSelectAll);
  typeButtons->addWidget(btnSelectNone);
  typeButtons->addStretch();
  auto* flags = new QHBoxLayout;
  flags->addWidget(cbDefaultDynamic);
  flags->addWidget(cbMultiSlot);
  flags->addStretch();
  slotForm->addRow("Slot Nam&e:", eSlotName);
  slotForm->addRow("De&fault:", eSlotDefault);
  slotForm->addRow("Ty&pes:", clbSlotTypes);
  slotForm->addRow(QString(), typeButtons);
  slotForm->addRow(QString(), flags);

  auto* right = new QVBoxLayout;
  right->addWidget(templateBox);
  right->addWidget(slotBox, 1);

  auto* body = new QHBoxLayout;
  body->addLayout(left, 1);
  body->addLayout(right, 1);

  LayOut(body, "Load|Load fact templates from a file", "Save|Save the fact templates to a file");
  resize(640, 480);

  connect(tvFactTemplates, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* Item) {
    if (Filling_) return;
    // Applying the panel fills the tree again: the node is kept by name.
    std::string t = NodeName(Item), s = NodeSlot(Item);
    const std::string oldTemplate = Template_, oldSlot = Slot_;
    if (!Commit()) {
      FillTree();
      return;
    }
    // The node the panel renamed has its new name.
    if (t == oldTemplate) {
      t = Template_;
      if (s == oldSlot) s = Slot_;
    }
    Template_ = t;
    Slot_ = s;
    FillTree();
    ShowPanel();
  });
  connect(btnNew, &QPushButton::clicked, this, [this] { NewTemplate(); });
  connect(btnNewSlot, &QPushButton::clicked, this, [this] { NewSlot(); });
  connect(btnDelete, &QPushButton::clicked, this, [this] { DeleteNode(); });
  connect(btnSelectAll, &QPushButton::clicked, this, [this] { CheckTypes(KbSlotTypes); });
  connect(btnSelectNone, &QPushButton::clicked, this, [this] { CheckTypes(TKbTypes()); });
  connect(btnLoad, &QPushButton::clicked, this, [this] { Load(); });
  connect(btnSave, &QPushButton::clicked, this, [this] { Save(); });
  for (QLineEdit* e : {eName, eComment, eSlotName, eSlotDefault})
    connect(e, &QLineEdit::returnPressed, this, [this] { Commit(); });

  setTabOrder(tvFactTemplates, btnNew);
  setTabOrder(btnNew, btnNewSlot);
  setTabOrder(btnNewSlot, btnDelete);
  setTabOrder(btnDelete, eName);
  setTabOrder(eName, eComment);
  setTabOrder(eComment, eSlotName);
  setTabOrder(eSlotName, eSlotDefault);
  setTabOrder(eSlotDefault, clbSlotTypes);
  setTabOrder(clbSlotTypes, btnSelectAll);
  setTabOrder(btnSelectAll, btnSelectNone);
  setTabOrder(btnSelectNone, cbDefaultDynamic);
  setTabOrder(cbDefaultDynamic, cbMultiSlot);
  setTabOrder(cbMultiSlot, btnLoad);
  setTabOrder(btnLoad, btnSave);
  ShowPanel();
}

TFactTemplatesEditDlg::~TFactTemplatesEditDlg() = default;

void TFactTemplatesEditDlg::LoadFrom(TDeducer& Engine) {
  Work_->SetFactTemplates(Engine.FactTemplates());
  Template_.clear();
  Slot_.clear();
  FillTree();
  ShowPanel();
}

void TFactTemplatesEditDlg::done(int Result) {
  if (Result == QDialog::Accepted && !Commit()) return;
  TKbForm::done(Result);
}

void TFactTemplatesEditDlg::FillTree() {
  Filling_ = true;
  FillTreeView(Work_->FactTemplates(), tvFactTemplates);
  tvFactTemplates->expandAll();
  // The node the panel shows; with none, the first template, which the
  // filling has selected.
  if (QTreeWidgetItem* current = FindNode(tvFactTemplates, Template_, Slot_))
    tvFactTemplates->setCurrentItem(current);
  else if (Template_.empty())
    Template_ = NodeName(tvFactTemplates->currentItem());
  Filling_ = false;
}

void TFactTemplatesEditDlg::Select(const std::string& Template, const std::string& Slot) {
  if (!Commit()) return;
  Template_ = Template;
  Slot_ = Slot;
  FillTree();
  ShowPanel();
}

void TFactTemplatesEditDlg::ShowPanel() {
  IFactTemplate t = Template_.empty() ? nullptr : Work_->FactTemplates().Get(Template_);
  TFactSlot* s = t && !Slot_.empty() ? t->FindSlot(Slot_) : nullptr;
  eName->setText(t ? ToQ(t->GetTemplateName()) : QString());
  eComment->setText(t ? ToQ(t->GetComment()) : QString());
  eSlotName->setText(s ? ToQ(s->GetName()) : QString());
  eSlotDefault->setText(s ? ToQ(DefaultText(*s)) : QString());
  const bool multi = s && s->IsMultiSlot();
  CheckTypes(s && !multi ? s->GetSlotType() : KbSlotTypes);
  cbDefaultDynamic->setChecked(s && s->GetSlotDefault() &&
                               s->GetSlotDefault()->GetDType() == dtFunCall);
  actMultiSlot->setChecked(multi);
  UpdateEnabled();
}

void TFactTemplatesEditDlg::UpdateEnabled() {
  IFactTemplate t = Template_.empty() ? nullptr : Work_->FactTemplates().Get(Template_);
  const bool slot = t && !Slot_.empty() && t->FindSlot(Slot_);
  eName->setEnabled(bool(t));
  eComment->setEnabled(bool(t));
  for (QWidget* w : std::initializer_list<QWidget*>{eSlotName, eSlotDefault, cbMultiSlot})
    w->setEnabled(slot);
  const bool single = slot && !actMultiSlot->isChecked();
  for (QWidget* w :
       std::initializer_list<QWidget*>{clbSlotTypes, btnSelectAll, btnSelectNone, cbDefaultDynamic})
    w->setEnabled(single);
  actMultiSlot->setEnabled(slot);
  btnNewSlot->setEnabled(bool(t));
  btnDelete->setEnabled(bool(t));
}

TKbTypes TFactTemplatesEditDlg::CheckedTypes() const {
  TKbTypes types;
  for (int i = 0; i < clbSlotTypes->count(); ++i)
    if (clbSlotTypes->item(i)->checkState() == Qt::Checked)
      types.Include(static_cast<TKbType>(clbSlotTypes->item(i)->data(Qt::UserRole).toInt()));
  return types;
}

void TFactTemplatesEditDlg::CheckTypes(TKbTypes Types) {
  for (int i = 0; i < clbSlotTypes->count(); ++i) {
    QListWidgetItem* item = clbSlotTypes->item(i);
    const auto t = static_cast<TKbType>(item->data(Qt::UserRole).toInt());
    item->setCheckState(Types.Contains(t) ? Qt::Checked : Qt::Unchecked);
  }
}

bool TFactTemplatesEditDlg::Commit() {
  return RunGuarded(this, [this] { ApplyPanel(); });
}

void TFactTemplatesEditDlg::ApplyPanel() {
  IFactTemplate t = Template_.empty() ? nullptr : Work_->FactTemplates().Get(Template_);
  if (!t) return;
  const std::string name = Trim(ToStd(eName->text()));
  const std::string comment = ToStd(eComment->text());
  TFactSlot* s = Slot_.empty() ? nullptr : t->FindSlot(Slot_);
  // Everything is checked before anything changes.
  if (name != t->GetTemplateName()) {
    CheckConstructName(name);
    if (Work_->FactTemplates().Contains(name)) KbError(SDuplicateTemplateNames, name);
  }
  IFactSlot replacement;
  if (s) {
    const std::string slotName = Trim(ToStd(eSlotName->text()));
    const bool multi = actMultiSlot->isChecked();
    const bool dynamic = !multi && cbDefaultDynamic->isChecked();
    const TKbTypes types = multi ? KbMultiSlotTypes : CheckedTypes();
    if (types.IsEmpty()) KbError(SBadSlotType);
    if (slotName != s->GetName()) {
      CheckConstructName(slotName);
      if (t->ContainsSlot(slotName)) KbError(SBadSlotName, slotName);
    }
    IKbValue def = AddTypeAndValue(*Work_, ToStd(eSlotDefault->text()), types, dynamic, multi);
    const bool same = slotName == s->GetName() && types == s->GetSlotType() &&
                      ((!def && !s->GetSlotDefault()) ||
                       (def && s->GetSlotDefault() && def->Equals(s->GetSlotDefault())));
    if (!same) {
      replacement = new TFactSlot(nullptr);
      replacement->SetName(slotName);
      replacement->SetSlotType(types);
      replacement->SetSlotDefault(def);
    }
  }
  if (comment != t->GetComment()) t->SetComment(comment);
  if (name != t->GetTemplateName()) {
    t->SetTemplateName(name);
    Template_ = name;
  }
  if (replacement) {
    if (replacement->GetName() != s->GetName()) s->SetName(replacement->GetName());
    t->SetSlot(replacement->GetName(), replacement);
    Slot_ = replacement->GetName();
  }
  FillTree();
  ShowPanel();
}

void TFactTemplatesEditDlg::NewTemplate() {
  if (!Commit()) return;
  RunGuarded(this, [this] {
    std::string name;
    for (int i = 1; name.empty() || Work_->FactTemplates().Contains(name); ++i)
      name = "template" + std::to_string(i);
    Work_->FactTemplates().Add(IFactTemplate(new TFactTemplate(Work_.get(), name)));
    Template_ = name;
    Slot_.clear();
    FillTree();
    ShowPanel();
    eName->setFocus();
    eName->selectAll();
  });
}

void TFactTemplatesEditDlg::NewSlot() {
  if (!Commit()) return;
  RunGuarded(this, [this] {
    IFactTemplate t = Template_.empty() ? nullptr : Work_->FactTemplates().Get(Template_);
    if (!t) return;
    // An ordered template's one multislot gives way to named slots.
    if (t->IsOrdered()) t->ClearSlots();
    std::string name;
    for (int i = 1; name.empty() || t->ContainsSlot(name); ++i) name = "slot" + std::to_string(i);
    t->AddSlot(name, FCNil);
    Slot_ = name;
    FillTree();
    ShowPanel();
    eSlotName->setFocus();
    eSlotName->selectAll();
  });
}

void TFactTemplatesEditDlg::DeleteNode() {
  RunGuarded(this, [this] {
    IFactTemplate t = Template_.empty() ? nullptr : Work_->FactTemplates().Get(Template_);
    if (!t) return;
    if (!Slot_.empty()) {
      t->RemoveSlot(Slot_);
      Slot_.clear();
    } else {
      Work_->FactTemplates().Remove(Template_);
      Template_.clear();
    }
    FillTree();
    ShowPanel();
  });
}

void TFactTemplatesEditDlg::Load() {
  if (!Commit()) return;
  const QString file = AskFile(TKbFileKind::FactTemplates, false);
  if (file.isEmpty()) return;
  // Loading replaces the templates.
  if (!RunGuarded(this, [&] {
        LoadThroughCopy(*Work_, [&](TDeducer& E) { E.LoadFactTemplates(ToStd(file)); });
      }))
    return;
  Template_.clear();
  Slot_.clear();
  FillTree();
  ShowPanel();
}

void TFactTemplatesEditDlg::Save() {
  if (!Commit()) return;
  const QString file = AskFile(TKbFileKind::FactTemplates, true);
  if (file.isEmpty()) return;
  RunGuarded(this, [&] { Work_->SaveFactTemplates(ToStd(file)); });
}

}  // namespace kb
