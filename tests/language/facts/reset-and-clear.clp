; reset retracts every fact, asserts the initial fact, then the fact sets'
; facts in order, and sets the globals back to their first values.
(defglobal ?*g* = 5)
(deffacts one (a 1) (a 2))
(deffacts two (b 1) (b 2))
(defrule r (a ?x) (b ?x) =>)
(assert (c 1))
; expect: <Fact-1>
(bind ?*g* 7)
; expect: 7
(reset)
; expect: TRUE
(facts)
; expect: f-0 (Initial-Fact)
; expect: f-1 (a 1)
; expect: f-2 (a 2)
; expect: f-3 (b 1)
; expect: f-4 (b 2)
; expect: For a total of 5 facts.
; expect: TRUE
?*g*
; expect: 5
(agenda)
; expect: r : f-2, f-4
; expect: r : f-1, f-3
; expect: for a total of 2 activations.
; With reset-globals off, the globals keep their values.
(bind ?*g* 7)
; expect: 7
(set-reset-globals FALSE)
; expect: FALSE
(reset)
; expect: TRUE
?*g*
; expect: 7

; clear leaves an engine without facts, activations, rules, fact sets,
; deffunctions, globals or templates of its own; the built-in functions
; and templates stay.
(clear)
; expect: TRUE
(deftemplate t (slot x))
(deffunction f () 1)
(defglobal ?*g* = 1)
(deffacts s (t (x 1)))
(defrule r => (assert (done)))
(reset)
; expect: TRUE
(agenda)
; expect: r : f-0
; expect: for a total of 1 activations.
(clear)
; expect: TRUE
(facts)
; expect: For a total of 0 facts.
; expect: TRUE
(agenda)
; expect: for a total of 0 activations.
(list-defrules)
; expect: for a total of 0 rules.
(list-deffacts)
; expect: for a total of 0 deffacts.
(list-deftemplates)
; expect: Initial-Fact
; expect: __NOT-OR-TEST-CE*
; expect: for a total of 2 deftemplates.
(try (f) catch (printout t ?__ERROR crlf))
; expect: Function is unimplemented or unassigned: f
; Without its template, (t (x 1)) reads as a call of x.
(try (assert (t (x 1))) catch (printout t ?__ERROR crlf))
; expect: Function is unimplemented or unassigned: x
(try ?*g* catch (printout t ?__ERROR crlf))
; expect: Corrupted Binding, variable not found: *g*
(printout t "printout stays" crlf)
; expect: printout stays
(run)
; expect: 0
; A rule without patterns is active again after a reset.
(defrule again => (assert (done)))
(reset)
; expect: TRUE
(agenda)
; expect: again : f-0
; expect: for a total of 1 activations.
(run)
; expect: 1

; A thousand cycles of reset and run: each run fires once, and the fact
; base and the identifiers end where one cycle leaves them.
(clear)
; expect: TRUE
(deftemplate item (slot n))
(deffacts items (item (n 1)) (item (n 2)))
(defrule pair (item (n ?a)) (item (n ?b&:(> ?b ?a))) (not (done ?a ?b))
  => (assert (done ?a ?b)))
(bind ?other-runs 0)
; expect: 0
(bind ?i 0)
; expect: 0
(while (< ?i 1000) do
  (reset)
  (if (neq (run) 1) then (bind ?other-runs (+ ?other-runs 1)))
  (bind ?i (+ ?i 1)))
; expect: FALSE
?other-runs
; expect: 0
(facts)
; expect: f-0 (Initial-Fact)
; expect: f-1 (item (n 1))
; expect: f-2 (item (n 2))
; expect: f-3 (done 1 2)
; expect: For a total of 4 facts.
; expect: TRUE
(agenda)
; expect: for a total of 0 activations.
(assert (next))
; expect: <Fact-4>
