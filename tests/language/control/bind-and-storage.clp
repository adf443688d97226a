; bind, __get-var, store, fetch and clear-storage.
(deffunction test-nothing ())
(bind ?x (+ 1 2))
; expect: 3
?x
; expect: 3
; __get-var: a variable is evaluated, anything else names a binding.
(__get-var ?x)
; expect: 3
(__get-var x)
; expect: 3
(eq (__get-var "none") nil)
; expect: TRUE
; A call that returns nothing binds nil, so the variable stays readable.
(eq (bind ?n (test-nothing)) nil)
; expect: TRUE
(eq ?n nil)
; expect: TRUE
(store "k" 5)
; expect: 5
(fetch "k")
; expect: 5
; A symbol is the same key.
(fetch k)
; expect: 5
; Both keys are evaluated, so a key held in a variable works both ways.
(bind ?key "k2")
; expect: "k2"
(store ?key v)
; expect: v
(fetch ?key)
; expect: v
(fetch "k2")
; expect: v
; Storing nil forgets the key; storing and clearing give nothing (no echo).
(store "k" nil)
(eq (fetch "k") nil)
; expect: TRUE
(eq (fetch "none") nil)
; expect: TRUE
(clear-storage)
(eq (fetch "k2") nil)
; expect: TRUE
; gensym* makes a new symbol starting "gen" at every call.
(symbolp (bind ?a (gensym*)))
; expect: TRUE
(symbolp (bind ?b (gensym*)))
; expect: TRUE
(str-index "gen" ?a)
; expect: 1
(str-index "gen" ?b)
; expect: 1
(neq ?a ?b)
; expect: TRUE
