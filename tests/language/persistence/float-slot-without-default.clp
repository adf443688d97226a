; A FLOAT slot without a default gets 0.0, which its saved text writes so
; that it reads back: before, it was saved as (default 0) and the file no
; longer loaded, losing every fact after it.
(deftemplate m (slot f (type FLOAT)) (slot n (type NUMBER)) (slot i (type INTEGER)))
(ppdeftemplate m)
; expect: (deftemplate m "" 
; expect:     (slot f (type FLOAT) (default 0.0) )
; expect:     (slot n (type INTEGER FLOAT) (default 0) )
; expect:     (slot i (type INTEGER) (default 0) )
; expect: )
(assert (m) (m (f 2.5)))
; expect: <Fact-2>
(save "kb.clp")
; expect: TRUE
(clear)
; expect: TRUE
(load "kb.clp")
; expect: <Fact-2>
; expect: TRUE
(facts)
; expect: f-0 (Initial-Fact)
; expect: f-1 (m (f 0.0) (n 0) (i 0))
; expect: f-2 (m (f 2.5) (n 0) (i 0))
; expect: For a total of 3 facts.
; expect: TRUE
