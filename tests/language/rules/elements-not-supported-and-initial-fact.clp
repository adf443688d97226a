; Conditional elements that rules here cannot hold are refused by name, not
; read as ordered facts with a bad slot value. A template of such a name
; still works, and so does an ordered fact of it without an element inside.
; A pattern on initial-fact matches the initial fact, as in programs
; written for other engines of the language.
(deffunction try-rule (?text)
  (open "rule.clp" f "w")
  (printout f ?text crlf)
  (close f)
  (try (load "rule.clp") catch (printout t ?__ERROR crlf))
  (remove "rule.clp"))
(try-rule "(defrule r1 (or (a) (b)) => (printout t or crlf))")
; expect: Parsing Error, the or conditional element is not supported in ParsePattern at line 1:  ( defrule r1 ( or 
; expect: TRUE
(try-rule "(defrule r2 (a) (and (b) (c)) => (printout t and crlf))")
; expect: Parsing Error, the and conditional element is not supported in ParsePattern at line 1:  ( defrule r2 ( a ) ( and 
; expect: TRUE
(try-rule "(defrule r3 (logical (a)) => (printout t logical crlf))")
; expect: Parsing Error, the logical conditional element is not supported in ParsePattern at line 1:  ( defrule r3 ( logical 
; expect: TRUE
(try-rule "(defrule r4 (forall (a ?x) (b ?x)) => (printout t forall crlf))")
; expect: Parsing Error, the forall conditional element is not supported in ParsePattern at line 1:  ( defrule r4 ( forall 
; expect: TRUE
(try-rule "(defrule r5 (not (or (a) (b))) => (printout t not-or crlf))")
; expect: Parsing Error, the or conditional element is not supported in ParsePattern at line 1:  ( defrule r5 ( not ( or 
; expect: TRUE
(rules)
; expect: For a total of 0 rules.
; expect: TRUE

(deftemplate and (slot left) (slot right))
(defrule both (and (left ?l) (right ?r)) => (printout t "and " ?l " " ?r crlf))
(defrule plain (or yes ?x) => (printout t "or " ?x crlf))
(defrule start (initial-fact) => (printout t "started" crlf))
(defrule not-started (not (initial-fact)) => (printout t "never" crlf))
(reset)
; expect: TRUE
(assert (and (left 1) (right 2)) (or yes no))
; expect: <Fact-2>
(run)
; expect: or no
; expect: and 1 2
; expect: started
; expect: 3
