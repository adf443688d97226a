; args: -b
; A batch runs command after command; a command may span lines, and the
; lines after a command that reads standard input are its input (echoed).
(printout t "batch start" crlf)
; expect: batch start
(deffunction greet (?who)
  (printout t "Hello, " ?who "!" crlf))
(greet (readline))
World
; expect: World
; expect: Hello, World!
(bind ?n (read))
41 and the rest
; expect: 41
; expect: 41
(+ ?n 1)
; expect: 42
