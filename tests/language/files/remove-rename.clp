; remove and rename answer TRUE or FALSE; rename never replaces a file.
(open "a.txt" f "w")
; expect: f
(printout f "a" crlf)
(close f)
; expect: TRUE
(open "b.txt" f "w")
; expect: f
(printout f "b" crlf)
(close f)
; expect: TRUE
(rename "a.txt" "b.txt")
; expect: FALSE
(rename "a.txt" "c.txt")
; expect: TRUE
(rename "a.txt" "d.txt")
; expect: FALSE
(open "b.txt" f)
; expect: f
(printout t (readline f) crlf)
; expect: b
(close f)
; expect: TRUE
(remove "c.txt")
; expect: TRUE
(remove "c.txt")
; expect: FALSE
(remove ".")
; expect: FALSE
(remove "b.txt")
; expect: TRUE
