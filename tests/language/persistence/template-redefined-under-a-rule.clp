; A rule that asserts facts of a template goes when the template is defined
; again with other slots, as the rules matching it do: it was read against
; the old slots. Before, it stayed, asserted facts of a template the engine
; no longer had, and was saved as text that did not load.
(deftemplate t (slot a))
(defrule make (go) => (assert (t (a 1))))
(defrule keep (go) => (printout t "kept" crlf))
(deftemplate t (slot b))
(list-defrules)
; expect: keep
; expect: for a total of 1 rules.
; A deffacts reads its facts again against the new definition.
(deftemplate u (slot a))
(deffacts d (u (a 1)))
(deftemplate u (slot a (type INTEGER)))
(defrule see-u (u (a ?a)) => (printout t "u " ?a crlf))
(assert (go))
; expect: <Fact-1>
(save "kb.clp")
; expect: TRUE
(clear)
; expect: TRUE
(load "kb.clp")
; expect: <Fact-1>
; expect: TRUE
(reset)
; expect: TRUE
(assert (go))
; expect: <Fact-2>
(run)
; expect: kept
; expect: u 1
; expect: 2
