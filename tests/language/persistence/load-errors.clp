; A load that meets a parse error keeps what it read before it and
; defines nothing of the broken construct.
(open "bad.clp" f "w")
; expect: f
(printout f "(deffunction ok () 1)" crlf "(defrule broken (p) => (printout t x crlf)" crlf
  "(deffunction never () 2)" crlf)
(close f)
; expect: TRUE
(try (load "bad.clp") catch (printout t ?__ERROR "|" crlf))
; expect: Parsing Error, Missing name in ParseFunCall at line 3:  ( defrule broken ( p ) = > ( printout t x crlf ) ( deffunction never ( ) |
(ok)
; expect: 1
(list-defrules)
; expect: for a total of 0 rules.
; A load inside a parse hands the parser back its own input: the rest of
; the line is read after the file.
(open "inner.clp" f "w")
; expect: f
(printout f "(deffunction inner () 3)" crlf)
(close f)
; expect: TRUE
(load "inner.clp") (deffunction outer () 4) (outer)
; expect: TRUE
; expect: 4
(inner)
; expect: 3
; A file that is not there ends the parse: the rest of the line is not
; run.
(load "none.clp") (outer)
; expect-error: Cannot open file "none.clp". No such file or directory
