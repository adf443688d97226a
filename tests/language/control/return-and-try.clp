; return leaves loops and branches of a deffunction; try runs its body,
; finally and catch sections in order and meets return on the way.
(deffunction test-log (?v) (printout t "log " ?v crlf) ?v)
(deffunction find (?limit)
  (bind ?i 0)
  (while TRUE do
    (foreach x (create$ 1 2 3)
      (bind ?i (+ ?i ?x))
      (if (> ?i ?limit) then (return ?i))))
  (test-log never))
(find 7)
; expect: 9
(find 0)
; expect: 1
; The value is taken when return runs.
(deffunction early () (bind ?r 1) (return ?r) (bind ?r 2))
(early)
; expect: 1
; A return evaluated as an argument is not lost by a control function or a
; deffunction evaluated after it.
(deffunction inner () (and (return 4) (if TRUE then (test-log if))) (test-log after))
(deffunction outer () (and (return 6) (early)) (test-log after))
(inner)
; expect: log if
; expect: 4
(outer)
; expect: 6

; try: the caught message is a string.
(try (throw "boom") catch (bind ?m ?__ERROR))
; expect: "boom"
(stringp ?__ERROR)
; expect: TRUE
(try (throw boom) finally (bind ?f 1))
; expect: FALSE
?f
; expect: 1
; except is catch; errors of the engine are caught as thrown ones are.
(try (< 1 x) except ?__ERROR)
; expect: "Not a numeric.  Value Type is dtAtom"
; Without an error: the last value of the body or the finally section.
(try 1 2 catch 3)
; expect: 2
(try 1 finally 4 catch 3)
; expect: 4
(try (try 1) catch (printout t ?__ERROR crlf))
; expect: Missing catch or finally statement for try block
; Order: body (up to the error), finally, catch.
(try (test-log body) (throw "x") (test-log skipped)
 finally (test-log finally)
 catch (test-log catch) (test-log ?__ERROR))
; expect: log body
; expect: log finally
; expect: log catch
; expect: log x
; expect: "x"
; An error in the finally section is caught too; one in catch escapes.
(try 1 finally (throw "late") catch ?__ERROR)
; expect: "late"
(try (try (throw a) catch (throw b)) catch (printout t ?__ERROR crlf))
; expect: b
; The inner try handles its own error; the outer sees none.
(try (try (throw "in") catch 1) catch 2)
; expect: 1

; The whole finally section runs; the value returned is the one taken.
(deffunction guarded ()
  (bind ?r 1)
  (try (return ?r) finally (bind ?r 2) (test-log ?r))
  (test-log never))
(guarded)
; expect: log 2
; expect: 1
; A return in the finally section wins; an error there replaces the return;
; a return in the catch section leaves the deffunction.
(deffunction overrides () (try (return 1) finally (return 2)) (test-log never))
(deffunction fails ()
  (try (return 1) finally (throw "f") catch ?__ERROR) (test-log continued))
(deffunction in-catch ()
  (try (throw "x") catch (return 3) (test-log never)) (test-log never))
(overrides)
; expect: 2
(fails)
; expect: log continued
; expect: continued
(in-catch)
; expect: 3

; An error escaping from deep inside loops leaves the engine usable.
(deffunction deep (?n)
  (foreach x (create$ 1 2) (if (= ?x ?n) then (throw "hit")))
  ?n)
(try (deep 2) catch (printout t ?__ERROR crlf))
; expect: hit
(deep 5)
; expect: 5
(if TRUE then 1)
; expect: 1
