; dribble-on sends standard output to a file instead of the screen until
; dribble-off.
(printout t "before" crlf)
; expect: before
(dribble-on "capture.txt")
(printout t "captured" crlf)
(+ 1 2)
(dribble-off)
; expect: TRUE
(open "capture.txt" c)
; expect: c
(printout t "[" (readline c) "]" crlf)
; expect: [TRUE]
(printout t "[" (readline c) "]" crlf)
; expect: [captured]
(printout t "[" (readline c) "]" crlf)
; expect: [3]
(printout t "[" (readline c) "]" crlf)
; expect: [EOF]
(close c)
; expect: TRUE
(dribble-on "no/such/dir/capture.txt")
; expect: FALSE
