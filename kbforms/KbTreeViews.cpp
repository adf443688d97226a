// The tree fillers of the editors (kbforms/KbTreeViews.h).
#include "kbforms/KbTreeViews.h"

#include <QFont>
#include <QTreeWidget>

#include "engine/Deducer.h"
#include "engine/DeducerRules.h"
#include "engine/DeducerTemplates.h"
#include "kbforms/FormsCommon.h"
#include "memory/KbFacts.h"
#include "rete/KbRule.h"

namespace kb {

namespace {

QTreeWidgetItem* NewNode(QTreeWidgetItem* Parent, const std::string& Caption, TKbNodeKind Kind,
                         const std::string& Name) {
  auto* node = new QTreeWidgetItem(Parent, QStringList(ToQ(Caption)));
  node->setData(0, KbNodeKindRole, static_cast<int>(Kind));
  node->setData(0, KbNodeNameRole, ToQ(Name));
  return node;
}

// Text on one line, as the editors show a construct's items.
std::string OneLine(const std::string& Text) {
  std::string line;
  for (const std::string& item : SplitItems(Text)) line += (line.empty() ? "" : " ") + item;
  return line;
}

// Empties Tree with its painting held off until the filling is done.
class TUpdateBracket {
 public:
  explicit TUpdateBracket(QTreeWidget* Tree) : Tree_(Tree), Enabled_(Tree->updatesEnabled()) {
    Tree_->setUpdatesEnabled(false);
    Tree_->clear();
  }
  ~TUpdateBracket() { Tree_->setUpdatesEnabled(Enabled_); }
  TUpdateBracket(const TUpdateBracket&) = delete;
  TUpdateBracket& operator=(const TUpdateBracket&) = delete;

 private:
  QTreeWidget* Tree_;
  bool Enabled_;
};

}  // namespace

void FillTreeView(const TFactTemplates& Templates, QTreeWidget* Tree) {
  TUpdateBracket bracket(Tree);
  for (const IFactTemplate& t : Templates.InParentOrder())
    if (!IsInternalName(t->GetTemplateName())) FillTreeViewNode(t, Tree);
  if (Tree->topLevelItemCount() > 0) Tree->setCurrentItem(Tree->topLevelItem(0));
}

QTreeWidgetItem* FillTreeViewNode(const IFactTemplate& Template, QTreeWidget* Tree) {
  const std::string& name = Template->GetTemplateName();
  auto* node = new QTreeWidgetItem(Tree, QStringList(ToQ(name)));
  node->setData(0, KbNodeKindRole, static_cast<int>(TKbNodeKind::Template));
  node->setData(0, KbNodeNameRole, ToQ(name));
  node->setToolTip(0, ToQ(Template->GetToString()));
  if (!Template->GetComment().empty()) {
    QTreeWidgetItem* comment = NewNode(node, Template->GetComment(), TKbNodeKind::Comment, name);
    // A comment is nothing to drag into a rule; it is set apart from the
    // slots.
    comment->setFlags(comment->flags() & ~Qt::ItemIsDragEnabled);
    QFont font = comment->font(0);
    font.setItalic(true);
    comment->setFont(0, font);
  }
  if (!Template->IsOrdered()) {
    for (const IFactSlot& s : Template->GetSlots()) FillNodeSlot(new QTreeWidgetItem(node), *s);
  }
  return node;
}

void FillNodeSlot(QTreeWidgetItem* Node, const TFactSlot& Slot) {
  Node->setText(0, ToQ(OneLine(Slot.GetToString())));
  Node->setData(0, KbNodeKindRole, static_cast<int>(TKbNodeKind::Slot));
  Node->setData(0, KbNodeNameRole, ToQ(Slot.GetTemplateName()));
  Node->setData(0, KbNodeSlotRole, ToQ(Slot.GetName()));
}

void FillTreeView(const TRules& Rules, QTreeWidget* Tree) {
  TUpdateBracket bracket(Tree);
  for (const auto& [name, rule] : Rules.Entries()) {
    auto* node = new QTreeWidgetItem(Tree, QStringList(ToQ(name)));
    node->setData(0, KbNodeKindRole, static_cast<int>(TKbNodeKind::Rule));
    node->setData(0, KbNodeNameRole, ToQ(name));
    node->setToolTip(0, ToQ(rule->GetComment()));
    const TRuleParts parts = SplitRuleText(rule->GetToString());
    for (const std::string& c : parts.Conditions) NewNode(node, c, TKbNodeKind::None, name);
    NewNode(node, "=>", TKbNodeKind::None, name);
    for (const std::string& a : parts.Actions) NewNode(node, a, TKbNodeKind::None, name);
  }
}

TKbNodeKind NodeKind(const QTreeWidgetItem* Node) {
  return Node ? static_cast<TKbNodeKind>(Node->data(0, KbNodeKindRole).toInt()) : TKbNodeKind::None;
}

std::string NodeName(const QTreeWidgetItem* Node) {
  return Node ? ToStd(Node->data(0, KbNodeNameRole).toString()) : std::string();
}

std::string NodeSlot(const QTreeWidgetItem* Node) {
  return Node ? ToStd(Node->data(0, KbNodeSlotRole).toString()) : std::string();
}

QTreeWidgetItem* FindNode(const QTreeWidget* Tree, const std::string& Name,
                          const std::string& Slot) {
  for (int i = 0; i < Tree->topLevelItemCount(); ++i) {
    QTreeWidgetItem* top = Tree->topLevelItem(i);
    if (NodeName(top) != Name) continue;
    if (Slot.empty()) return top;
    for (int j = 0; j < top->childCount(); ++j)
      if (NodeKind(top->child(j)) == TKbNodeKind::Slot && NodeSlot(top->child(j)) == Slot)
        return top->child(j);
  }
  return nullptr;
}

}  // namespace kb
