; Finds why a car will not start by backward chaining: each suspected fault asks only for the checks it needs.
;
; Run it with ./scripts/run.sh --run examples/diagnosis.clp (or
; build/release/deducer --run examples/diagnosis.clp).
;
; "diagnosis" and "check" are marked for backward chaining. The rule
; "report" needs a diagnosis of each car; since none exists, the engine
; asserts a goal (need-diagnosis (car ...)). The fault rules react to that
; goal, and each of their "check" patterns that finds no check asks for one
; in turn, carrying the car and the test from the patterns before it. The
; rule "run-check" answers those goals from the workshop's readings, so a
; check is made only when some fault still needs it. Once a car has its
; diagnosis, its goals are withdrawn and no further check is made for it.
; args: --run

(deftemplate car (slot name))
(deftemplate diagnosis (slot car) (slot fault))
(deftemplate check (slot car) (slot test) (slot result))
(do-backward-chaining diagnosis check)

; What each test would show if the workshop made it.
(deftemplate reading (slot car) (slot test) (slot result))

(deffacts workshop
  (car (name rover))
  (car (name beetle))
  (car (name mini))
  (reading (car rover) (test lights) (result dim))
  (reading (car rover) (test starter) (result silent))
  (reading (car rover) (test fuel-gauge) (result full))
  (reading (car beetle) (test lights) (result bright))
  (reading (car beetle) (test starter) (result cranks))
  (reading (car beetle) (test fuel-gauge) (result full))
  (reading (car beetle) (test spark) (result none))
  (reading (car mini) (test lights) (result bright))
  (reading (car mini) (test starter) (result cranks))
  (reading (car mini) (test fuel-gauge) (result full))
  (reading (car mini) (test spark) (result strong)))

(defrule report
  (car (name ?c))
  (diagnosis (car ?c) (fault ?f))
  =>
  (printout t ?c ": " ?f crlf))

(defrule no-diagnosis
  (declare (salience -10))
  (car (name ?c))
  (not (diagnosis (car ?c)))
  =>
  (printout t ?c ": no fault found, call a mechanic" crlf))

; The faults, each with the checks that establish it, in order.
(defrule flat-battery
  (need-diagnosis (car ?c))
  (check (car ?c) (test lights) (result dim))
  (check (car ?c) (test starter) (result silent))
  =>
  (assert (diagnosis (car ?c) (fault "flat battery, charge or replace it"))))

(defrule empty-tank
  (need-diagnosis (car ?c))
  (check (car ?c) (test starter) (result cranks))
  (check (car ?c) (test fuel-gauge) (result empty))
  =>
  (assert (diagnosis (car ?c) (fault "empty tank, refuel"))))

(defrule no-spark
  (need-diagnosis (car ?c))
  (check (car ?c) (test starter) (result cranks))
  (check (car ?c) (test fuel-gauge) (result full))
  (check (car ?c) (test spark) (result none))
  =>
  (assert (diagnosis (car ?c) (fault "no spark, replace the ignition coil"))))

; Answers a goal for a check by making the test.
(defrule run-check
  (need-check (car ?c) (test ?t))
  (reading (car ?c) (test ?t) (result ?r))
  =>
  (printout t "  " ?c ": checking " ?t "... " ?r crlf)
  (assert (check (car ?c) (test ?t) (result ?r))))
