; What do-backward-chaining refuses, and what it keeps when asked again.
(deftemplate p (slot a))
(try (do-backward-chaining test) catch (printout t ?__ERROR crlf))
(try (do-backward-chaining not) catch (printout t ?__ERROR crlf))
(try (do-backward-chaining Initial-Fact) catch (printout t ?__ERROR crlf))
; Templates named before the refused one are prepared.
(try (do-backward-chaining p test) catch (printout t ?__ERROR crlf))
(ppdeftemplate need-p)
; Asked again, the goal template and the rules on it stay.
(defrule on-goal (need-p (a ?x)) => (printout t "need " ?x crlf))
(do-backward-chaining p)
(rules)
(defrule wants (q ?x) (p (a ?x)) =>)
(assert (q 7))
(run)
; expect: Cannot backchain on special CEs: test
; expect: Cannot backchain on special CEs: not
; expect: Cannot backchain on special CEs: Initial-Fact
; expect: Cannot backchain on special CEs: test
; expect: (deftemplate need-p "Goal seeker for p" 
; expect:     (slot a )
; expect: )
; expect: TRUE
; expect: (defrule on-goal
; expect:     ""
; expect:     (declare (salience 0))
; expect:     ?__factidx0 <- (need-p (a ?x) )
; expect:     =>
; expect:     (printout t "need " ?x crlf))
; expect: For a total of 1 rules.
; expect: TRUE
; expect: <Fact-1>
; expect: need 7
; expect: 1
