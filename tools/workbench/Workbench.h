// The desktop workbench: one engine with a console that runs commands as
// the deducer shell does (the same prompt echo and error text), live views
// of the facts and the agenda, Run / Step / Halt, the knowledge base's
// open and save, and the editor dialogs on the engine.
//
// Runs, whether started from the window or by a command typed in the
// console, let the event loop turn every few firings, so Halt (and closing
// the window) stop them; while a command runs, everything but Halt is
// disabled. "read" and "readline" on standard input ask the user in an
// input dialog; Cancel ends the input, as the end of a piped input does in
// the shell.
#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>
#include <string>
#include <string_view>

#include "engine/Deducer.h"
#include "engine/DeducerIO.h"
#include "engine/DeducerPackages.h"
#include "framework/Classes.h"

class QAction;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;

namespace kb {

class TUserPackage;

// The package of an engine's own functions (exactly a TUserPackage, not a
// built-in package), or nil.
TUserPackage* UserPackageOf(TDeducer& Engine);

class TWorkbench final : public QMainWindow {
 public:
  explicit TWorkbench(QWidget* Parent = nullptr);
  ~TWorkbench() override;
  TWorkbench(const TWorkbench&) = delete;
  TWorkbench& operator=(const TWorkbench&) = delete;

  TDeducer& Engine() { return *Engine_; }
  // One line as typed into the console: echoed after the prompt, added to
  // the command being collected and run once the command is complete.
  void EnterLine(const QString& Line);
  // Clears the engine and loads the file; errors go to the console.
  bool OpenFile(const QString& FileName);
  bool SaveFile(const QString& FileName);
  // Fires until the agenda is empty, a rule halts or Halt is pressed.
  void RunEngine();
  // Fires one activation.
  void StepEngine();
  // Asks the run in progress to stop after the current slice.
  void HaltEngine() { HaltRequested_ = true; }
  bool IsRunning() const { return Running_; }
  // Fills the facts and agenda views and the status line from the engine.
  void Refresh();

 protected:
  void closeEvent(QCloseEvent* Event) override;

 private:
  enum class TOutcome { Ok, Error, Exit };
  // Runs Body as one command: its error is written to the console as the
  // shell writes it to standard error; an "exit" closes the window.
  template <class F>
  TOutcome Execute(F&& Body, const std::string& ErrorPrefix = std::string());
  // Writes the engine's text (CR LF line ends as LF).
  void Write(std::string_view Text, bool IsError = false);
  void ReportError(const std::string& Message);
  // One line of standard input from the user, the console's last partial
  // line as the question; false when the user cancelled.
  bool AskLine(std::string& Line);
  // Called on every firing: now and then the window is brought up to date
  // and the event loop turns, and a Halt asked for meanwhile halts the run.
  void GiveWay();
  void EchoCommand(const std::string& Command);
  void SetRunning(bool Value);
  void OpenDialog();
  void SaveDialog(bool AskName);
  void EditRules();
  void EditFactTemplates();
  void EditFacts();
  void EditFunctions();
  void UpdateTitle();

  TComponent Root_;
  TDeducer* Engine_;  // owned by Root_
  TCommandBuffer Command_;
  // The engine's standard input (AskLine), given afresh to every command.
  std::unique_ptr<TStream> StdIn_;
  // What the console shows after its last line end.
  std::string OutputTail_;
  uint32_t Firings_ = 0;
  QString FileName_;
  bool AtLineStart_ = true;
  bool Running_ = false;
  bool HaltRequested_ = false;
  bool CloseRequested_ = false;
  QPlainTextEdit* Output_;
  QLineEdit* Input_;
  QListWidget* FactsView_;
  QListWidget* AgendaView_;
  QAction* HaltAction_;
};

}  // namespace kb
