; retract takes fact identifiers as integers, floats (rounded to the
; nearest, halves to even) and fact addresses; an integer beyond 32 bits
; names no fact, even one whose low bits do.
(assert (r 1) (r 2) (r 3) (r 4))
; expect: <Fact-4>
(retract 1.0)
; expect: TRUE
(retract 2.5)
; expect: TRUE
(retract 4294967299)
; expect: TRUE
(bind ?f (assert (r 5)))
; expect: <Fact-5>
(retract ?f)
; expect: TRUE
(retract ?f)
; expect: TRUE
(facts)
; expect: f-0 (Initial-Fact)
; expect: f-3 (r 3)
; expect: f-4 (r 4)
; expect: For a total of 3 facts.
; expect: TRUE
; assert takes facts as written, not a fact address.
(assert ?f)
; expect-error: Not a fact.  Value Type is dtFactId
