; while and foreach: their values, the variables they leave, nesting.
(deffunction test-log (?v) (printout t "log " ?v crlf) ?v)
(deffunction test-nothing ())
(bind ?i 0)
; expect: 0
(while (< ?i 3) do (bind ?i (+ ?i 1)))
; expect: FALSE
?i
; expect: 3
; Without do, and a condition false from the start.
(bind ?i 0)
; expect: 0
(while (< ?i 2) (test-log ?i) (bind ?i (+ ?i 1)))
; expect: log 0
; expect: log 1
; expect: FALSE
(while FALSE (test-log never))
; expect: FALSE
; Nested loops.
(bind ?n 0)
; expect: 0
(bind ?i 0)
; expect: 0
(while (< ?i 2) (bind ?j 0) (while (< ?j 3) (bind ?n (+ ?n 1)) (bind ?j (+ ?j 1)))
  (bind ?i (+ ?i 1)))
; expect: FALSE
?n
; expect: 6
(foreach c (create$ a b) (bind ?x ?c))
; expect: b
?c
; expect: b
?x
; expect: b
; The loop variable may be written as a variable; items are bound in order.
(foreach ?v (create$ 1 "s" 2.5) (test-log ?v))
; expect: log 1
; expect: log s
; expect: log 2.5
; expect: 2.5
; Nothing to loop over, or no body: the value is nil (not echoed).
(eq (foreach c (create$)) nil)
; expect: TRUE
(eq (foreach c (create$ a)) nil)
; expect: TRUE
(try (foreach c 1) catch (printout t ?__ERROR crlf))
; expect: Not a list.  Value Type is dtInteger
(try (foreach c (test-nothing)) catch (printout t ?__ERROR crlf))
; expect: Not a list.  Value Type is dtNone
