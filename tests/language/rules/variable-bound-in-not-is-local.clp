; A variable first bound inside "not" or "exists" belongs to that pattern:
; the same name in another pattern is another variable.
(defrule two-nots (not (a ?x)) (not (b ?x)) => (printout t "two-nots" crlf))
(defrule not-then-positive (not (a ?x)) (b ?x) => (printout t "not-then-positive " ?x crlf))
(defrule exists-then-positive (exists (c ?x)) (b ?x) => (printout t "exists-then-positive " ?x crlf))
(reset)
(assert (b 1))
(run)
; expect: TRUE
; expect: <Fact-1>
; expect: not-then-positive 1
; expect: 1
(assert (c 2))
(run)
; expect: <Fact-2>
; expect: exists-then-positive 1
; expect: 1
; Any fact of a blocks the first pattern, whatever its field.
(assert (a 7))
(agenda)
; expect: <Fact-3>
; expect: for a total of 0 activations.

; A variable bound by an earlier positive pattern is still shared.
(defrule shared (b ?x) (not (a ?x)) => (printout t "shared " ?x crlf))
(run)
; expect: shared 1
; expect: 1

; Inside one negated pattern a repeated variable is a test of that pattern.
(defrule same (not (pair ?y ?y)) => (printout t "same" crlf))
(assert (pair 1 2))
(run)
; expect: <Fact-4>
; expect: same
; expect: 1
(assert (pair 3 3))
(agenda)
; expect: <Fact-5>
; expect: for a total of 0 activations.

; A second negated pattern may use the name again, in a predicate too; the
; rule reads as it was written.
(defrule newest (last ?last) (not (rank ?p)) (not (tech ?p&:(> ?p ?last)))
  => (printout t "newest " ?last crlf))
(ppdefrule newest)
; expect: (defrule newest
; expect:     ""
; expect:     (declare (salience 0))
; expect:     (last ?last)
; expect:     (not (rank ?p))
; expect:     (not (tech ?p&:(> ?p ?last)))
; expect:     =>
; expect:     (printout t "newest " ?last crlf))
(assert (last 5) (tech 3))
(run)
; expect: <Fact-7>
; expect: newest 5
; expect: 1
(assert (last 1))
(agenda)
; expect: <Fact-8>
; expect: for a total of 0 activations.

; The kind of a name used in a negated pattern does not carry over.
(defrule kinds (not (k $?z)) (m ?z) => (printout t "kinds " ?z crlf))
(assert (m 1 2) (m 1))
(run)
; expect: <Fact-10>
; expect: kinds 1
; expect: 1
