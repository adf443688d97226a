; The symbol counter goes on past the 32-bit range and never repeats a
; symbol; setgen answers where the counter stands, and refuses to take it
; to the end of the 64-bit range, past which it could not advance.
(setgen 2147483647)
; expect: 2147483647
(gensym*)
; expect: gen2147483647
(gensym*)
; expect: gen2147483648
(gensym*)
; expect: gen2147483649
(setgen 5)
; expect: 2147483651
(gensym*)
; expect: gen2147483651
; Rules still get fresh names for their anonymous variables.
(defrule any-a (a ? $?) => (printout t "matched" crlf))
(reset)
; expect: TRUE
(assert (a 1 2))
; expect: <Fact-1>
(run)
; expect: matched
; expect: 1
; At the end of the range the counter stops with an error instead of
; coming round to symbols made before.
(try (setgen 9223372036854775807) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in setgen function call
(setgen 9223372036854775806)
; expect: 9223372036854775806
(gensym*)
; expect: gen9223372036854775806
(try (gensym*) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in gensym function call
(try (setgen 1) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in setgen function call
