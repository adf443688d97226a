// The helpers the editor forms share (kbforms/FormsCommon.h).
#include "kbforms/FormsCommon.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>

#include "engine/Deducer.h"
#include "framework/SysUtils.h"
#include "parser/KbClipsParser.h"

namespace kb {

bool RunGuarded(QWidget* Parent, const std::function<void()>& Action) {
  std::string message;
  try {
    Action();
    return true;
  } catch (const Exception& e) {
    message = e.Message();
  } catch (const std::exception& e) {
    message = e.what();
  }
  QMessageBox box(QMessageBox::Critical, SErrorCaption, ToQ(message), QMessageBox::Ok, Parent);
  box.setObjectName("KbErrorBox");
  box.exec();
  return false;
}

void SetHint(QWidget* Widget, const char* Hint) {
  const QString h(Hint);
  const int bar = h.indexOf('|');
  Widget->setToolTip(bar < 0 ? h : h.left(bar));
  Widget->setStatusTip(bar < 0 ? h : h.mid(bar + 1));
}

QPushButton* NewButton(QWidget* Parent, const char* Name, const char* Text, const char* Hint) {
  auto* b = new QPushButton(Text, Parent);
  b->setObjectName(Name);
  SetHint(b, Hint);
  return b;
}

void TKbForm::LayOut(QLayout* Body, const char* LoadHint, const char* SaveHint) {
  btnLoad = NewButton(this, "btnLoad", "&Load...", LoadHint);
  btnSave = NewButton(this, "btnSave", "S&ave...", SaveHint);
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  box->setObjectName("ButtonBox");
  btnOK = box->button(QDialogButtonBox::Ok);
  btnOK->setObjectName("btnOK");
  box->button(QDialogButtonBox::Cancel)->setObjectName("btnCancel");
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(btnLoad);
  bottom->addWidget(btnSave);
  bottom->addStretch();
  bottom->addWidget(box);
  auto* main = new QVBoxLayout(this);
  main->addLayout(Body, 1);
  main->addLayout(bottom);
}

std::string ValueFieldText(const IKbValue& Value) {
  std::string text;
  if (!Value) return text;
  if (Value->GetDType() == dtList) {
    const TValueVector* list = Value->ListPtr();
    for (int i = 0; list && i < list->Count(); ++i) {
      if (i > 0) text += ' ';
      AppendValueText(text, list->Get(i));
    }
    return text;
  }
  AppendValueText(text, Value);
  return text;
}

void TKbForm::keyPressEvent(QKeyEvent* Event) {
  if ((Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter) &&
      dynamic_cast<QLineEdit*>(focusWidget())) {
    Event->accept();
    return;
  }
  QDialog::keyPressEvent(Event);
}

namespace {

struct TKindInfo {
  const char* Name;
  const char* Suffix;
};

TKindInfo InfoOf(TKbFileKind Kind) {
  switch (Kind) {
    case TKbFileKind::Rules: return {"Rule File", "rul"};
    case TKbFileKind::FactTemplates: return {"Fact Template File", "tpl"};
    case TKbFileKind::Facts: return {"Fact File", "fct"};
  }
  return {"Any File", ""};
}

}  // namespace

QString FileFilter(TKbFileKind Kind) {
  const TKindInfo info = InfoOf(Kind);
  return QString(
             "%1 (*.%2);;Knowledge Base File (*.kb);;CLIPS File (*.clp);;Text File "
             "(*.txt);;Any File (*)")
      .arg(info.Name, info.Suffix);
}

QString DefaultSuffix(TKbFileKind Kind) { return InfoOf(Kind).Suffix; }

QString ChooseFile(QWidget* Parent, TKbFileKind Kind, bool Save) {
  QFileDialog dialog(Parent, Save ? "Save As" : "Open");
  dialog.setObjectName("KbFileDialog");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilter(FileFilter(Kind));
  dialog.setDefaultSuffix(DefaultSuffix(Kind));
  dialog.setAcceptMode(Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().first();
}

QString TKbForm::AskFile(TKbFileKind Kind, bool Save) {
  return ChooseFileHook ? ChooseFileHook(Kind, Save) : ChooseFile(this, Kind, Save);
}

void LoadThroughCopy(TDeducer& Work, const std::function<void(TDeducer&)>& Load) {
  TDeducer copy;
  copy.Assign(&Work);
  Load(copy);
  Work.Assign(&copy);
}

std::vector<std::string> SplitItems(const std::string& Text) {
  // First the raw items: forms, strings and words.
  std::vector<std::string> raw;
  std::string current;
  int depth = 0;
  bool blank = false;
  auto flush = [&] {
    if (!current.empty()) raw.push_back(current);
    current.clear();
    blank = false;
  };
  auto put = [&](char c) {
    if (blank && !current.empty() && c != ')' && current.back() != '(') current += ' ';
    blank = false;
    current += c;
  };
  for (size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c == '"') {
      if (depth == 0) flush();
      put(c);
      for (++i; i < Text.size(); ++i) {
        current += Text[i];
        if (Text[i] == '\\' && i + 1 < Text.size())
          current += Text[++i];
        else if (Text[i] == '"')
          break;
      }
      if (depth == 0) flush();
    } else if (c == ';') {
      while (i + 1 < Text.size() && Text[i + 1] != '\n') ++i;
      if (depth == 0) flush();
      blank = true;
    } else if (c == '(') {
      if (depth == 0) flush();
      put(c);
      ++depth;
    } else if (c == ')') {
      put(c);
      if (depth > 0 && --depth == 0) flush();
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (depth == 0)
        flush();
      else
        blank = true;
    } else {
      put(c);
    }
  }
  flush();
  // Then a pattern binding joins its form: "?f" "<-" "(a)".
  std::vector<std::string> items;
  for (size_t i = 0; i < raw.size(); ++i) {
    const std::string& r = raw[i];
    if (r.size() > 1 && r[0] == '?' && i + 2 < raw.size() && raw[i + 1] == "<-" &&
        raw[i + 2][0] == '(') {
      items.push_back(r + " <- " + raw[i + 2]);
      i += 2;
    } else {
      items.push_back(r);
    }
  }
  return items;
}

TRuleParts SplitRuleText(const std::string& RuleText) {
  TRuleParts parts;
  std::vector<std::string> outer = SplitItems(RuleText);
  if (outer.empty()) return parts;
  // The rule's own parentheses go; what is inside is read item by item.
  std::string body = outer.front();
  if (body.size() >= 2 && body.front() == '(' && body.back() == ')')
    body = body.substr(1, body.size() - 2);
  std::vector<std::string> items = SplitItems(body);
  size_t i = 0;
  if (i < items.size() && SameText(items[i], "defrule")) ++i;
  if (i < items.size()) ++i;  // the name
  if (i < items.size() && !items[i].empty() && items[i].front() == '"') ++i;
  if (i < items.size() && items[i].rfind("(declare", 0) == 0) ++i;
  bool actions = false;
  for (; i < items.size(); ++i) {
    if (!actions && items[i] == "=>") {
      actions = true;
      continue;
    }
    (actions ? parts.Actions : parts.Conditions).push_back(items[i]);
  }
  return parts;
}

QStringList ToQList(const std::vector<std::string>& Items) {
  QStringList list;
  for (const std::string& s : Items) list << ToQ(s);
  return list;
}

}  // namespace kb
