; Integers compare exactly, beyond the 53 bits a float holds, at the top
; level and in the predicates of rules alike.
(= 9007199254740993 9007199254740992)
; expect: FALSE
(<> 9007199254740993 9007199254740992)
; expect: TRUE
(> 9223372036854775807 9223372036854775806)
; expect: TRUE
(< -9223372036854775808 -9223372036854775807)
; expect: TRUE
(>= 9007199254740993 9007199254740993 9007199254740992)
; expect: TRUE
; An integer and a float compare by value.
(= 9007199254740993 9007199254740992.0)
; expect: FALSE
(< 9007199254740992.0 9007199254740993)
; expect: TRUE
(= 9223372036854775807 9.223372036854775807e18)
; expect: FALSE
(deftemplate n (slot v))
(defrule above (n (v ?v&:(> ?v 9007199254740992))) => (printout t "above " ?v crlf))
(defrule next (n (v ?v)) (test (= (+ ?v 1) 9007199254740994)) => (printout t "next " ?v crlf))
(defrule sum (n (v ?a)) (n (v ?b&:(= (+ ?a ?b) 18014398509481985))) => (printout t "sum " ?a " " ?b crlf))
(assert (n (v 9007199254740993)) (n (v 9007199254740992)))
; expect: <Fact-2>
(run)
; expect: sum 9007199254740993 9007199254740992
; expect: sum 9007199254740992 9007199254740993
; expect: above 9007199254740993
; expect: next 9007199254740993
; expect: 4
