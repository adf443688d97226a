; A variable bound to a pattern's fact, used as a slot value, matches the
; fact address a slot holds: equal, not equal, in a multislot, and the other
; way round (a slot's value naming the fact of a later pattern).
(deftemplate node (slot name))
(deftemplate ref (slot id) (multislot ids))
(defrule link ?n <- (node (name ?x)) (ref (id ?n)) => (printout t "link " ?x crlf))
(defrule other ?n <- (node (name ?x)) (ref (id ~?n)) => (printout t "other " ?x crlf))
(defrule listed ?n <- (node (name ?x)) (ref (ids $? ?n $?)) => (printout t "listed " ?x crlf))
(defrule named (ref (id ?r)) ?r <- (node (name ?x)) => (printout t "named " ?x crlf))
; An address is not the integer of its identifier.
(defrule number (ref (id ?i)) (node (name ?i)) => (printout t "number " ?i crlf))
(reset)
(bind ?a (assert (node (name a))))
(bind ?b (assert (node (name b))))
(assert (ref (id ?a) (ids c ?b)))
(assert (node (name 1)))
(run)
; expect: TRUE
; expect: <Fact-1>
; expect: <Fact-2>
; expect: <Fact-3>
; expect: <Fact-4>
; expect: other 1
; expect: link a
; expect: other b
; expect: listed b
; expect: named a
; expect: 5

; Many facts: the join memories hash the addresses.
(deftemplate item (slot v))
(deftemplate tag (slot of))
(defrule each ?n <- (item (v ?x)) (tag (of ?n)) => (printout t "each " ?x crlf))
(bind ?i 0)
; expect: 0
(while (< ?i 10) do
  (bind ?f (assert (item (v ?i))))
  (if (= (mod ?i 4) 0) then (assert (tag (of ?f))))
  (bind ?i (+ ?i 1)))
(run)
; expect: FALSE
; expect: each 8
; expect: each 4
; expect: each 0
; expect: 3

; A fact whose slot holds its own address (identifiers start again after a
; reset).
(defrule self ?n <- (node (name ?n)) => (printout t "self " ?n crlf))
(reset)
(bind ?first (assert (node (name x))))
(reset)
(assert (node (name ?first)))
(run)
; expect: TRUE
; expect: <Fact-1>
; expect: TRUE
; expect: <Fact-1>
; expect: self <Fact-1>
; expect: 1
