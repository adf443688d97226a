// Driving modal dialogs in tests: act on a dialog once it shows.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

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

}  // namespace kb::test
