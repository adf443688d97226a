; A global variable in a pattern is compared with its value when a fact is
; matched; it is never bound as a local variable of the rule.
(defglobal ?*limit* = 2)
(deffacts numbers (n 1) (n 2) (n 3))
(defrule equal (n ?*limit*) => (printout t "equal " ?*limit* crlf))
(defrule other (n ?x&~?*limit*) => (printout t "other " ?x crlf))
(defrule slot (limit ?*limit*) => (printout t "slot" crlf))
(reset)
(run)
; expect: TRUE
; expect: other 3
; expect: equal 2
; expect: other 1
; expect: 3
; The value counts when the fact is matched, not when the rule is defined.
(bind ?*limit* 5)
(assert (limit 5))
(assert (n 5))
(run)
; expect: 5
; expect: <Fact-4>
; expect: <Fact-5>
; expect: equal 5
; expect: slot
; expect: 2
