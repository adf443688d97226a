; readline reads standard input a line at a time; an empty line is an
; empty string and only the end of the input gives EOF.
(printout t "[" (readline) "]" crlf)
; expect: [first line]
(printout t "[" (readline t) "]" crlf)
; expect: []
(printout t "[" (readline) "]" crlf)
; expect: [  indented, "quoted"  ]
(printout t (readline) crlf)
; expect: EOF
(printout t (readline) crlf)
; expect: EOF
