// The desktop workbench's window.
#include "tools/workbench/Workbench.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QTextCharFormat>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <typeinfo>

#include "engine/DeducerFacts.h"
#include "engine/DeducerPackages.h"
#include "framework/Streams.h"
#include "framework/SysUtils.h"
#include "kbforms/KbDialogs.h"
#include "kbforms/QtDialogs.h"
#include "tools/deducer/CommandError.h"

namespace kb {

namespace {

// The prompts the deducer shell shows: the console echoes each line after
// the one it was typed at.
constexpr const char* CommandPrompt = "deducer> ";
constexpr const char* ContinuationPrompt = "       > ";
// Activations fired between two turns of the event loop during a run.
constexpr uint32_t RunSlice = 50;
const char* const FileFilter = "CLIPS File (*.clp);;Text File (*.txt);;Any File (*)";

// Lines the user types, one Read per line with its line feed; the end of
// the input when the user cancels.
class TAskedInput final : public TStream {
 public:
  explicit TAskedInput(std::function<bool(std::string&)> Ask) : Ask_(std::move(Ask)) {}
  size_t Read(void* Buffer, size_t Count) override {
    if (Pos_ >= Pending_.size()) {
      Pending_.clear();
      Pos_ = 0;
      if (!Ask_(Pending_)) return 0;
      Pending_ += '\n';
    }
    const size_t n = std::min(Count, Pending_.size() - Pos_);
    std::memcpy(Buffer, Pending_.data() + Pos_, n);
    Pos_ += n;
    return n;
  }
  void Write(const void*, size_t) override { throw EFileError("Standard input cannot be written"); }
  int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
  int64_t GetSize() override { return 0; }

 private:
  std::function<bool(std::string&)> Ask_;
  std::string Pending_;
  size_t Pos_ = 0;
};

}  // namespace

TUserPackage* UserPackageOf(TDeducer& Engine) {
  for (int i = 0; i < Engine.GetComponentCount(); ++i) {
    TComponent* c = Engine.GetComponent(i);
    if (typeid(*c) == typeid(TUserPackage)) return static_cast<TUserPackage*>(c);
  }
  return nullptr;
}

TWorkbench::TWorkbench(QWidget* Parent) : QMainWindow(Parent) {
  // As in the shell, rules reach the engine by name: (get-component engine).
  Root_.SetName("workbench");
  Engine_ = new TDeducer(&Root_);
  Engine_->SetName("engine");
  InstallQtDialogs(*Engine_);
  StdIn_ = std::make_unique<TAskedInput>([this](std::string& Line) { return AskLine(Line); });
  Engine_->OnRuleFired = [this](TDeducer*, TRule*) { GiveWay(); };
  Engine_->OnPrintOut = [this](TPersistent*, const std::string& OutID, const std::string& Text) {
    // Only "t" reaches the console; an unknown name is a mistake to report.
    if (!IsStandardStreamName(OutID)) KbError(SInvalidStreamName, OutID);
    Write(Text);
  };

  FactsView_ = new QListWidget;
  FactsView_->setObjectName("FactsView");
  FactsView_->setToolTip("The facts in working memory");
  AgendaView_ = new QListWidget;
  AgendaView_->setObjectName("AgendaView");
  AgendaView_->setToolTip("The activations on the agenda, the next to fire first");
  auto group = [](const char* Title, QWidget* View) {
    auto* box = new QGroupBox(Title);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(View);
    return box;
  };
  auto* views = new QSplitter(Qt::Horizontal);
  views->addWidget(group("Facts", FactsView_));
  views->addWidget(group("Agenda", AgendaView_));

  Output_ = new QPlainTextEdit;
  Output_->setObjectName("ConsoleOutput");
  Output_->setReadOnly(true);
  Output_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  Input_ = new QLineEdit;
  Input_->setObjectName("ConsoleInput");
  Input_->setFont(Output_->font());
  Input_->setPlaceholderText("Type a command, e.g. (facts), and press Enter");
  Input_->setToolTip("Commands in the CLIPS rule language, as in the deducer shell");
  connect(Input_, &QLineEdit::returnPressed, this, [this] {
    const QString line = Input_->text();
    Input_->clear();
    EnterLine(line);
  });
  auto* console = new QGroupBox("Console");
  auto* consoleLayout = new QVBoxLayout(console);
  consoleLayout->setContentsMargins(4, 4, 4, 4);
  consoleLayout->addWidget(Output_);
  consoleLayout->addWidget(Input_);

  auto* main = new QSplitter(Qt::Vertical);
  main->addWidget(views);
  main->addWidget(console);
  main->setStretchFactor(0, 1);
  main->setStretchFactor(1, 1);
  setCentralWidget(main);

  auto action = [this](QMenu* Menu, const char* Name, const QString& Text, const QString& Tip,
                       QKeySequence Key, auto Slot) {
    auto* a = Menu->addAction(Text);
    a->setObjectName(Name);
    a->setStatusTip(Tip);
    a->setToolTip(Tip);
    if (!Key.isEmpty()) a->setShortcut(Key);
    connect(a, &QAction::triggered, this, Slot);
    return a;
  };
  QMenu* file = menuBar()->addMenu("&File");
  QAction* open = action(file, "actOpen", "&Open...", "Clear the engine and load a knowledge base",
                         QKeySequence::Open, [this] { OpenDialog(); });
  QAction* save = action(file, "actSave", "&Save", "Save the knowledge base", QKeySequence::Save,
                         [this] { SaveDialog(false); });
  action(file, "actSaveAs", "Save &As...", "Save the knowledge base in another file",
         QKeySequence::SaveAs, [this] { SaveDialog(true); });
  file->addSeparator();
  action(file, "actQuit", "&Quit", "Close the workbench", QKeySequence::Quit, [this] { close(); });
  QMenu* engine = menuBar()->addMenu("&Engine");
  QAction* reset = action(engine, "actReset", "R&eset", "Reset the engine: (reset)",
                          QKeySequence(Qt::CTRL | Qt::Key_E), [this] {
                            EchoCommand("(reset)");
                            Execute([this] { Engine_->Reset(); });
                            Refresh();
                          });
  QAction* run = action(engine, "actRun", "&Run", "Fire activations until the agenda is empty",
                        QKeySequence(Qt::Key_F9), [this] { RunEngine(); });
  QAction* step = action(engine, "actStep", "&Step", "Fire the next activation",
                         QKeySequence(Qt::Key_F8), [this] { StepEngine(); });
  HaltAction_ = action(engine, "actHalt", "&Halt", "Stop the run after the current rule",
                       QKeySequence(Qt::Key_Escape), [this] { HaltEngine(); });
  QMenu* edit = menuBar()->addMenu("E&dit");
  action(edit, "actRules", "&Rules...", "Edit the rules", QKeySequence(), [this] { EditRules(); });
  action(edit, "actFactTemplates", "Fact &Templates...", "Edit the fact templates", QKeySequence(),
         [this] { EditFactTemplates(); });
  action(edit, "actFacts", "&Facts...", "Edit the facts in working memory", QKeySequence(),
         [this] { EditFacts(); });
  action(edit, "actFunctions", "F&unctions...", "Choose the functions of the user package",
         QKeySequence(), [this] { EditFunctions(); });

  QToolBar* tools = addToolBar("Engine");
  tools->setObjectName("EngineToolBar");
  tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
  for (QAction* a : {open, save}) tools->addAction(a);
  tools->addSeparator();
  for (QAction* a : {reset, run, step, HaltAction_}) tools->addAction(a);

  resize(900, 640);
  UpdateTitle();
  SetRunning(false);
  Refresh();
  Input_->setFocus();
}

TWorkbench::~TWorkbench() {
  Engine_->OnPrintOut = nullptr;
  Engine_->OnRuleFired = nullptr;
  Engine_->SetStdInput(nullptr);
  Engine_->SetDialogs(nullptr);
}

void TWorkbench::Write(std::string_view Text, bool IsError) {
  if (Text.empty()) return;
  std::string out;
  out.reserve(Text.size());
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') continue;
    out += Text[i];
  }
  QTextCursor cursor = Output_->textCursor();
  cursor.movePosition(QTextCursor::End);
  QTextCharFormat format;
  if (IsError) format.setForeground(QColor(0xb0, 0x00, 0x20));
  cursor.insertText(QString::fromStdString(out), format);
  Output_->setTextCursor(cursor);
  Output_->ensureCursorVisible();
  AtLineStart_ = out.back() == '\n';
  const size_t lineEnd = out.rfind('\n');
  OutputTail_ = lineEnd == std::string::npos ? OutputTail_ + out : out.substr(lineEnd + 1);
}

bool TWorkbench::AskLine(std::string& Line) {
  const std::string question = Trim(OutputTail_);
  Line.clear();
  if (!TQtDialogs(this).InputQuery("Input", question.empty() ? "Input:" : question, Line))
    return false;
  // The answer shows in the console as a terminal shows what is typed.
  Write(Line + "\n");
  return true;
}

void TWorkbench::GiveWay() {
  if (!Running_ || ++Firings_ % RunSlice != 0) return;
  Refresh();
  QApplication::processEvents();
  if (HaltRequested_ || CloseRequested_) Engine_->SetHalted(true);
}

void TWorkbench::ReportError(const std::string& Message) {
  // The message starts on a line of its own and ends its line.
  if (!AtLineStart_) Write("\n");
  std::string text = Message;
  if (text.empty() || text.back() != '\n') text += '\n';
  Write(text, true);
}

void TWorkbench::EchoCommand(const std::string& Command) {
  if (!AtLineStart_) Write("\n");
  Write(CommandPrompt + Command + "\n");
}

template <class F>
TWorkbench::TOutcome TWorkbench::Execute(F&& Body, const std::string& ErrorPrefix) {
  TOutcome outcome = TOutcome::Ok;
  Engine_->SetInterrupted(false);
  // A fresh reader: input the user ended (Cancel) is asked for again.
  Engine_->SetStdInput(StdIn_.get());
  try {
    Body();
  } catch (const EAbort&) {
    if (Engine_->GetExitRequested()) {
      Engine_->SetExitRequested(false);
      outcome = TOutcome::Exit;
    } else {
      outcome = TOutcome::Error;
    }
  } catch (const std::exception&) {
    ReportError(deducer::CommandErrorMessage(*Engine_, ErrorPrefix));
    outcome = TOutcome::Error;
  }
  if (outcome == TOutcome::Exit) {
    // Closed once the command that asked for it has returned.
    CloseRequested_ = true;
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
  }
  return outcome;
}

void TWorkbench::EnterLine(const QString& Line) {
  if (Running_) return;
  const std::string line = Line.toStdString();
  if (!AtLineStart_) Write("\n");
  Write((Command_.IsEmpty() ? CommandPrompt : ContinuationPrompt) + line + "\n");
  Command_.Append(line);
  if (!Command_.IsComplete()) return;
  if (Command_.IsEmpty()) {
    Command_.Clear();
    return;
  }
  const std::string text = Command_.Take();
  SetRunning(true);
  Execute([&] { Engine_->Parse(text); });
  SetRunning(false);
  Refresh();
  if (CloseRequested_) close();
}

bool TWorkbench::OpenFile(const QString& FileName) {
  const std::string name = FileName.toStdString();
  // Opened first, so that a file that cannot be read is reported by itself
  // and leaves the engine as it was; errors inside it name the file.
  std::unique_ptr<TFileStream> file;
  try {
    file = std::make_unique<TFileStream>(name, fmOpenRead);
  } catch (const Exception& e) {
    ReportError(e.Message());
    return false;
  }
  // A file may run rules: they give way to the window as any run does.
  SetRunning(true);
  const TOutcome outcome = Execute(
      [&] {
        Engine_->Clear();
        Engine_->LoadFromStream(*file);
      },
      name + ": ");
  SetRunning(false);
  FileName_ = FileName;
  UpdateTitle();
  Refresh();
  return outcome == TOutcome::Ok;
}

bool TWorkbench::SaveFile(const QString& FileName) {
  const std::string name = FileName.toStdString();
  if (Execute([&] { Engine_->SaveToFile(name); }, name + ": ") != TOutcome::Ok) return false;
  FileName_ = FileName;
  UpdateTitle();
  return true;
}

void TWorkbench::SetRunning(bool Value) {
  Running_ = Value;
  if (Value) HaltRequested_ = false;
  for (QAction* a : findChildren<QAction*>())
    if (a != HaltAction_ && !a->objectName().isEmpty()) a->setEnabled(!Value);
  for (QMenu* m : menuBar()->findChildren<QMenu*>()) m->menuAction()->setEnabled(true);
  HaltAction_->setEnabled(Value);
  Input_->setEnabled(!Value);
  if (!Value) Input_->setFocus();
}

void TWorkbench::RunEngine() {
  if (Running_) return;
  EchoCommand("(run)");
  SetRunning(true);
  Execute([this] { Engine_->Run(); });
  SetRunning(false);
  Refresh();
  if (CloseRequested_) close();
}

void TWorkbench::StepEngine() {
  if (Running_) return;
  EchoCommand("(run 1)");
  SetRunning(true);
  Execute([this] { Engine_->Run(1); });
  SetRunning(false);
  Refresh();
}

void TWorkbench::Refresh() {
  FactsView_->clear();
  const std::string facts = Engine_->Facts().GetToIDString();
  for (const QString& line : QString::fromStdString(facts).split("\r\n", Qt::SkipEmptyParts))
    FactsView_->addItem(line);
  AgendaView_->clear();
  for (int i = 0; i < Engine_->GetAgendaCount(); ++i)
    AgendaView_->addItem(QString::fromStdString(Engine_->GetActivationText(i)));
  statusBar()->showMessage(QString("%1 facts, %2 activations, %3 rules fired")
                               .arg(Engine_->Facts().Count())
                               .arg(Engine_->GetAgendaCount())
                               .arg(Engine_->GetRulesFired()));
}

void TWorkbench::UpdateTitle() {
  setWindowTitle(FileName_.isEmpty() ? QString("Deducer Workbench")
                                     : QFileInfo(FileName_).fileName() + " - Deducer Workbench");
}

void TWorkbench::OpenDialog() {
  const QString name =
      QFileDialog::getOpenFileName(this, "Open Knowledge Base", FileName_, FileFilter);
  if (!name.isEmpty()) OpenFile(name);
}

void TWorkbench::SaveDialog(bool AskName) {
  QString name = FileName_;
  if (AskName || name.isEmpty())
    name = QFileDialog::getSaveFileName(this, "Save Knowledge Base", FileName_, FileFilter);
  if (!name.isEmpty()) SaveFile(name);
}

void TWorkbench::EditRules() {
  TRulesDialog dialog;
  dialog.SetEngine(Engine_);
  if (Execute([&] { dialog.Execute(); }) == TOutcome::Ok) Refresh();
}

void TWorkbench::EditFactTemplates() {
  TFactTemplatesDialog dialog;
  dialog.SetEngine(Engine_);
  if (Execute([&] { dialog.Execute(); }) == TOutcome::Ok) Refresh();
}

void TWorkbench::EditFacts() {
  TFactsDialog dialog;
  dialog.SetEngine(Engine_);
  if (Execute([&] { dialog.Execute(); }) == TOutcome::Ok) Refresh();
}

void TWorkbench::EditFunctions() {
  // The engine's own user package (not one of the built-in packages, which
  // derive from it); one made for the dialog is kept only when the user
  // confirms.
  TUserPackage* package = UserPackageOf(*Engine_);
  std::unique_ptr<TUserPackage> made;
  if (!package) {
    made = std::make_unique<TUserPackage>(Engine_);
    made->SetName("UserFunctions");
    package = made.get();
  }
  TFunctionsDialog dialog;
  dialog.SetPackage(package);
  bool confirmed = false;
  Execute([&] { confirmed = dialog.Execute(); });
  if (confirmed) (void)made.release();
  Refresh();
}

void TWorkbench::closeEvent(QCloseEvent* Event) {
  if (Running_) {
    // The run stops after its current slice and then closes the window.
    CloseRequested_ = true;
    Event->ignore();
    return;
  }
  Event->accept();
}

}  // namespace kb
