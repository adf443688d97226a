// Driving modal dialogs in tests: act on a dialog once it shows.
#pragma once

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

#include "kbforms/FormsCommon.h"

namespace kb::test {

// Runs Act on the next modal widget of type T as soon as it is the active
// modal widget and window (polling from the event loop, which exec() keeps running).
template <class T>
void WhenShown(std::function<void(T*)> Act) {
  auto* timer = new QTimer(qApp);
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, Act] {
    auto* w = dynamic_cast<T*>(QApplication::activeModalWidget());
    // Shown and active: focus has settled (a view takes a current item
    // when it first gets focus).
    if (!w || !w->isVisible() || QApplication::activeWindow() != w) return;
    timer->stop();
    timer->deleteLater();
    Act(w);
  });
  timer->start();
}

// Answers the next message box with OK and keeps its text in Text.
inline void AnswerMessage(std::string& Text) {
  WhenShown<QMessageBox>([&Text](QMessageBox* Box) {
    Text = Box->text().toStdString();
    Box->accept();
  });
}

// Writes Text to the file Name.
inline void WriteFile(const QString& Name, const char* Text) {
  QFile file(Name);
  if (file.open(QIODevice::WriteOnly)) file.write(Text);
}

// The text of the file Name (empty when it cannot be read).
inline std::string ReadFile(const QString& Name) {
  QFile file(Name);
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// The files of a load and save test (a good file, a bad one and where to
// save, in a directory of their own) and the file dialogs of a form
// answered with Answer, each question noted in Asked ("KIND load").
struct TFileAnswers {
  QTemporaryDir Dir;
  QString Good, Bad, Saved, Answer;
  QStringList Asked;
  TFileAnswers(const char* GoodText, const char* BadText, const char* SavedName)
      : Good(Dir.filePath("good.clp")),
        Bad(Dir.filePath("bad.clp")),
        Saved(Dir.filePath(SavedName)) {
    WriteFile(Good, GoodText);
    WriteFile(Bad, BadText);
  }
  void Install(TKbForm* Form) {
    Form->ChooseFileHook = [this](TKbFileKind Kind, bool Save) {
      Asked << QString("%1 %2").arg(int(Kind)).arg(Save ? "save" : "load");
      return Answer;
    };
  }
};

}  // namespace kb::test
