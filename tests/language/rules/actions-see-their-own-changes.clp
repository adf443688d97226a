; What a rule's actions read of its match while they change it: a
; variable bound again is seen by every later read, arguments are
; evaluated in order, multifields are spliced into an asserted fact, and
; globals and deffunctions changed by the actions are seen at once.
(defglobal ?*g* = 10)
(deffunction twice (?v) (* 2 ?v))
(defrule read-after-bind
  ?f <- (item ?id ?n $?rest)
  =>
  (retract ?f)
  (printout t (+ ?n (bind ?n 5)) " " ?n crlf)
  (printout t (- (bind ?id 7) ?id) crlf)
  (assert (seen ?id ?n $?rest (+ ?n 1) (twice ?n) ?*g*))
  (bind ?*g* (+ ?*g* ?n))
  (assert (global ?*g*))
  (bind ?rest (create$ x y))
  (assert (spliced $?rest ?rest end)))
(deffacts start (item 1 2 a b))
(reset)
(run)
(facts)
; expect: TRUE
; expect: 7 5
; expect: 0
; expect: 1
; expect: f-0 (Initial-Fact)
; expect: f-2 (seen 7 5 a b 6 10 10)
; expect: f-3 (global 15)
; expect: f-4 (spliced x y x y end)
; expect: For a total of 4 facts.
; expect: TRUE
