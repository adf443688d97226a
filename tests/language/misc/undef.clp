; undef* delete a construct and answer whether it was there.
(deftemplate item (slot id))
(defrule show (item (id ?i)) => (printout t ?i crlf))
(deffacts stock (item (id 1)))
(deffunction twice (?x) (* 2 ?x))
(undefrule nosuchrule)
; expect: FALSE
(undefrule show)
; expect: TRUE
(undefrule show)
; expect: FALSE
(list-defrules)
; expect: for a total of 0 rules.
(undeffacts stock)
; expect: TRUE
(undeffacts stock)
; expect: FALSE
(list-deffacts)
; expect: for a total of 0 deffacts.
(undeffunction twice)
; expect: TRUE
(try (twice 2) catch (printout t ?__ERROR crlf))
; expect: Function is unimplemented or unassigned: twice
(undeffunction twice)
; expect: FALSE
; The argument is evaluated.
(bind ?t item)
; expect: item
(undeftemplate ?t)
; expect: TRUE
(undeftemplate item)
; expect: FALSE
; A template takes the rules that use it along.
(deftemplate item (slot id))
(defrule uses-item (item (id ?i)) => (printout t ?i crlf))
(defrule other (Initial-Fact) => (printout t "other" crlf))
(undeftemplate item)
; expect: TRUE
(list-defrules)
; expect: other
; expect: for a total of 1 rules.
; A function may delete itself while it runs; the call finishes.
(deffunction once () (undeffunction once) ran-once)
(once)
; expect: ran-once
(try (once) catch (printout t ?__ERROR crlf))
; expect: Function is unimplemented or unassigned: once
