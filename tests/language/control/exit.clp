; exit ends the program at once, with success: nothing after it runs.
(printout t "before" crlf)
; expect: before
(deffunction leave () (printout t "leaving" crlf) (exit) (printout t "not here" crlf))
(leave)
; expect: leaving
(printout t "not reached" crlf)
