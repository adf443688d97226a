; Control functions, globals, storage and gensym* read and run one after
; another at the top level, each result echoed (nil is not).
(defglobal ?*x* = 5)
; The deffunction returns before its last statement.
(deffunction f (?a $?rest) (bind ?r ?rest) (return ?r) (bind ?z 0))
(f 1 2 3)
; expect: 2 3
; if: the then branch ran.
(if (> 2 1) then (bind ?a 1) (bind ?b 2) else (bind ?c 3))
; expect: 2
?a ?b
; expect: 1
; expect: 2
(bind ?i 0)
; expect: 0
(while (< ?i 3) do (bind ?i (+ ?i 1)))
; expect: FALSE
?i
; expect: 3
(deffunction items ($?x) ?x)
(bind ?sum 0)
; expect: 0
(foreach ?e (items 1 2 3) (bind ?sum (+ ?sum ?e)))
; expect: 6
(try (throw "boom") catch (bind ?m ?__ERROR))
; expect: "boom"
(try (bind ?t 1) finally (bind ?fin TRUE) catch (bind ?m 0))
; expect: TRUE
(store "k" 5) (fetch "k")
; expect: 5
; expect: 5
(gensym*) (gensym*)
; expect: gen0
; expect: gen1
(bind ?*x* (+ ?*x* 1)) ?*x*
; expect: 6
; expect: 6
; A variable the else branch would have bound is unknown: an error.
?c
; expect-error: Unknown variable name: c
