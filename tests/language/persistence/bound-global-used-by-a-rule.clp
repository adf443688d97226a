; A global made by bind, without defglobal, is saved as a bind call, so
; that a rule reading it loads back with the facts it tests. Before, the
; global was not saved and reading the facts failed on the rule's test.
(bind ?*limit* 5)
; expect: 5
(bind ?*names* (create$ a "b c"))
; expect: a "b c"
(defrule big (a ?x&:(> ?x ?*limit*)) => (printout t "big " ?x " " ?*names* crlf))
(assert (a 7) (a 3))
; expect: <Fact-2>
(save "kb.clp")
; expect: TRUE
(clear)
; expect: TRUE
(load "kb.clp")
; expect: 5
; expect: a "b c"
; expect: <Fact-2>
; expect: TRUE
(run)
; expect: big 7 (a "b c")
; expect: 1
