; setgen sets the counter of gensym*; it never goes down.
(setgen 10)
; expect: 10
(gensym*)
; expect: gen10
(setgen 5)
; expect: 12
(gensym*)
; expect: gen12
(setgen 20)
; expect: 20
(gensym*)
; expect: gen20
; Constraint checking: the setters answer the old state.
(get-static-constraint-checking)
; expect: TRUE
(get-dynamic-constraint-checking)
; expect: FALSE
(set-static-constraint-checking FALSE)
; expect: TRUE
(get-static-constraint-checking)
; expect: FALSE
(set-dynamic-constraint-checking TRUE)
; expect: FALSE
(get-dynamic-constraint-checking)
; expect: TRUE
; Anything but TRUE turns a check off.
(set-dynamic-constraint-checking yes)
; expect: TRUE
(get-dynamic-constraint-checking)
; expect: FALSE
(set-static-constraint-checking (eq 1 1))
; expect: FALSE
(get-static-constraint-checking)
; expect: TRUE
; The time of day in seconds.
(deffunction time-ok (?t) (and (floatp ?t) (>= ?t 0.0) (< ?t 86400.0)))
(time-ok (time))
; expect: TRUE
(try (setgen) catch (printout t ?__ERROR crlf))
; expect: Too few arguments for setgen
