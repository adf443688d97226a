; Activations of equal salience fire newest first: a new activation goes in
; front of every activation of its salience, also while activations of
; other saliences are on the agenda (a search that stopped at whichever
; equal one it met first fired these as 4 6 5 3 2 1).
(defrule other (declare (salience 10)) (y) => (printout t "other" crlf))
(defrule low (declare (salience -10)) (y) => (printout t "low" crlf))
(defrule show (x ?n) => (printout t "x " ?n crlf))
(assert (y))
; expect: <Fact-1>
(assert (x 1) (x 2) (x 3) (x 4) (x 5) (x 6))
; expect: <Fact-7>
(run)
; expect: other
; expect: x 6
; expect: x 5
; expect: x 4
; expect: x 3
; expect: x 2
; expect: x 1
; expect: low
; expect: 8

; Rules activated by one change fire in the order they were defined,
; whatever their patterns; one rule's activations from one change fire
; the one made last first.
(clear)
; expect: TRUE
(defrule zulu (go ?) => (printout t "zulu" crlf))
(defrule alpha (go 1) => (printout t "alpha" crlf))
(defrule mike (go $?) (item ?x) => (printout t "mike " ?x crlf))
(defrule bravo (go ?) => (printout t "bravo" crlf))
(assert (item a) (item b))
; expect: <Fact-1>
(assert (go 1))
; expect: <Fact-2>
(run)
; expect: zulu
; expect: alpha
; expect: mike b
; expect: mike a
; expect: bravo
; expect: 5
