; message-dlg shows its kind and message, then its buttons, and reads a
; button's label (case and blanks aside), a unique beginning of one, or
; its name; the answer names the button pressed.
(message-dlg "Save changes?" mtConfirmation "[mbYes,mbNo,mbCancel]")
; expect: Confirmation: Save changes?
; expect: Yes/No/Cancel? no
; expect: "mrNo"
(message-dlg "Disk full" mtError "mbAbort mbRetry mbIgnore" 5)
; expect: Error: Disk full
; expect: Abort/Retry/Ignore? RETRY
; expect: "mrRetry"
(message-dlg "Replace?" mtWarning (create$ mbYes mbNo mbYesToAll mbNoToAll))
; expect: Warning: Replace?
; expect: Yes/No/No to All/Yes to All? yes to all
; expect: "mrYesToAll"
(message-dlg "Replace?" mtWarning "[mbYes,mbNo,mbNoToAll]")
; expect: Warning: Replace?
; expect: Yes/No/No to All? noto
; expect: "mrNoToAll"
(message-dlg "Custom" mtCustom "[mbOK,mbHelp]")
; expect: Custom
; expect: OK/Help? mbHelp
; expect: "mrHelp"
(message-dlg "Go on?" mtInformation "[mbOK,mbCancel]")
; expect: Information: Go on?
; expect: OK/Cancel? c
; expect: "mrCancel"
; With one button or none there is no choice: nothing is read. Without a
; button set the dialog has OK.
(message-dlg "Done" mtInformation)
; expect: Information: Done
; expect: "mrOk"
(message-dlg "Stop" mtWarning "[mbAbort]")
; expect: Warning: Stop
; expect: "mrAbort"
(message-dlg "Nothing to press" mtWarning "[]")
; expect: Warning: Nothing to press
; expect: "mrCancel"
(show-message "All saved.")
; expect: All saved.
; expect: TRUE
; At the end of the input the dialog is closed without a choice: its
; Cancel button, else No, else OK, else mrCancel.
(message-dlg "Save changes?" mtConfirmation "[mbYes,mbNo,mbCancel]")
; expect: Confirmation: Save changes?
; expect: Yes/No/Cancel? 
; expect: No input: Cancel is taken.
; expect: "mrCancel"
(message-dlg "Continue?" mtConfirmation "[mbYes,mbNo]")
; expect: Confirmation: Continue?
; expect: Yes/No? 
; expect: No input: No is taken.
; expect: "mrNo"
(message-dlg "Retry?" mtError "[mbRetry,mbIgnore]")
; expect: Error: Retry?
; expect: Retry/Ignore? 
; expect: No input: Cancel is taken.
; expect: "mrCancel"
