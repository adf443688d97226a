; Predicates in rules compare and compute as the same calls do at the top
; level: integers and floats compare by value, eq by type and value, and
; arithmetic keeps integers exact and float totals in extended precision.
(deftemplate v (slot name) (slot x))
(defrule equal-by-value (v (name ?n) (x ?x)) (test (= ?x 1)) => (printout t "= " ?n crlf))
(defrule eq-by-type (v (name ?n) (x ?x)) (test (eq ?x 1)) => (printout t "eq " ?n crlf))
(defrule neq-float (v (name ?n) (x ?x)) (test (neq ?x 1.0 2)) => (printout t "neq " ?n crlf))
(defrule chain (v (name ?n) (x ?x)) (test (< 0 ?x 2.5)) => (printout t "< " ?n crlf))
(defrule not-equal (v (name ?n) (x ?x)) (test (<> ?x 1 3)) => (printout t "<> " ?n crlf))
(defrule sum-to-float (v (name ?n) (x ?x)) (test (>= (+ ?x 0.5) 3)) => (printout t ">= " ?n crlf))
(reset)
; expect: TRUE
(assert (v (name one) (x 1)) (v (name one-float) (x 1.0)) (v (name half) (x 2.5))
        (v (name three) (x 3)))
; expect: <Fact-4>
(run)
; expect: neq three
; expect: >= three
; expect: neq half
; expect: <> half
; expect: >= half
; expect: = one-float
; expect: < one-float
; expect: = one
; expect: eq one
; expect: neq one
; expect: < one
; expect: 11
; A float total is kept in extended precision until the end: 1e16 + 1 + 1
; is not 1e16, although each float sum on its own would round back.
(+ 1.0e16 1 1)
; expect: 1E16
(= (+ 1.0e16 1 1) 1.0e16)
; expect: FALSE
(deftemplate p (slot a) (slot b) (slot c))
(defrule float-total (p (a ?a) (b ?b) (c ?c)) (test (= (+ ?a ?b ?b) ?c))
  => (printout t "equal total " ?a " " ?b crlf))
(assert (p (a 1.0e16) (b 1) (c 1.0e16)))
; expect: <Fact-5>
(assert (p (a 0.1) (b 0.1) (c 0.30000000000000004)))
; expect: <Fact-6>
(run)
; expect: equal total 0.1 0.1
; expect: 1
; An integer total may leave the integer range on the way and come back.
(defrule back-in-range (p (a ?a) (b ?b)) (test (= (+ ?a 1 ?b) 9223372036854775807))
  => (printout t "in range " ?a crlf))
(defrule product (p (a ?a) (b 0)) (test (= (* ?a ?a ?a ?a ?a 0) 0)) => (printout t "product " ?a crlf))
(assert (p (a 9223372036854775807) (b -1) (c 0)))
; expect: <Fact-7>
(assert (p (a 4294967296) (b 0) (c 0)))
; expect: <Fact-8>
(run)
; expect: product 4294967296
; expect: in range 9223372036854775807
; expect: 2
; Minus with one argument gives the argument itself; abs of a float stays
; a float.
(defrule minus-one (p (a ?a) (c ?c)) (test (and (eq (- ?a) ?a) (eq (abs ?c) 2.5)))
  => (printout t "minus " ?a crlf))
(assert (p (a 7) (b 0) (c -2.5)))
; expect: <Fact-9>
(run)
; expect: product 7
; expect: minus 7
; expect: 2
