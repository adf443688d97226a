; set-fact-duplication TRUE lets an equal fact be asserted again, under the
; next identifier; FALSE ignores it. Both answer the previous setting.
; A cleared engine holds no fact; identifiers start at 0.
(clear)
; expect: TRUE
(get-fact-duplication)
; expect: FALSE
(assert (a 1))
; expect: <Fact-0>
(assert (a 1))
; expect: FALSE
(set-fact-duplication TRUE)
; expect: FALSE
(get-fact-duplication)
; expect: TRUE
(assert (a 1))
; expect: <Fact-1>
(assert (a 1))
; expect: <Fact-2>
(facts)
; expect: f-0 (a 1)
; expect: f-1 (a 1)
; expect: f-2 (a 1)
; expect: For a total of 3 facts.
; expect: TRUE
; The argument is evaluated.
(bind ?off FALSE)
; expect: FALSE
(set-fact-duplication ?off)
; expect: TRUE
(get-fact-duplication)
; expect: FALSE
(assert (a 1))
; expect: FALSE
(retract 1)
; expect: TRUE
(facts)
; expect: f-0 (a 1)
; expect: f-2 (a 1)
; expect: For a total of 2 facts.
; expect: TRUE
