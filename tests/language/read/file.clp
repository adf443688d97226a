; read on an opened file takes the first token of each line in turn.
(open "data.txt" out "w")
; expect: out
(printout out "alpha beta" crlf "\"a string\"" crlf "7 8 9" crlf)
(close out)
; expect: TRUE
(open "data.txt" in "r")
; expect: in
(read in)
; expect: alpha
(read in)
; expect: "a string"
(read in)
; expect: 7
(printout t (read in) crlf)
; expect: EOF
(close)
; expect: TRUE
