; batch runs a file as typed commands; version is the engine's number.
(version)
; expect: 1.1
(open "cmds.bat" out "w")
; expect: out
(printout out "(deffunction greet (?x) (printout t \"hello \" ?x crlf))" crlf)
(printout out "(greet world)" crlf)
(printout out "(readline)" crlf)
(printout out "a line read by the batch" crlf)
(close out)
; expect: TRUE
(batch "cmds.bat")
; expect: hello world
; expect: a line read by the batch
; expect: "a line read by the batch"
; expect: TRUE
(try (batch "none.bat") catch (printout t ?__ERROR crlf))
; expect: Cannot open file "none.bat". No such file or directory
