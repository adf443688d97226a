; The string functions: what they give (a string is echoed in quotes, a
; symbol without) and what they refuse.
; str-cat gives a string, sym-cat a symbol.
(str-cat "a" 1 2.5 b)
; expect: "a12.5b"
(str-cat)
; expect: ""
(sym-cat a 1 "b")
; expect: a1b
(try (str-cat (create$ a)) catch (printout t ?__ERROR crlf))
; expect: Not a string.  Value Type is dtList
; str-compare compares bytes, case first.
(str-compare "abc" "abc")
; expect: 0
(< (str-compare "a" "b") 0)
; expect: TRUE
(> (str-compare "ab" "a") 0)
; expect: TRUE
(< (str-compare "a" "ab") 0)
; expect: TRUE
(< (str-compare "B" "a") 0)
; expect: TRUE
; str-index counts from one; the empty string occurs at the very start.
(str-index "c" "abc")
; expect: 3
(str-index "bc" abcbc)
; expect: 2
(str-index "x" "abc")
; expect: FALSE
(str-index "abcd" "abc")
; expect: FALSE
(str-index "" "abc")
; expect: 1
(str-length "abcd")
; expect: 4
(str-length -12)
; expect: 3
; sub-string takes positions from one; an end past the text stops at its
; end, an end before the start gives the empty string.
(sub-string 2 3 "abcd")
; expect: "bc"
(sub-string 2 1 "abcd")
; expect: ""
(sub-string 3 9 "abcd")
; expect: "cd"
(deffunction show-error (?start ?end ?text)
  (try (sub-string ?start ?end ?text) catch (printout t ?__ERROR crlf)))
(show-error 0 1 "abcd")
; expect: Invalid substring parameters: 0, 1
(show-error 5 6 "abcd")
; expect: Invalid substring parameters: 5, 6
(show-error 3 1 "abcd")
; expect: Invalid substring parameters: 3, 1
(show-error 1 1 "")
; expect: Invalid substring parameters: 1, 1
; upcase and lowcase give strings.
(upcase abc)
; expect: "ABC"
(lowcase AbC)
; expect: "abc"
(lowcase 1e20)
; expect: "1e20"
