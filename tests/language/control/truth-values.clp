; Truth values of and, or and not, and the arguments they leave unevaluated.
(deffunction test-log (?v) (printout t "log " ?v crlf) ?v)
(deffunction test-nothing ())
; nil, 0 and the empty string are true; only FALSE is false.
(and nil 0 "")
; expect: TRUE
(and)
; expect: TRUE
(and FALSE)
; expect: FALSE
(and (test-nothing))
; expect: TRUE
; For or only TRUE itself counts.
(or nil)
; expect: FALSE
(or 1)
; expect: FALSE
(or)
; expect: FALSE
(or FALSE TRUE)
; expect: TRUE
(not FALSE)
; expect: TRUE
(not nil)
; expect: FALSE
; A string is not the symbol.
(not "FALSE")
; expect: FALSE
; Evaluation stops at the first argument that decides.
(and (test-log a) FALSE (test-log b))
; expect: log a
; expect: FALSE
(or (test-log c) TRUE (test-log d))
; expect: log c
; expect: TRUE
