; Every way open can fail gives a clear message and registers nothing.
(deffunction try-open (?file ?name ?mode)
  (try (open ?file ?name ?mode)
   catch (printout t ?__ERROR crlf)))
(try-open "x.txt" x "rw")
; expect: Invalid File Access Specifier: "rw"
(try-open "missing.txt" x "r")
; expect: Cannot open file "missing.txt". No such file or directory
(try-open "." x "r")
; expect: Cannot open file ".". Is a directory
(try-open "no/such/dir/x.txt" x "w")
; expect: Cannot create file "no/such/dir/x.txt". No such file or directory
(try-open "x.txt" t "w")
; expect: Logical name t is reserved for standard input and output
(open "kept.txt" k "w")
; expect: k
(printout k "kept" crlf)
; A name in use is refused before the file is touched: "w" does not
; empty other.txt, and k stays open on kept.txt.
(try-open "other.txt" k "w")
; expect: Logical name already in use: k
(printout k "still open" crlf)
(close k)
; expect: TRUE
(open "kept.txt" k)
; expect: k
(printout t (readline k) " / " (readline k) crlf)
; expect: kept / still open
(close k)
; expect: TRUE
; Closing a name that is not open is an error.
(close k)
; expect-error: Invalid stream name: k
