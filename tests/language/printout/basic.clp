; printout writes its items one after the other: strings without their
; quotes, numbers in their plain form, the atom crlf as a line end.
(printout t "a" crlf 1 2.5 crlf)
; expect: a
; expect: 12.5
(printout t "a multifield: " (create$ x "y" 3) crlf)
; expect: a multifield: (x "y" 3)
(printout t)
(printout t "no line end, ")
(printout t "then the rest" crlf)
; expect: no line end, then the rest
(bind ?name "Ada")
; expect: "Ada"
(printout t "Hello, " ?name "!" crlf)
; expect: Hello, Ada!
