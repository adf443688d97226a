; A new engine holds the initial fact, f-0; asserted facts take the next
; identifiers. An equal fact is not asserted again (FALSE, no trace), and
; watched facts are traced as they come and go.
(facts)
; expect: f-0 (Initial-Fact)
; expect: For a total of 1 facts.
; expect: TRUE
(watch facts)
; expect: TRUE
(assert (a 1))
; expect:  ==> f-1 (a 1)
; expect: <Fact-1>
(assert (a 1))
; expect: FALSE
(assert (a 2))
; expect:  ==> f-2 (a 2)
; expect: <Fact-2>
; A fact retracted twice, or one that never was, is retracted once: one
; trace.
(retract 1)
; expect:  <== f-1 (a 1)
; expect: TRUE
(retract 1)
; expect: TRUE
(retract 99)
; expect: TRUE
(unwatch facts)
; expect: TRUE
; Identifiers are not reused; with duplication allowed an equal fact is
; asserted again.
(assert (a 1))
; expect: <Fact-3>
(set-fact-duplication TRUE)
; expect: FALSE
(assert (a 1))
; expect: <Fact-4>
(facts)
; expect: f-0 (Initial-Fact)
; expect: f-2 (a 2)
; expect: f-3 (a 1)
; expect: f-4 (a 1)
; expect: For a total of 4 facts.
; expect: TRUE
