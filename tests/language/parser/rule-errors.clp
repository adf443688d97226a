; What the reader says about a rule it cannot read: the error, the function
; that found it, the line and the tokens read so far. Each text is written
; to a file and loaded, so that one script meets every error; "|" marks
; the end of each message.
(deftemplate person (slot name) (slot age) (multislot kids))
(deffunction load-error ($?lines)
  (open "case.clp" case "w")
  (printout case (first$ ?lines))
  (foreach ?line (rest$ ?lines) (printout case crlf ?line))
  (close case)
  (try (load "case.clp") catch (printout t ?__ERROR "|" crlf)))
(load-error "(defrule)")
; expect: Parsing Error, Missing name in ParseRule at line 1:  ( defrule ) |
(load-error "(defrule r (declare (sal 1)) =>)")
; expect: Parsing Error, Expected "salience" in ParseRule at line 1:  ( defrule r ( declare ( sal |
(load-error "(defrule r (declare salience 1) =>)")
; expect: Parsing Error, Expected "salience" in ParseRule at line 1:  ( defrule r ( declare salience 1 |
(load-error "(defrule r (declare (salience x)) =>)")
; expect: Parsing Error, Expected integer, variable, or function call for salience in ParseRule at line 1:  ( defrule r ( declare ( salience x |
(load-error "(defrule r (declare (salience 1) (a) =>)")
; expect: Parsing Error, Expected ")" in ParseRule at line 1:  ( defrule r ( declare ( salience 1 ) ( |
(load-error "(defrule r ?f (a) =>)")
; expect: Parsing Error, Expected "<-" in ParseRule at line 1:  ( defrule r ?f ( |
(load-error "(defrule r ?f <- (not (a)) => )")
; expect: Parsing Error, "not" and "test" CEs cannot be bound to variables in ParseRule at line 1:  ( defrule r ?f <- ( not ( a ) ) |
(load-error "(defrule r ?f <- (test (> 1 0)) => )")
; expect: Parsing Error, "not" and "test" CEs cannot be bound to variables in ParseRule at line 1:  ( defrule r ?f <- ( test ( > 1 0 ) ) |
(load-error "(defrule r (a) -> (b))")
; expect: Parsing Error, Expected "=>" in ParseRule at line 1:  ( defrule r ( a ) -> |
(load-error "(defrule r (a) = (b))")
; expect: Parsing Error, Expected "=>" in ParseRule at line 1:  ( defrule r ( a ) = ( |
(load-error "(defrule r (a) => (b) c)")
; expect: Parsing Error, Expected ")" in ParseRule at line 1:  ( defrule r ( a ) = > ( b ) c |
(load-error "(defrule r (5 x) =>)")
; expect: Parsing Error, Expected "( <atom>" in ParsePattern at line 1:  ( defrule r ( 5 |
(load-error "(defrule r (not 5) =>)")
; expect: Parsing Error, Expected "( <atom>" in ParsePattern at line 1:  ( defrule r ( not 5 ) |
(load-error "(defrule r (not (a) (b)) =>)")
; expect: Parsing Error, Expected ")" in ParsePattern at line 1:  ( defrule r ( not ( a ) ( |
(load-error "(defrule r (test (> 1 0) x) =>)")
; expect: Parsing Error, Expected ")" in ParsePattern at line 1:  ( defrule r ( test ( > 1 0 ) x |
(load-error "(defrule r (person (1 x)) =>)")
; expect: Parsing Error, Bad Slot Name: 1 in ParsePattern at line 1:  ( defrule r ( person ( 1 |
(load-error "(defrule r (person (name a) x) =>)")
; expect: Parsing Error, Expected ")" in ParsePattern at line 1:  ( defrule r ( person ( name a ) x |
(load-error "(defrule r (a &) =>)")
; expect: Parsing Error, Bad Slot Value: & in ParsePattern at line 1:  ( defrule r ( a & |
(load-error "(defrule r (a b|) =>)")
; expect: Parsing Error, Bad Slot Value: ) in ParsePattern at line 1:  ( defrule r ( a b | ) |
(load-error "(defrule r (a ~~b) =>)")
; expect: Parsing Error, Bad Slot Value: ~ in ParsePattern at line 1:  ( defrule r ( a ~ ~ |
(load-error "(defrule r (person (name a b)) => )")
; expect: Parsing Error, Slot "name" is not a multislot in ParsePattern at line 1:  ( defrule r ( person ( name a b |
(load-error "(defrule r (a : 1) =>)")
; expect: Parsing Error, Expected "(" in ParseFunCall at line 1:  ( defrule r ( a : 1 |
; Errors of the rule and pattern objects are not parse errors.
(load-error "(defrule r (person (colour red)) =>)")
; expect: No such slot name: "colour"|
(load-error "(defrule r (a ~?x) =>)")
; expect: First Use of Variable is negated, variable name is x|
(load-error "(defrule a?b =>)")
; expect: Name "a?b" contains an unexpected character: "?"|
; Nothing of a broken rule stays, and the engine goes on.
(list-defrules)
; expect: for a total of 0 rules.
(defrule ok (a) =>)
(list-defrules)
; expect: ok
; expect: for a total of 1 rules.
