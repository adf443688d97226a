; run fires the agenda's first activation again and again, up to its
; limit (0 fires nothing), and answers how many it fired; watched rules
; are traced as they fire.
(defrule low (declare (salience -5)) (a ?x) => (printout t "low " ?x crlf))
(defrule high (declare (salience 5)) (a ?x) => (printout t "high " ?x crlf))
(assert (a 1))
; expect: <Fact-1>
(assert (a 2))
; expect: <Fact-2>
(watch rules)
; expect: TRUE
(run 0)
; expect: 0
(run 3)
; expect: FIRE 0 high f-2
; expect: high 2
; expect: FIRE 1 high f-1
; expect: high 1
; expect: FIRE 2 low f-2
; expect: low 2
; expect: 3
(run)
; expect: FIRE 0 low f-1
; expect: low 1
; expect: 1
(unwatch rules)
; expect: TRUE

; halt stops the run after the firing that called it; the next run goes
; on.
(clear)
; expect: TRUE
(reset)
; expect: TRUE
(defrule a (declare (salience 1)) => (halt) (printout t "a" crlf))
(defrule b => (printout t "b" crlf))
(reset)
; expect: TRUE
(run)
; expect: a
; expect: 1
(run)
; expect: b
; expect: 1

; A rule that retracts its own fact withdraws its own activation and the
; run goes on.
(clear)
; expect: TRUE
(reset)
; expect: TRUE
(defrule eat ?f <- (food ?x) => (retract ?f) (printout t "ate " ?x crlf))
(assert (food 1))
; expect: <Fact-1>
(assert (food 2))
; expect: <Fact-2>
(watch activations)
; expect: TRUE
(run)
; expect: <== Activation: eat : f-2
; expect: ate 2
; expect: <== Activation: eat : f-1
; expect: ate 1
; expect: 2
(unwatch activations)
; expect: TRUE
(agenda)
; expect: for a total of 0 activations.
(facts)
; expect: f-0 (Initial-Fact)
; expect: For a total of 1 facts.
; expect: TRUE

; A failing firing ends the run and takes only its own activation off
; the agenda.
(clear)
; expect: TRUE
(reset)
; expect: TRUE
(defrule bad (declare (salience 1)) (a ?x) => (throw "broken"))
(defrule good (a ?x) => (printout t "good" crlf))
(assert (a 1))
; expect: <Fact-1>
(try (run) catch (printout t ?__ERROR crlf))
; expect: broken
(agenda)
; expect: good : f-1
; expect: for a total of 1 activations.
(run)
; expect: good
; expect: 1

; A run asked for while a rule fires does nothing and answers 0, with or
; without a limit.
(clear)
; expect: TRUE
(reset)
; expect: TRUE
(defrule again (n ?x) => (printout t ?x ":" (run) " "))
(defrule twice (n ?x) => (printout t ?x ":" (run 1) " "))
(assert (n 1))
; expect: <Fact-1>
(assert (n 2))
; expect: <Fact-2>
(run)
; expect: 2:0 2:0 1:0 1:0 4
(agenda)
; expect: for a total of 0 activations.
