; Arguments beyond the directives are appended, each after a blank.
(format t "x=%d" 1 2)
(format t "%n")
; expect: x=1 2
(format t "%n%n" 1)
(format t "%n")
; expect:
; expect:
; expect:  1
; Directives beyond the arguments stay as written.
(format t "%d and %d%n" 1)
; expect: 1 and %d
; A percent sign is written as %%, wherever it stands.
(format t "100%%%n")
; expect: 100%
(format t "%d%% of %s%n" 50 all)
; expect: 50% of all
; A formatted argument is never read as a directive itself.
(format t "%s, then %d%n" "50%d" 7)
; expect: 50%d, then 7
; The control string is an expression.
(bind ?control "<%s>%n")
; expect: "<%s>%n"
(format t ?control "evaluated")
; expect: <evaluated>
; The result is nil: nothing is echoed.
(format t "")
(format t "%s %s%n" (create$ a b) 2.0)
; expect: (a b) 2
