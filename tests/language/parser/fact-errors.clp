; What the reader says about a fact it cannot read: the error, the function
; that found it, the line and the tokens read so far. Each text is written
; to a file and loaded, so that one script meets every error; "|" marks
; the end of each message.
(deftemplate person "a person" (slot name (type STRING)) (multislot kids)
  (slot age (type INTEGER) (default 0)))
(deftemplate point (slot x (type FLOAT)) (slot y (type NUMBER)))
(deffunction load-error ($?lines)
  (open "case.clp" case "w")
  (printout case (first$ ?lines))
  (foreach ?line (rest$ ?lines) (printout case crlf ?line))
  (close case)
  (try (load "case.clp") catch (printout t ?__ERROR "|" crlf)))
(load-error "(assert (5 a))")
; expect: Parsing Error, Expected "( <atom>" in ParseFact at line 1:  ( assert ( 5 |
(load-error "(assert (person name \"x\"))")
; expect: Parsing Error, Expected "(" in ParseFact at line 1:  ( assert ( person name |
(load-error "(assert (person (5 x)))")
; expect: Parsing Error, Bad Slot Name: 5 in ParseFact at line 1:  ( assert ( person ( 5 |
(load-error "(assert (person (age = 3)))")
; expect: Parsing Error, "=" cannot appear as an atom within a fact in ParseFact at line 1:  ( assert ( person ( age = 3 |
(load-error "(assert (person (age \"ten\")))")
; expect: Parsing Error, Not a INTEGER.  Value Type is dtString in ParseFact at line 1:  ( assert ( person ( age "ten" |
(load-error "(assert (point (x 1)))")
; expect: Parsing Error, Not a FLOAT.  Value Type is dtInteger in ParseFact at line 1:  ( assert ( point ( x 1 |
(load-error "(assert (person (age )))")
; expect: Parsing Error, Bad Slot Value: ) in ParseFact at line 1:  ( assert ( person ( age ) |
(load-error "(assert (person (age 1 2)))")
; expect: Parsing Error, Slot "age" is not a multislot in ParseFact at line 1:  ( assert ( person ( age 1 2 |
(load-error "(assert (person (age 1 (f))))")
; expect: Parsing Error, Slot "age" is not a multislot in ParseFact at line 1:  ( assert ( person ( age 1 ( |
(load-error "(assert (person (age 1 &)))")
; expect: Parsing Error, Expected ")" in ParseFact at line 1:  ( assert ( person ( age 1 & |
(load-error "(assert (person (kids a & b)))")
; expect: Parsing Error, Bad Slot Value: & in ParseList at line 1:  ( assert ( person ( kids a & |
; A slot the template does not have: the template's own error.
(load-error "(assert (person (height 1)))")
; expect: No such slot name: "height"|
; Nothing was asserted on the way.
(facts)
; expect: f-0 (Initial-Fact)
; expect: For a total of 1 facts.
; expect: TRUE
