// The tree fillers of the editors: an engine's templates and rules as the
// nodes of a QTreeWidget.
//
// Every node carries what it stands for as item data (its kind and the
// names of its template, slot or rule), so that selection, drag and drop
// and tests never read a meaning back out of a caption.
//
// Part of kbforms: the core library has no Qt.
#pragma once

#include <string>

#include <Qt>

#include "core/KbInterfaces.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace kb {

class TFactSlot;
class TFactTemplates;
class TRules;

// What a node of a filled tree stands for.
enum class TKbNodeKind {
  None,      // a node of no kind (a line of a rule)
  Template,  // a fact template
  Comment,   // a template's comment
  Slot,      // a slot of a template
  Rule,      // a rule
};

// The item data roles of a node (column 0).
constexpr int KbNodeKindRole = Qt::UserRole;      // TKbNodeKind as int
constexpr int KbNodeNameRole = Qt::UserRole + 1;  // the template's or rule's name
constexpr int KbNodeSlotRole = Qt::UserRole + 2;  // the slot's name

// Fills Tree with Templates inside one update bracket: emptied first, then
// a node per template (the engine's own, named "__...", left out), parents
// before the templates that extend them (FillTreeViewNode); finally the
// first node is selected when there is one.
void FillTreeView(const TFactTemplates& Templates, QTreeWidget* Tree);
// A top-level node captioned with the template's name, its text as tooltip;
// under it a node with the template's comment (when it has one) and a node
// per slot (FillNodeSlot). An ordered template's one implicit multislot is
// no slot of the user's and gets no node.
QTreeWidgetItem* FillTreeViewNode(const IFactTemplate& Template, QTreeWidget* Tree);
// Makes Node the node of Slot: captioned with the slot's description (its
// text as the engine writes it, on one line, without blanks before a
// closing parenthesis).
void FillNodeSlot(QTreeWidgetItem* Node, const TFactSlot& Slot);

// Fills Tree with Rules, the same way: a node per rule captioned with its
// name (its comment as tooltip), under it a node per condition, "=>" and a
// node per action; no node is selected.
void FillTreeView(const TRules& Rules, QTreeWidget* Tree);

// A node's kind and names (None and empty for nil or a node of no kind).
TKbNodeKind NodeKind(const QTreeWidgetItem* Node);
std::string NodeName(const QTreeWidgetItem* Node);
std::string NodeSlot(const QTreeWidgetItem* Node);
// The node of a template or rule Name, or of its slot Slot; nil when the
// tree has none.
QTreeWidgetItem* FindNode(const QTreeWidget* Tree, const std::string& Name,
                          const std::string& Slot = std::string());

}  // namespace kb
