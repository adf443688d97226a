; save writes the whole knowledge base; load reads it back into what is there.
(deftemplate item "a thing" (slot name) (slot qty (type INTEGER) (default 1)))
(deftemplate tool extends item (slot use))
(deffacts stock (item (name nail) (qty 100)) (tool (name hammer) (use hitting)))
(deffunction total (?a ?b) (+ ?a ?b))
(defglobal ?*min* = (total 1 1))
(defrule low (item (name ?n) (qty ?q&:(< ?q ?*min*))) => (printout t "low on " ?n crlf))
(reset)
; expect: TRUE
(assert (item (name glue) (qty 0)))
; expect: <Fact-3>
(save "kb.clp")
; expect: TRUE
; A cleared engine gets it all back, facts included.
(clear)
; expect: TRUE
(load "kb.clp")
; expect: <Fact-3>
; expect: TRUE
(facts)
; expect: f-0 (Initial-Fact)
; expect: f-1 (item (name nail) (qty 100))
; expect: f-2 (tool (name hammer) (qty 1) (use hitting))
; expect: f-3 (item (name glue) (qty 0))
; expect: For a total of 4 facts.
; expect: TRUE
(ppdeftemplate tool)
; expect: (deftemplate tool "" extends item 
; expect:     (slot name )
; expect:     (slot qty (type INTEGER) (default 1) )
; expect:     (slot use )
; expect: )
(run)
; expect: low on glue
; expect: low on hammer
; expect: 2
; Saving again writes the same text.
(save "kb2.clp")
; expect: TRUE
(open "kb.clp" a)
; expect: a
(open "kb2.clp" b)
; expect: b
(deffunction same-lines ()
  (bind ?x (readline a))
  (while (neq ?x EOF) do
    (if (neq ?x (readline b)) then (return FALSE))
    (bind ?x (readline a)))
  (eq (readline b) EOF))
(same-lines)
; expect: TRUE
(close)
; expect: TRUE
; Reading the same file twice changes nothing.
(load "kb.clp")
; expect: FALSE
; expect: TRUE
(list-deffacts)
; expect: stock
; expect: for a total of 1 deffacts.
(facts)
; expect: f-0 (Initial-Fact)
; expect: f-1 (item (name nail) (qty 100))
; expect: f-2 (tool (name hammer) (qty 1) (use hitting))
; expect: f-3 (item (name glue) (qty 0))
; expect: For a total of 4 facts.
; expect: TRUE
