; Predicates see variables bound in earlier patterns and in their own, in
; single and multifield slots, inside negated and existential patterns,
; and fact addresses.
(deftemplate item (slot id) (slot size) (multislot tags))
(deftemplate limit (slot max))
(defrule same-pattern (item (id ?i) (size ?s&:(> ?s ?i))) => (printout t "own " ?i crlf))
(defrule earlier-pattern (limit (max ?m)) (item (id ?i) (size ?s&:(<= ?s ?m)))
  => (printout t "within " ?i crlf))
(defrule no-bigger (item (id ?i) (size ?s)) (not (item (size ?t&:(> ?t ?s))))
  => (printout t "biggest " ?i crlf))
(defrule some-smaller (item (id ?i) (size ?s)) (exists (item (size ?t&:(< ?t (- ?s 1)))))
  => (printout t "has smaller " ?i crlf))
(defrule first-tag (item (id ?i) (tags ?first $?rest)) (test (> ?first (length$ $?rest)))
  => (printout t "first tag " ?i crlf))
(defrule tag-lists (item (id ?i) (tags $?a)) (item (id ?j&:(> ?j ?i)) (tags $?b))
  (test (eq $?a $?b)) => (printout t "same tags " ?i " " ?j crlf))
(defrule distinct-facts ?f <- (item (id 1)) ?g <- (item (id ?j)) (test (neq ?f ?g))
  => (printout t "other than 1: " ?j crlf))
(defrule logic (item (id ?i) (size ?s))
  (test (or (and (> ?s 4) (not (eq ?i 3))) (eq ?i 1)))
  => (printout t "logic " ?i crlf))
(reset)
; expect: TRUE
(assert (limit (max 5)))
; expect: <Fact-1>
(assert (item (id 1) (size 3) (tags 5 6)))
; expect: <Fact-2>
(assert (item (id 2) (size 9) (tags 5 6)))
; expect: <Fact-3>
(assert (item (id 3) (size 7) (tags)))
; expect: <Fact-4>
(run)
; expect: own 3
; expect: has smaller 3
; expect: other than 1: 3
; expect: own 2
; expect: biggest 2
; expect: has smaller 2
; expect: first tag 2
; expect: same tags 1 2
; expect: other than 1: 2
; expect: logic 2
; expect: own 1
; expect: within 1
; expect: first tag 1
; expect: logic 1
; expect: 14
