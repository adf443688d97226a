; read takes one token of standard input and drops the rest of its line;
; blank lines are skipped.
(printout t (read) crlf)
; expect: first
(printout t (read t) crlf)
; expect: a string
(bind ?n (read))
; expect: 42
(printout t (+ ?n 1) crlf)
; expect: 43
(read)
; expect: 2.5
(printout t (read) crlf)
; expect: EOF
(printout t (read) crlf)
; expect: EOF
