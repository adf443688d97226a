; A top-level call that answers EOF (readline at the end of a file) does not
; end the file: the commands after it run.
(open "empty.txt" out "w")
; expect: out
(close out)
; expect: TRUE
(open "empty.txt" in)
; expect: in
(readline in)
; expect: EOF
(close in)
; expect: TRUE
(printout t "still read" crlf)
; expect: still read
; The symbol EOF is a value like any other.
EOF
; expect: EOF
(printout t "and after it" crlf)
; expect: and after it
