; A float without a 64-bit integer value is never clamped: converting it
; to an integer raises the overflow error naming the function.
(integer 9223372036854774784.0)
; expect: 9223372036854774784
(integer -9223372036854775808.0)
; expect: -9223372036854775808
(integer -2147483649.0)
; expect: -2147483649
(integer -7.9)
; expect: -7
(try (integer 9223372036854775808.0) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in integer function call
(try (integer -9223372036854777856.0) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in integer function call
(try (integer 1e30) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in integer function call
(try (integer (sqrt -1)) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in integer function call
(try (round 1e30) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in round function call
(try (div 1e30 2) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in div function call
(try (mod 7 1e19) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in mod function call
(try (nth$ 1e10 (create$ a b)) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in nth$ function call
(try (sub-string 1 1e19 "abc") catch (printout t ?__ERROR crlf))
; expect: Integer overflow in sub-string function call
(try (evenp 1e20) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in evenp function call
(try (syd-depreciation 1000 100 1e10 1) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in syd-depreciation function call
(try (run 1e30) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in run function call
; What is held in 32 bits (indexes, periods, counts) refuses a larger
; integer the same way.
(try (nth$ 4294967297 (create$ a b)) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in nth$ function call
(try (run 4294967296) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in run function call
