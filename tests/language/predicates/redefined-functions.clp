; A function registered under the name of a built-in is the one a rule's
; predicate calls, whether the rule came before it or after.
(deftemplate v (slot x))
(defrule early (v (x ?x)) (test (= (abs ?x) 42)) => (printout t "early " ?x crlf))
(deffunction abs (?x) 42)
(defrule late (v (x ?x)) (test (> ?x (- 0 ?x))) => (printout t "late " ?x crlf))
(deffunction - (?a ?b) 100)
(deffunction eq (?a ?b) TRUE)
(defrule same (v (x ?x)) (test (eq ?x 0)) => (printout t "same " ?x crlf))
(assert (v (x 5)))
; expect: <Fact-1>
(assert (v (x -3)))
; expect: <Fact-2>
(run)
; expect: early -3
; expect: same -3
; expect: early 5
; expect: same 5
; expect: 4
(abs -7)
; expect: 42
(- 1 2)
; expect: 100
; A predicate that already ran keeps the function it was bound to.
(deftemplate w (slot x))
(defrule bound-first (w (x ?x)) (test (> (+ ?x 1) 10)) => (printout t "bound " ?x crlf))
(assert (w (x 20)))
; expect: <Fact-3>
(run)
; expect: bound 20
; expect: 1
(deffunction + (?a ?b) 0)
(assert (w (x 30)))
; expect: <Fact-4>
(run)
; expect: bound 30
; expect: 1
(+ 1 2)
; expect: 0
