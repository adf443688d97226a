; printout items: only the symbol crlf in lower case ends a line; fact
; identifiers and empty multifields print as written; arguments print in
; order, a printout among them first.
(printout t (create$ x "y" 3) sym CRLF)
(printout t crlf)
; expect: (x "y" 3)symCRLF
(assert (a))
; expect: <Fact-1>
(assert (b))
; expect: <Fact-2>
(assert (c))
; expect: <Fact-3>
(bind ?f (assert (d)))
; expect: <Fact-4>
(printout t ?f (create$) crlf)
; expect: <Fact-4>()
; Without arguments nothing is printed.
(printout)
; A printout inside a printout's arguments prints first; the outer text is
; not disturbed by it.
(printout t "a" (printout t "inner") "b" crlf)
; expect: innerab
; The logical name is evaluated.
(bind ?where t)
; expect: t
(printout ?where "via a variable" crlf)
; expect: via a variable
