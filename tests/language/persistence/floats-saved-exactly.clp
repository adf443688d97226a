; A float is written with as many digits as it takes to read back as the
; same number: fifteen lose some, and a fact read back was another fact.
(assert (x (+ 0.1 0.2)) (y 0.1 1.5e20 -2.5))
; expect: <Fact-2>
(facts)
; expect: f-0 (Initial-Fact)
; expect: f-1 (x 0.30000000000000004)
; expect: f-2 (y 0.1 1.5E20 -2.5)
; expect: For a total of 3 facts.
; expect: TRUE
(save-facts "f.txt")
; expect: TRUE
(retract 1 2)
; expect: TRUE
(load-facts "f.txt")
; expect: TRUE
; Equal to what is there: not asserted again.
(assert (x (+ 0.1 0.2)))
; expect: FALSE
