; A deffacts read again under its name replaces the old one: a reset asserts
; only the new facts.
(deffacts d (a 1))
(deffacts d (a 2))
(list-deffacts)
; expect: d
; expect: for a total of 1 deffacts.
(reset)
; expect: TRUE
(facts)
; expect: f-0 (Initial-Fact)
; expect: f-1 (a 2)
; expect: For a total of 2 facts.
; expect: TRUE
; Other names are other fact sets, kept in definition order.
(deffacts c (b 1))
(deffacts d (a 3))
(list-deffacts)
; expect: c
; expect: d
; expect: for a total of 2 deffacts.
(ppdeffacts d)
; expect: (deffacts d ""
; expect:     (a 3)
; expect: )
