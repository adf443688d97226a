; Numeric comparisons, eq, neq and eq*.
(deffunction test-log (?v) (printout t "log " ?v crlf) ?v)
(deffunction test-nothing ())
(< 1 2 3)
; expect: TRUE
(< 1 3 2)
; expect: FALSE
(<= 1 1 2)
; expect: TRUE
(> 3 2 2)
; expect: FALSE
(>= 3 2 2)
; expect: TRUE
(> 2.5 2)
; expect: TRUE
; Numeric text counts as its number.
(< "1.5" 2)
; expect: TRUE
(= 1 1.0)
; expect: TRUE
(= 1 1 2)
; expect: FALSE
(= 7)
; expect: TRUE
(<> 1 2 3)
; expect: TRUE
(<> 1 2 1.0)
; expect: FALSE
(eq 1)
; expect: TRUE
(eq a a a)
; expect: TRUE
(eq 1 1.0)
; expect: FALSE
(eq a "a")
; expect: FALSE
(eq (test-nothing) (test-nothing))
; expect: TRUE
(neq a b a)
; expect: FALSE
(neq a b c)
; expect: TRUE
(neq (test-nothing) 1)
; expect: TRUE
(eq* 1 1.0 "1")
; expect: TRUE
(eq* a "a")
; expect: TRUE
; Values that cannot be read as each other's type are unequal, not an error.
(eq* 1 a)
; expect: FALSE
(try (< 1 x) catch (printout t ?__ERROR crlf))
; expect: Not a numeric.  Value Type is dtAtom
(try (= (test-nothing) 1) catch (printout t ?__ERROR crlf))
; expect: Not a numeric.  Value Type is dtNone
; Each argument is evaluated once; after a failed test the rest are not.
(< (test-log 1) (test-log 2) (test-log 0) (test-log 9))
; expect: log 1
; expect: log 2
; expect: log 0
; expect: FALSE
(eq (test-log a) (test-log b) (test-log c))
; expect: log a
; expect: log b
; expect: FALSE
