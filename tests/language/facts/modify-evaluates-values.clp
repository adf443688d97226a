; modify and duplicate build slot values as assert does: variables and
; calls are evaluated, multifields spliced into multislots, =(call) taken.
; A cleared engine holds no fact; identifiers start at 0.
(clear)
; expect: TRUE
(deftemplate p (multislot lst) (slot v))
(bind ?x 1)
; expect: 1
(bind ?rest (create$ 2 3))
; expect: 2 3
(assert (p (lst ?x ?rest) (v 0)))
; expect: <Fact-0>
(modify 0 (lst ?x ?rest))
; expect: <Fact-1>
(duplicate 1 (lst ?rest ?x) (v =(+ 1 2)))
; expect: <Fact-2>
(modify 1 (v =(* 2 3)) (lst))
; expect: <Fact-3>
(modify 3 (lst a) (v (+ 1 1)))
; expect: <Fact-4>
(facts)
; expect: f-2 (p (lst 2 3 1) (v 3))
; expect: f-4 (p (lst a) (v 2))
; expect: For a total of 2 facts.
; expect: TRUE
; The same inside a rule, with the rule's variables.
(deftemplate item (slot name) (multislot tags))
(defrule tag
  ?f <- (item (name ?n) (tags))
  =>
  (bind ?more (create$ x y))
  (modify ?f (tags ?n ?more =(str-cat ?n "!"))))
(defrule copy
  ?f <- (item (name ?n&~copy) (tags ?first $?))
  =>
  (duplicate ?f (name copy) (tags =(sym-cat ?first -copy) ?first)))
(reset)
; expect: TRUE
(assert (item (name a)))
; expect: <Fact-1>
(run)
; expect: 2
(facts)
; expect: f-0 (Initial-Fact)
; expect: f-2 (item (name a) (tags a x y "a!"))
; expect: f-3 (item (name copy) (tags a-copy a))
; expect: For a total of 3 facts.
; expect: TRUE
