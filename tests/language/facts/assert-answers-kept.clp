; The fact address an assert answers stays what it was while it is kept
; (in a variable, in a fact): the same call, run again, answers another.
(deftemplate n (slot v))
(deffunction add (?v) (assert (n (v ?v))))
(bind ?a (add 1))
; expect: <Fact-1>
(bind ?b (add 2))
; expect: <Fact-2>
(create$ ?a ?b)
; expect: <Fact-1> <Fact-2>
(bind ?i 3)
; expect: 3
(while (<= ?i 4) (assert (log (add ?i))) (bind ?i (+ ?i 1)))
; expect: FALSE
; A duplicate answers FALSE and leaves what was kept alone; modify and
; duplicate answer their facts the same way.
(add 1)
; expect: FALSE
(modify ?a (v 7))
; expect: <Fact-7>
(duplicate ?b (v 8))
; expect: <Fact-8>
(create$ ?a ?b)
; expect: <Fact-1> <Fact-2>
; The same for a rule's action.
(defrule r (n (v ?x&:(< ?x 4))) => (assert (kept (assert (m ?x)))))
(run)
; expect: 2
(facts)
; expect: f-00 (Initial-Fact)
; expect: f-02 (n (v 2))
; expect: f-03 (n (v 3))
; expect: f-04 (log <Fact-3>)
; expect: f-05 (n (v 4))
; expect: f-06 (log <Fact-5>)
; expect: f-07 (n (v 7))
; expect: f-08 (n (v 8))
; expect: f-09 (m 3)
; expect: f-10 (kept <Fact-9>)
; expect: f-11 (m 2)
; expect: f-12 (kept <Fact-11>)
; expect: For a total of 12 facts.
; expect: TRUE
