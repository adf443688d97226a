; An agenda of a thousand and ten activations stays ordered by salience,
; and within a salience newest first; withdrawals from anywhere keep the
; order. large-agenda.out is the whole output: m's ten activations, f-1000
; down to f-100, then r's, f-1000 down to f-1; once the even facts are
; gone (m's with them), r's odd ones, f-999 down to f-1, and 500 firings.
(defrule r (declare (salience 0)) (n ?x) =>)
(defrule m (declare (salience 5)) (n ?x&:(= 0 (mod ?x 100))) =>)
(bind ?i 1)
(while (<= ?i 1000) do
  (assert (n ?i))
  (bind ?i (+ ?i 1)))
(agenda)
(bind ?i 2)
(while (<= ?i 1000) do
  (retract ?i)
  (bind ?i (+ ?i 2)))
(agenda)
(run)
(agenda)
