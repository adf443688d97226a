; A test element whose call asserts: the assertion is refused, and the
; fact that set it off is withdrawn again, leaving nothing half done.
(defrule r (a ?x) (test (assert-string "(b 1)")) =>)
(try (assert (a 1)) catch (printout t ?__ERROR crlf))
; expect: Facts cannot change while the network is matching
(facts)
; expect: f-0 (Initial-Fact)
; expect: For a total of 1 facts.
; expect: TRUE
(agenda)
; expect: for a total of 0 activations.
; The same again: the refusal left the network as it was.
(try (assert (a 1)) catch (printout t ?__ERROR crlf))
; expect: Facts cannot change while the network is matching
(facts)
; expect: f-0 (Initial-Fact)
; expect: For a total of 1 facts.
; expect: TRUE
