; open's modes: w creates or empties, a appends, r reads, r+ reads and
; writes in place.
(deffunction show (?file)
  (open ?file show-in)
  (bind ?line (readline show-in))
  (while (neq ?line EOF) do
    (printout t "| " ?line crlf)
    (bind ?line (readline show-in)))
  (close show-in))
(open "f.txt" f "w")
; expect: f
(printout f "first" crlf)
(close f)
; expect: TRUE
(open "f.txt" f "a")
; expect: f
(printout f "appended" crlf)
(close f)
; expect: TRUE
(show "f.txt")
; expect: | first
; expect: | appended
; expect: TRUE
(open "f.txt" f "w")
; expect: f
(close f)
; expect: TRUE
(show "f.txt")
; expect: TRUE
(open "f.txt" f "w")
; expect: f
(printout f "abcdef" crlf "second" crlf)
(close f)
; expect: TRUE
(open "f.txt" f "r+")
; expect: f
(read f)
; expect: abcdef
(printout f "SECOND")
(close f)
; expect: TRUE
(show "f.txt")
; expect: | abcdef
; expect: | SECOND
; expect: TRUE
; The logical name is the result; any text will do as a name.
(open "f.txt" "a name")
; expect: "a name"
(close "a name")
; expect: TRUE
