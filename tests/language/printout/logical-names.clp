; t and nil-free standard names print to standard output; printing to a
; name that is not open is an error, not silently dropped.
(printout t "to t" crlf)
; expect: to t
(open "out.txt" out "w")
; expect: out
(printout out "to the file" crlf)
(close out)
; expect: TRUE
(printout nowhere "lost?" crlf)
; expect-error: Invalid stream name: nowhere
(printout t "not reached" crlf)
