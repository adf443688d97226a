; if, while and foreach with printout.
(deffunction sign (?n)
  (if (< ?n 0) then negative else (if (= ?n 0) then zero else positive)))
(printout t (sign -3) " " (sign 0) " " (sign 8) crlf)
; expect: negative zero positive
(bind ?i 1)
; expect: 1
(while (<= ?i 3) do
  (printout t "round " ?i crlf)
  (bind ?i (+ ?i 1)))
; expect: round 1
; expect: round 2
; expect: round 3
; expect: FALSE
(foreach ?c (create$ red green blue)
  (printout t ?c " color" crlf))
; expect: red color
; expect: green color
; expect: blue color
(if FALSE then (printout t "never" crlf))
; expect: FALSE
