// What the editor forms share: text conversions between the engine and Qt,
// the error box every form shows, the file dialogs of the load and save
// buttons, and the splitting of construct text into its top-level items.
//
// Internal to kbforms.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "core/KbValue.h"

class QKeyEvent;
class QLayout;
class QPushButton;
class QWidget;

namespace kb {

inline QString ToQ(const std::string& S) {
  return QString::fromUtf8(S.data(), static_cast<qsizetype>(S.size()));
}
inline std::string ToStd(const QString& S) { return S.toStdString(); }

// Runs Action; an exception it raises is shown in a modal message box
// (object name "KbErrorBox", caption Caption) over Parent and answered
// false, so that a form stays open with nothing changed.
bool RunGuarded(QWidget* Parent, const std::function<void()>& Action);
// The caption of that box.
constexpr const char* SErrorCaption = "Deducer";

class TDeducer;

// The kinds of file the editors load and save.
enum class TKbFileKind { Rules, FactTemplates, Facts };

// A form with "Load..." and "Save..." buttons beside OK and Cancel, whose
// single-line fields take Enter for themselves (it applies what they hold)
// instead of passing it on to the default button.
class TKbForm : public QDialog {
 public:
  using QDialog::QDialog;
  QPushButton* btnLoad = nullptr;
  QPushButton* btnSave = nullptr;
  QPushButton* btnOK = nullptr;
  // Asks which file to load (Save false) or to save; empty when the user
  // cancelled. Qt's file dialog (ChooseFile) unless a host or a test sets
  // its own.
  std::function<QString(TKbFileKind Kind, bool Save)> ChooseFileHook;

 protected:
  QString AskFile(TKbFileKind Kind, bool Save);
  void keyPressEvent(QKeyEvent* Event) override;
  // Makes the form's layout: Body over the row of buttons; the hints are
  // those of the load and save buttons.
  void LayOut(QLayout* Body, const char* LoadHint, const char* SaveHint);
};

// Hint is "Short|Long": the tooltip and the status tip (one text for both
// without a bar).
void SetHint(QWidget* Widget, const char* Hint);
QPushButton* NewButton(QWidget* Parent, const char* Name, const char* Text, const char* Hint);

// The filter list of a kind's file dialog: its own type first, then the
// whole knowledge base, CLIPS text, plain text and any file.
QString FileFilter(TKbFileKind Kind);
// The kind's own extension, without the dot.
QString DefaultSuffix(TKbFileKind Kind);
// Asks for a file to open or to save through Qt's own file dialog (object
// name "KbFileDialog"); empty when the user cancelled.
QString ChooseFile(QWidget* Parent, TKbFileKind Kind, bool Save);

// Runs Load on a copy of Work; Work becomes that copy only when Load
// succeeded, so that a file the engine refuses changes nothing (a failed
// load keeps what it read before the error).
void LoadThroughCopy(TDeducer& Work, const std::function<void(TDeducer&)>& Load);

// The top-level items of Text: each parenthesised form (strings and
// comments inside it kept whole), and each word or string outside one;
// a variable followed by "<-" and a form is one item ("?f <- (a)").
// Line breaks and runs of blanks outside strings become one blank, and
// none is left inside a parenthesis.
std::vector<std::string> SplitItems(const std::string& Text);

// A rule's text cut into what the rule editor shows: the lines of its
// conditions and of its actions (each one item).
struct TRuleParts {
  std::vector<std::string> Conditions;
  std::vector<std::string> Actions;
};
TRuleParts SplitRuleText(const std::string& RuleText);

// Names the engine makes for its own use ("__" first): templates and
// functions the editors do not offer.
inline bool IsInternalName(const std::string& Name) { return Name.rfind("__", 0) == 0; }

// A value as a field shows it: a multifield's items without parentheses,
// anything else as the engine writes it.
std::string ValueFieldText(const IKbValue& Value);

QStringList ToQList(const std::vector<std::string>& Items);

}  // namespace kb
