; save-facts-json writes every fact as JSON and load-facts-json reads them
; back equal: every value type, multislots (empty ones too), ordered facts,
; unicode, quotes and backslashes; integers stay integers and floats floats.
(deftemplate order (slot item (type SYMBOL)) (slot note (type STRING)) (slot any)
  (slot qty (type INTEGER)) (slot price (type FLOAT)) (multislot tags))
(assert (order (item pen) (note "say \"hi\" \\ ünï ✓") (any sym) (qty 9223372036854775807)
  (price 1.0) (tags a "b" 3 2.5 -9223372036854775808)))
; expect: <Fact-1>
(assert (order (item x) (note "") (any "str") (qty -1) (price 1e-300) (tags)))
; expect: <Fact-2>
(assert (point 1 2.0 x "y" TRUE nil))
; expect: <Fact-3>
(assert (empty))
; expect: <Fact-4>
(save-facts-json "facts.json")
; expect: TRUE
(save-facts "before.txt")
; expect: TRUE
(clear)
; expect: TRUE
(deftemplate order (slot item (type SYMBOL)) (slot note (type STRING)) (slot any)
  (slot qty (type INTEGER)) (slot price (type FLOAT)) (multislot tags))
(load-facts-json "facts.json")
; expect: TRUE
(save-facts "after.txt")
; expect: TRUE
(facts)
; expect: f-0 (Initial-Fact)
; expect: f-1 (order (item pen) (note "say \"hi\" \\ ünï ✓") (any sym) (qty 9223372036854775807) (price 1.0) (tags a "b" 3 2.5 -9223372036854775808))
; expect: f-2 (order (item x) (any "str") (qty -1) (price 1E-300))
; expect: f-3 (point 1 2.0 x "y" TRUE nil)
; expect: f-4 (empty)
; expect: For a total of 5 facts.
; expect: TRUE
(open "before.txt" b)
; expect: b
(open "after.txt" a)
; expect: a
(eq (readline b) (readline a))
; expect: TRUE
(eq (readline b) (readline a))
; expect: TRUE
(eq (readline b) (readline a))
; expect: TRUE
(eq (readline b) (readline a))
; expect: TRUE
(eq (readline b) (readline a))
; expect: TRUE
(close)
; expect: TRUE
; A symbol in a slot of symbols only is a plain JSON string; elsewhere a
; symbol is {"symbol": ...} and a string a plain string.
(open "facts.json" in)
; expect: in
(bind ?line "")
; expect: ""
(while (neq ?line EOF) do (bind ?line (readline in)) (if (neq (str-index "item" ?line) FALSE) then (printout t ?line crlf)))
; expect:       "item": "pen",
; expect:       "item": "x",
; expect: FALSE
(close in)
; expect: TRUE
