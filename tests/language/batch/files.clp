; batch runs a file's commands as typed: a command may span lines, blank
; and comment lines are skipped, and the lines that a command reads are
; echoed and not run.
(open "plain.bat" f "w")
; expect: f
(printout f "(deffunction twice (?x)" crlf "  (* 2 ?x))" crlf crlf "; a comment" crlf
  "(twice (read))" crlf "21 ignored" crlf "(twice 5)" crlf)
(close f)
; expect: TRUE
(batch "plain.bat")
; expect: 21
; expect: 42
; expect: 10
; expect: TRUE
; readline takes the batch's next line; at the end of the batch it gives
; EOF, echoes nothing and reads nothing from standard input.
(open "lines.bat" f "w")
; expect: f
(printout f "(readline)" crlf "some (text" crlf "(readline)" crlf)
(close f)
; expect: TRUE
(batch "lines.bat")
; expect: some (text
; expect: "some (text"
; expect: EOF
; expect: TRUE
; Batches nest: the inner one reads its own lines, and the outer one goes
; on with its own.
(open "inner.bat" f "w")
; expect: f
(printout f "(readline)" crlf "inner line" crlf)
(close f)
; expect: TRUE
(deffunction nest () (batch "inner.bat"))
(open "outer.bat" f "w")
; expect: f
(printout f "(nest)" crlf "(readline)" crlf "outer line" crlf)
(close f)
; expect: TRUE
(batch "outer.bat")
; expect: inner line
; expect: "inner line"
; expect: TRUE
; expect: outer line
; expect: "outer line"
; expect: TRUE
; An error ends the batch and reaches the caller; standard input is
; standard input again (not the rest of the failed batch).
(open "failing.bat" f "w")
; expect: f
(printout f "(readline)" crlf "consumed" crlf "(no-such-function)" crlf "(readline)" crlf
  "not run" crlf)
(close f)
; expect: TRUE
(try (batch "failing.bat") catch (printout t ?__ERROR crlf))
; expect: consumed
; expect: "consumed"
; expect: Function is unimplemented or unassigned: no-such-function
(readline)
; expect: "from standard input"
(try (batch "/no/such/batch.bat") catch (printout t ?__ERROR crlf))
; expect: Cannot open file "/no/such/batch.bat". No such file or directory
