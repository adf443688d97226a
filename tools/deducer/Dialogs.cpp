// The deducer program's dialogs on standard input and output.
#include "tools/deducer/Dialogs.h"

#include <unistd.h>

#include <cctype>
#include <string_view>
#include <vector>

#include "tools/deducer/Shell.h"

namespace deducer {

namespace {

constexpr const char* SNoInputCancelled = "No input: cancelled.";
constexpr const char* SNoInputDefault = "No input: cancelled, the default \"%s\" is taken.";
constexpr const char* SNoInputButton = "No input: %s is taken.";
constexpr const char* SAnswerAgain = "Please answer %s.";
// A piped answer that names no button (raised as an error).
constexpr const char* SNotAnAnswer = "message-dlg: \"%s\" is not an answer (%s)";

// The heading of each kind of message; a custom message has none.
constexpr const char* KindLabels[] = {"Warning", "Error", "Information", "Confirmation", ""};
constexpr const char* ButtonLabels[] = {"Yes",       "No",         "OK",     "Cancel",
                                        "Abort",     "Retry",      "Ignore", "All",
                                        "No to All", "Yes to All", "Help"};
static_assert(std::size(KindLabels) == kb::mtCustom + 1);
static_assert(std::size(ButtonLabels) == kb::mbHelp + 1);

// Text compared as an answer: lower case, without blanks.
std::string Folded(std::string_view Text) {
  std::string r;
  for (char c : Text)
    if (!std::isspace(static_cast<unsigned char>(c)))
      r += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

// "Yes, No or Cancel".
std::string Choices(const std::vector<kb::TMsgDlgBtn>& Buttons) {
  std::string r;
  for (size_t i = 0; i < Buttons.size(); ++i) {
    if (i > 0) r += i + 1 == Buttons.size() ? " or " : ", ";
    r += ButtonLabels[Buttons[i]];
  }
  return r;
}

// The button Answer names: its label or name exactly (case and blanks
// aside), else the one label it begins. False when it names none or
// several.
bool FindButton(const std::vector<kb::TMsgDlgBtn>& Buttons, std::string_view Answer,
                kb::TMsgDlgBtn& Button) {
  const std::string answer = Folded(Answer);
  if (answer.empty()) return false;
  for (kb::TMsgDlgBtn b : Buttons)
    if (answer == Folded(ButtonLabels[b]) || answer == Folded(kb::EnumName(b))) {
      Button = b;
      return true;
    }
  int found = 0;
  for (kb::TMsgDlgBtn b : Buttons)
    if (Folded(ButtonLabels[b]).starts_with(answer)) {
      Button = b;
      ++found;
    }
  return found == 1;
}

}  // namespace

bool TTerminalDialogs::AtTerminal() const {
  return !Engine_.GetBatchStream() && ::isatty(STDIN_FILENO);
}

void TTerminalDialogs::StartLine() {
  if (!Output_.Tail().empty()) Output_.Write("\n");
}

void TTerminalDialogs::Note(const std::string& Text) {
  StartLine();
  Output_.Write(Text + "\n");
}

bool TTerminalDialogs::ReadAnswer(std::string& Line) {
  const bool echo = !Engine_.GetBatchStream() && !::isatty(STDIN_FILENO);
  if (!Engine_.ReadLine(std::string(), Line)) {
    // The question's line ends here (a terminal's line editor has shown it
    // as its prompt, with the cursor after it).
    if (AtTerminal() || !Output_.Tail().empty()) Output_.Write("\n");
    return false;
  }
  if (echo) Output_.Write(Line + "\n");
  // A line read from a terminal or a batch has ended the question's line.
  Output_.Tail().clear();
  return true;
}

bool TTerminalDialogs::Ask(const std::string& Caption, const std::string& Prompt,
                           std::string& Value, const std::string& CancelNote) {
  StartLine();
  if (!Caption.empty()) Output_.Write(Caption + "\n");
  // "Name? [Bob] ", "Quantity [12]: ": a colon unless the prompt ends
  // with its own mark.
  const bool marked =
      !Prompt.empty() && std::string_view(":?>").find(Prompt.back()) != std::string_view::npos;
  std::string question = Prompt;
  if (!Value.empty()) question += (question.empty() ? "[" : " [") + Value + "]";
  question += question.empty() ? "> " : marked ? " " : ": ";
  Output_.Write(question);
  std::string line;
  if (!ReadAnswer(line)) {
    Note(CancelNote);
    return false;
  }
  if (!line.empty()) Value = line;
  return true;
}

bool TTerminalDialogs::InputQuery(const std::string& Caption, const std::string& Prompt,
                                  std::string& Value) {
  return Ask(Caption, Prompt, Value, SNoInputCancelled);
}

std::string TTerminalDialogs::InputBox(const std::string& Caption, const std::string& Prompt,
                                       const std::string& Default) {
  std::string value = Default;
  Ask(Caption, Prompt, value, kb::Format(SNoInputDefault, Default));
  return value;
}

kb::TModalResult TTerminalDialogs::MessageDlg(const std::string& Message, kb::TMsgDlgType Type,
                                              kb::TMsgDlgButtons Buttons, int32_t) {
  StartLine();
  const std::string kind = KindLabels[Type];
  Output_.Write((kind.empty() ? Message : kind + ": " + Message) + "\n");
  std::vector<kb::TMsgDlgBtn> buttons;
  for (int b = 0; b <= kb::mbHelp; ++b)
    if (Buttons.Contains(static_cast<kb::TMsgDlgBtn>(b)))
      buttons.push_back(static_cast<kb::TMsgDlgBtn>(b));
  // With one button or none there is nothing to choose: nothing is read.
  if (buttons.empty()) return kb::DismissedResult(Buttons);
  if (buttons.size() == 1) return kb::ButtonResult(buttons.front());
  std::string question;
  for (kb::TMsgDlgBtn b : buttons)
    question += std::string(question.empty() ? "" : "/") + ButtonLabels[b];
  question += "? ";
  for (;;) {
    Output_.Write(question);
    std::string line;
    if (!ReadAnswer(line)) {
      const kb::TModalResult result = kb::DismissedResult(Buttons);
      std::string label = "Cancel";
      for (kb::TMsgDlgBtn b : buttons)
        if (kb::ButtonResult(b) == result) label = ButtonLabels[b];
      Note(kb::Format(SNoInputButton, label));
      return result;
    }
    kb::TMsgDlgBtn button;
    if (FindButton(buttons, line, button)) return kb::ButtonResult(button);
    if (!AtTerminal()) kb::KbError(SNotAnAnswer, line, Choices(buttons));
    Output_.Write(kb::Format(SAnswerAgain, Choices(buttons)) + "\n");
  }
}

void TTerminalDialogs::ShowMessage(const std::string& Message) {
  StartLine();
  Output_.Write(Message + "\n");
}

}  // namespace deducer
