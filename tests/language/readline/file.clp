; readline on a file reads its lines in order, blank lines included, and
; EOF after the last one.
(open "lines.txt" out "w")
; expect: out
(printout out "one" crlf crlf "three" crlf)
(close out)
; expect: TRUE
(open "lines.txt" in)
; expect: in
(deffunction read-all (?name)
  (bind ?n 0)
  (bind ?line (readline ?name))
  (while (neq ?line EOF) do
    (bind ?n (+ ?n 1))
    (printout t ?n ": [" ?line "]" crlf)
    (bind ?line (readline ?name)))
  ?n)
(read-all in)
; expect: 1: [one]
; expect: 2: []
; expect: 3: [three]
; expect: 3
(printout t (readline in) crlf)
; expect: EOF
(close in)
; expect: TRUE
