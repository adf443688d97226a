; save-component writes the whole engine; load-component, after a clear,
; brings back the same constructs, facts, settings and behaviour.
(deftemplate order (slot id (type INTEGER)) (slot price (type FLOAT) (default 1.5)) (multislot tags))
(deffunction twice (?x) (* 2 ?x))
(defglobal ?*limit* = 10)
(deffacts start (order (id 1)))
(defrule show (order (id ?i&:(< ?i ?*limit*)) (price ?p)) => (printout t ?i " " (twice ?p) crlf))
(reset)
(assert (order (id 2) (price 2.5) (tags a "b")))
(set-property (get-component engine) Strategy ssBreadthFirst)
(save-component "kb.json")
(clear)
(facts)
(load-component "kb.json")
(facts)
(get-property (get-component engine) Strategy)
(run)
(reset)
(facts)
; expect: TRUE
; expect: <Fact-2>
; expect: TRUE
; expect: TRUE
; expect: TRUE
; expect: For a total of 0 facts.
; expect: TRUE
; expect: TRUE
; expect: f-0 (Initial-Fact)
; expect: f-1 (order (id 1) (price 1.5))
; expect: f-2 (order (id 2) (price 2.5) (tags a "b"))
; expect: For a total of 3 facts.
; expect: TRUE
; expect: ssBreadthFirst
; expect: 1 3
; expect: 2 5
; expect: 2
; expect: TRUE
; expect: f-0 (Initial-Fact)
; expect: f-1 (order (id 1) (price 1.5))
; expect: For a total of 2 facts.
; expect: TRUE
