; The arithmetic functions: the type of each result (as its type tag) and
; its text, and the errors they raise.
(deffunction typed (?v)
  (printout t (if (integerp ?v) then "dtInteger " else (if (floatp ?v) then "dtFloat " else "other "))
    ?v crlf))
; Sums and products are integers unless a float takes part.
(typed (+ 1 2))
; expect: dtInteger 3
(typed (+ 1 2.0))
; expect: dtFloat 3
(typed (+))
; expect: dtInteger 0
(typed (*))
; expect: dtInteger 1
(typed (* 2 1.5))
; expect: dtFloat 3
(typed (- 2.5 1))
; expect: dtFloat 1.5
(typed (- 10 1 2))
; expect: dtInteger 7
; A single argument comes back as it is: no negation.
(typed (- 5))
; expect: dtInteger 5
(typed (- 5.0))
; expect: dtFloat 5
; Numbers written as symbols count, with their type's result.
(typed (+ (sym-cat "4") 1))
; expect: dtInteger 5
(try (+ 1 abc) catch (printout t ?__ERROR crlf))
; expect: Not a numeric.  Value Type is dtAtom
; Integer results never wrap around.
; The total is exact beyond 64 bits; only the result must fit.
(typed (+ 9223372036854775807 1 -1))
; expect: dtInteger 9223372036854775807
(typed (+ -9223372036854775808 -9223372036854775808 9223372036854775807 1))
; expect: dtInteger -9223372036854775808
(typed (* 9223372036854775807 9223372036854775807 9223372036854775807 0))
; expect: dtInteger 0
(try (+ 9223372036854775807 1) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in + function call
(try (- -9223372036854775808 1) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in - function call
(try (* 4294967296 2147483648) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in * function call
(try (* 9223372036854775807 9223372036854775807 9223372036854775807 -1) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in * function call
(typed (* -4294967296 2147483648))
; expect: dtInteger -9223372036854775808
(typed (+ 9223372036854775807 1.0))
; expect: dtFloat 9.22337203685478E18
; The 32-bit limits are no limits any more.
(typed (+ 2147483647 1))
; expect: dtInteger 2147483648
; Integers take part exactly, past the 53 bits of a double.
(typed (- 9007199254740993 1))
; expect: dtInteger 9007199254740992
(typed (+ (sym-cat "9007199254740993") 0))
; expect: dtInteger 9007199254740992
; Division gives a float and follows IEEE.
(typed (/ 6 3))
; expect: dtFloat 2
(typed (/ 4))
; expect: dtFloat 4
(typed (/ 1 2 2))
; expect: dtFloat 0.25
(typed (/ 1 0))
; expect: dtFloat INF
(typed (/ -1 0.0))
; expect: dtFloat -INF
(typed (/ 0 0))
; expect: dtFloat NAN
; Integer division truncates toward zero.
(typed (div 7 2))
; expect: dtInteger 3
(typed (div -7 2))
; expect: dtInteger -3
(typed (div 100 3 2))
; expect: dtInteger 16
(typed (div 7.9 2))
; expect: dtInteger 3
(typed (div 7))
; expect: dtInteger 7
(typed (mod -7 2))
; expect: dtInteger -1
(typed (mod 7 -2))
; expect: dtInteger 1
(typed (mod -9223372036854775808 -1))
; expect: dtInteger 0
(typed (mod -9223372036854775808 9223372036854775807))
; expect: dtInteger -1
(try (div 7 0) catch (printout t ?__ERROR crlf))
; expect: Division by zero in div function call
(try (mod 7 0) catch (printout t ?__ERROR crlf))
; expect: Division by zero in mod function call
(try (div -9223372036854775808 -1) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in div function call
(typed (div -9223372036854775808 1))
; expect: dtInteger -9223372036854775808
; max and min keep their result type rules.
(typed (max 1 2.5 2))
; expect: dtFloat 2.5
(typed (max 3 2.5))
; expect: dtInteger 3
; Once a float has led, the result stays a float.
(typed (max 2.5 3))
; expect: dtFloat 3
(typed (min 1 2.5))
; expect: dtInteger 1
(typed (min 3 2.5 1))
; expect: dtFloat 1
(typed (max -4))
; expect: dtInteger -4
; Ties keep the first.
(typed (max 2 2.0))
; expect: dtInteger 2
; Integers compare exactly, past the 53 bits of a double.
(typed (max 9223372036854775806 9223372036854775807))
; expect: dtInteger 9223372036854775807
(typed (min -9223372036854775807 -9223372036854775808))
; expect: dtInteger -9223372036854775808
; abs accepts only numbers.
(typed (abs -3))
; expect: dtInteger 3
(typed (abs -2.5))
; expect: dtFloat 2.5
(try (abs abc) catch (printout t ?__ERROR crlf))
; expect: Expected numeric argument to abs function call
(try (abs "3") catch (printout t ?__ERROR crlf))
; expect: Expected numeric argument to abs function call
(try (abs -9223372036854775808) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in abs function call
(typed (abs -9223372036854775807))
; expect: dtInteger 9223372036854775807
; Rounding halves to even; float and integer convert.
(typed (round 2.5))
; expect: dtInteger 2
(typed (round 3.5))
; expect: dtInteger 4
(typed (round -2.5))
; expect: dtInteger -2
(typed (round -2.6))
; expect: dtInteger -3
(typed (round 2.4999))
; expect: dtInteger 2
(typed (round 7))
; expect: dtInteger 7
(typed (round 1e10))
; expect: dtInteger 10000000000
(typed (round 9223372036854775807))
; expect: dtInteger 9223372036854775807
(try (round 1e19) catch (printout t ?__ERROR crlf))
; expect: Integer overflow in round function call
(typed (float 3))
; expect: dtFloat 3
(typed (integer -3.9))
; expect: dtInteger -3
(typed (integer (sym-cat "12")))
; expect: dtInteger 12
; The transcendental functions give floats and IEEE domain results.
(typed (exp 0))
; expect: dtFloat 1
(typed (log 1))
; expect: dtFloat 0
(typed (log10 1000))
; expect: dtFloat 3
(typed (sqrt 16))
; expect: dtFloat 4
(typed (** 2 10))
; expect: dtFloat 1024
(typed (log 0))
; expect: dtFloat -INF
(typed (log -1))
; expect: dtFloat NAN
(typed (sqrt -1))
; expect: dtFloat NAN
(typed (** -8 0.5))
; expect: dtFloat NAN
