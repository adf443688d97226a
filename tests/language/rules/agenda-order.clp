; Depth first, a new activation goes before every activation of its
; salience and after every one of a higher salience, wherever the others
; of its salience stand.
(defrule s10 (declare (salience 10)) (go 10 ?) =>)
(defrule s5 (declare (salience 5)) (go 5 ?) =>)
(defrule s0 (declare (salience 0)) (go 0 ?) =>)
(defrule s7 (declare (salience 7)) (go 7 ?) =>)
(assert (go 10 a))
; expect: <Fact-1>
(assert (go 5 a))
; expect: <Fact-2>
(assert (go 7 a))
; expect: <Fact-3>
(agenda)
; expect: s10 : f-1
; expect: s7 : f-3
; expect: s5 : f-2
; expect: for a total of 3 activations.
(retract 3)
; expect: TRUE
(assert (go 5 b))
; expect: <Fact-4>
(assert (go 5 c))
; expect: <Fact-5>
(assert (go 0 a))
; expect: <Fact-6>
(agenda)
; expect: s10 : f-1
; expect: s5 : f-5
; expect: s5 : f-4
; expect: s5 : f-2
; expect: s0 : f-6
; expect: for a total of 5 activations.
; 10, 5, 5, 5, 0 and a new 5: first of the 5s, whatever a bisection
; would meet first.
(assert (go 5 d))
; expect: <Fact-7>
(agenda)
; expect: s10 : f-1
; expect: s5 : f-7
; expect: s5 : f-5
; expect: s5 : f-4
; expect: s5 : f-2
; expect: s0 : f-6
; expect: for a total of 6 activations.
(assert (go 10 b))
; expect: <Fact-8>
(agenda)
; expect: s10 : f-8
; expect: s10 : f-1
; expect: s5 : f-7
; expect: s5 : f-5
; expect: s5 : f-4
; expect: s5 : f-2
; expect: s0 : f-6
; expect: for a total of 7 activations.
