; A "run" in a rule's actions does nothing and returns 0: the activation
; being fired is still first on the agenda, and firing it again would
; recurse without end and free it under the outer run.
(defrule step (n ?x) => (printout t "step " ?x ", inner run fired " (run) crlf))
(assert (n 1))
; expect: <Fact-1>
(assert (n 2))
; expect: <Fact-2>
(run)
; expect: step 2, inner run fired 0
; expect: step 1, inner run fired 0
; expect: 2
