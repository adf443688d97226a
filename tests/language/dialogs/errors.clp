; A dialog kind or button that is none is refused by name before the
; dialog shows.
(try (message-dlg "m" mtQuestion "[mbOK]") catch (printout t ?__ERROR crlf))
; expect: Invalid dialog type: "mtQuestion", expected mtWarning, mtError, mtInformation, mtConfirmation or mtCustom
(try (message-dlg "m" mtWarning "[mbYes,mbMaybe]") catch (printout t ?__ERROR crlf))
; expect: Invalid dialog button: "mbMaybe", expected mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll or mbHelp
(try (message-dlg "m" mtWarning Yes) catch (printout t ?__ERROR crlf))
; expect: Invalid dialog button: "Yes", expected mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll or mbHelp
; A piped answer that names no button of the dialog is an error, so that
; a missing answer does not take the command lines after it.
(try (message-dlg "Sure?" mtConfirmation "[mbYes,mbNo]") catch (printout t ?__ERROR crlf))
; expect: Confirmation: Sure?
; expect: Yes/No? maybe
; expect: message-dlg: "maybe" is not an answer (Yes or No)
(try (message-dlg "Replace?" mtWarning "[mbYes,mbYesToAll]") catch (printout t ?__ERROR crlf))
; expect: Warning: Replace?
; expect: Yes/Yes to All? y
; expect: message-dlg: "y" is not an answer (Yes or Yes to All)
(try (message-dlg "Sure?" mtConfirmation "[mbYes,mbNo]") catch (printout t ?__ERROR crlf))
; expect: Confirmation: Sure?
; expect: Yes/No? 
; expect: message-dlg: "" is not an answer (Yes or No)
