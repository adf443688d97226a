; Arithmetic on integers is exact, and a result outside the 64-bit range
; raises the overflow error naming the function, at both limits.
(try (+ 9223372036854775807 1) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in + function call
(try (+ -9223372036854775808 -1) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in + function call
(try (- -9223372036854775808 1) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in - function call
(try (- 9223372036854775807 -1) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in - function call
(try (* 4611686018427387904 2) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in * function call
(try (* -4611686018427387905 2) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in * function call
(try (* -9223372036854775808 -1) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in * function call
; Results at the limits are no overflow.
(+ 9223372036854775806 1)
; expect: 9223372036854775807
(- -9223372036854775807 1)
; expect: -9223372036854775808
(* -4611686018427387904 2)
; expect: -9223372036854775808
(* 3037000499 3037000499)
; expect: 9223372030926249001
(- 0 9223372036854775807)
; expect: -9223372036854775807
; The running total is exact: it may leave the range on the way and come
; back, and only a zero brings back a product that went far beyond.
(+ 9223372036854775807 9223372036854775807 -9223372036854775807)
; expect: 9223372036854775807
(- -9223372036854775808 1 -1)
; expect: -9223372036854775808
(* 4294967296 4294967296 4294967296 4294967296 4294967296 0)
; expect: 0
(try (* 4294967296 4294967296 4294967296 4294967296 4294967296 1) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in * function call
; Once a float takes part the result is a float, whatever the integers did.
(+ 9223372036854775807 1.0)
; expect: 9.22337203685478E18
(* 9223372036854775807 9223372036854775807 0.5)
; expect: 4.25352958651173E37
; Integer division of the minimum by -1 overflows; its remainder is 0.
(try (div -9223372036854775808 -1) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in div function call
(div -9223372036854775808 2)
; expect: -4611686018427387904
(mod -9223372036854775808 -1)
; expect: 0
(mod 9223372036854775807 10)
; expect: 7
(try (abs -9223372036854775808) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in abs function call
(abs -9223372036854775807)
; expect: 9223372036854775807
(try (round 9.3e18) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in round function call
(max 9007199254740993 9007199254740992)
; expect: 9007199254740993
(min -9007199254740993 -9007199254740992 5.5)
; expect: -9007199254740993
(evenp 9223372036854775807)
; expect: FALSE
