; Integers are 64-bit: literals up to the limits read as integers and print
; back as written; a literal beyond them reads as a float, as it always has.
(printout t 9223372036854775807 " " -9223372036854775808 crlf)
; expect: 9223372036854775807 -9223372036854775808
(printout t (integerp 9223372036854775807) " " (integerp -9223372036854775808) crlf)
; expect: TRUE TRUE
(printout t (floatp 9223372036854775808) " " (floatp -9223372036854775809) crlf)
; expect: TRUE TRUE
(printout t 9223372036854775808 crlf)
; expect: 9.22337203685478E18
(printout t +4294967296 " " -0 " " 2147483648 crlf)
; expect: 4294967296 0 2147483648
; The former 32-bit limits are ordinary integers now.
(printout t (integerp 2147483648) " " (integerp -2147483649) crlf)
; expect: TRUE TRUE
; Texts read as integers by the same rule.
(integer "-9223372036854775808")
; expect: -9223372036854775808
(try (integer "9223372036854775808") catch (printout t ?__ERROR crlf))
; expect: Not a integer.  Value Type is dtString
; Integers keep every digit through facts, multifields, strings and
; formatting.
(deftemplate amount (slot cents (type INTEGER)) (multislot history))
(assert (amount (cents 9007199254740993) (history 4611686018427387904 -1)))
; expect: <Fact-1>
(facts)
; expect: f-0 (Initial-Fact)
; expect: f-1 (amount (cents 9007199254740993) (history 4611686018427387904 -1))
; expect: For a total of 2 facts.
; expect: TRUE
(str-cat 9223372036854775807 "|" -9223372036854775808)
; expect: "9223372036854775807|-9223372036854775808"
(format nil "%d|%5d" 9223372036854775807 12)
; expect: "9223372036854775807|   12"
; Conversions from floats are exact up to the limits.
(integer 1e18)
; expect: 1000000000000000000
(round 4.5e15)
; expect: 4500000000000000
(round 9007199254740993)
; expect: 9007199254740993
(float 9007199254740993)
; expect: 9.00719925474099E15
