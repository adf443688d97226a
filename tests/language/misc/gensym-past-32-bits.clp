; The symbol counter goes on past the 32-bit range and never repeats a
; symbol; setgen refuses to answer a counter that is no integer.
(setgen 2147483647)
; expect: 2147483647
(gensym*)
; expect: gen2147483647
(gensym*)
; expect: gen2147483648
(gensym*)
; expect: gen2147483649
(try (setgen 5) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in setgen function call
(gensym*)
; expect: gen2147483650
; Rules still get fresh names for their anonymous variables.
(defrule any-a (a ? $?) => (printout t "matched" crlf))
(reset)
; expect: TRUE
(assert (a 1 2))
; expect: <Fact-1>
(run)
; expect: matched
; expect: 1
