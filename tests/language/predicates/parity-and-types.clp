; evenp and oddp test the lowest bit of any 64-bit integer; the type
; predicates look at the type of the evaluated argument.
(evenp 4)
; expect: TRUE
(evenp -3)
; expect: FALSE
(oddp -3)
; expect: TRUE
(oddp 0)
; expect: FALSE
(oddp -2147483648)
; expect: FALSE
(oddp 9223372036854775807)
; expect: TRUE
(evenp -9223372036854775808)
; expect: TRUE
(try (evenp abc) catch (printout t ?__ERROR crlf))
; expect: Not a integer.  Value Type is dtAtom
(numberp 1.5)
; expect: TRUE
; A number written as a symbol is a symbol.
(numberp (sym-cat "1"))
; expect: FALSE
(lexemep "a")
; expect: TRUE
(lexemep a)
; expect: TRUE
(integerp 1.0)
; expect: FALSE
(floatp 1.0)
; expect: TRUE
(stringp a)
; expect: FALSE
(symbolp a)
; expect: TRUE
(multifieldp (create$ 1))
; expect: TRUE
(multifieldp 1)
; expect: FALSE
(objectp nil)
; expect: TRUE
; The argument is evaluated: a call counts by its result's type.
(integerp (+ 1 2))
; expect: TRUE
(floatp (+ 1 2))
; expect: FALSE
