// The deducer program's dialogs (input-box, input-query, message-dlg,
// show-message): asked on standard output, answered on standard input.
//
// An answer is one line of standard input, read as "readline" reads it:
// from the running batch when there is one (which echoes it), else from the
// terminal or the pipe. So in piped input the answer to a dialog is the
// line after the command that showed it, and the command lines after that
// stay commands. Dialogs with no choice to make (show-message, message-dlg
// with fewer than two buttons) read nothing.
//
// - input-box and input-query print the caption on a line of its own and
//   the prompt with the default in brackets. The line read is the text; an
//   empty line takes the default (as confirming the untouched box would).
// - message-dlg prints its kind and message, then its buttons, and reads a
//   button's label (case and blanks aside: "yes", "No to all"), a unique
//   beginning of one ("y" when there is no "Yes to All") or its name
//   ("mbYes"). At a terminal another answer asks again; from a pipe or a
//   batch it is an error, so that a missing answer does not take the
//   command lines that follow.
// - At the end of the input (Ctrl-D at a terminal, the end of a pipe) the
//   dialog is cancelled: input-box gives the default, input-query FALSE,
//   message-dlg its Cancel answer (kb::DismissedResult), and a line says
//   so.
//
// What a pipe answers is echoed after the question, so that the output
// reads as a transcript; a terminal echoes what is typed itself.
#pragma once

#include <cstdint>
#include <string>

#include "core/KbDialogs.h"
#include "engine/Deducer.h"

namespace deducer {

class TOutput;

class TTerminalDialogs final : public kb::IKbDialogs {
 public:
  TTerminalDialogs(kb::TDeducer& Engine, TOutput& Output) : Engine_(Engine), Output_(Output) {}

  bool InputQuery(const std::string& Caption, const std::string& Prompt,
                  std::string& Value) override;
  std::string InputBox(const std::string& Caption, const std::string& Prompt,
                       const std::string& Default) override;
  kb::TModalResult MessageDlg(const std::string& Message, kb::TMsgDlgType Type,
                              kb::TMsgDlgButtons Buttons, int32_t HelpContext) override;
  void ShowMessage(const std::string& Message) override;

 private:
  // Asks for a line of text; CancelNote is printed at the end of the
  // input.
  bool Ask(const std::string& Caption, const std::string& Prompt, std::string& Value,
           const std::string& CancelNote);
  // Starts the dialog on a line of its own.
  void StartLine();
  // Reads the answer to the question just printed; false at the end of the
  // input, with a line end written after the question.
  bool ReadAnswer(std::string& Line);
  // Whether answers are typed at a terminal (and may be asked again).
  bool AtTerminal() const;
  void Note(const std::string& Text);

  kb::TDeducer& Engine_;
  TOutput& Output_;
};

}  // namespace deducer
