; A predicate that fails in a rule raises the same error as the call does
; at the top level: integer overflow at the limits, and values that are no
; numbers. Numeric texts are read as numbers, as the functions read them.
(deftemplate v (slot x))
(defrule plus (v (x ?x)) (test (> (+ ?x 1) 0)) => (printout t "plus " ?x crlf))
(defrule times (v (x ?x)) (test (> (* ?x 2) 0)) => (printout t "times " ?x crlf))
(defrule minus (v (x ?x)) (test (< (- ?x 1) 0)) => (printout t "minus " ?x crlf))
(defrule absolute (v (x ?x)) (test (> (abs ?x) 0)) => (printout t "abs " ?x crlf))
(try (+ 9223372036854775807 1) except (printout t ?__ERROR crlf))
; expect: Integer overflow in + function call
(try (assert (v (x 9223372036854775807))) except (printout t ?__ERROR crlf))
; expect: Integer overflow in + function call
(try (abs -9223372036854775808) except (printout t ?__ERROR crlf))
; expect: Integer overflow in abs function call
(try (assert (v (x -9223372036854775808))) except (printout t ?__ERROR crlf))
; expect: Integer overflow in * function call
(try (* 5000000000000000000 2) except (printout t ?__ERROR crlf))
; expect: Integer overflow in * function call
(try (assert (v (x 5000000000000000000))) except (printout t ?__ERROR crlf))
; expect: Integer overflow in * function call
(try (> abc 1) except (printout t ?__ERROR crlf))
; expect: Not a numeric.  Value Type is dtAtom
(try (assert (v (x abc))) except (printout t ?__ERROR crlf))
; expect: Not a numeric.  Value Type is dtAtom
(try (abs "3") except (printout t ?__ERROR crlf))
; expect: Expected numeric argument to abs function call
(try (assert (v (x "3"))) except (printout t ?__ERROR crlf))
; expect: Expected numeric argument to abs function call
(facts)
; expect: f-0 (Initial-Fact)
; expect: For a total of 1 facts.
; expect: TRUE
