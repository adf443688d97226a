; What the reader says about text it cannot read: the error, the function
; that found it, the line and the tokens read so far. Each text is written
; to a file and loaded, so that one script meets every error; "|" marks
; the end of each message (most end in a blank).
(deffunction load-error ($?lines)
  (open "case.clp" case "w")
  (printout case (first$ ?lines))
  (foreach ?line (rest$ ?lines) (printout case crlf ?line))
  (close case)
  (try (load "case.clp") catch (printout t ?__ERROR "|" crlf)))
(load-error "\"abc\"")
; expect: Parsing Error, Unexpected symbol, expected a "(", constant, or global variable: "abc" in GetConstructType at line 1: "abc" |
(load-error ")")
; expect: Parsing Error, Unexpected symbol, expected a "(", constant, or global variable: ) in GetConstructType at line 1: ) |
(load-error "(defglobal ?x = 1)")
; expect: Parsing Error, Bad Variable Name, must start and end with an asterisk: x in ParseVariable at line 1:  ( defglobal ?x |
(load-error "(defglobal ?*x* 1)")
; expect: Parsing Error, Expected "=" in ParseVariable at line 1:  ( defglobal ?*x* 1 |
(load-error "(defglobal ?*x* = )")
; expect: Parsing Error, Expected value missing in ParseVariable at line 1:  ( defglobal ?*x* = ) |
(load-error "(defglobal 5)")
; expect: Parsing Error, Missing name in ParseVariable at line 1:  ( defglobal 5 |
(load-error "(deffunction)")
; expect: Parsing Error, Missing name in ParseFunction at line 1:  ( deffunction ) |
(load-error "(deffunction f ?a)")
; expect: Parsing Error, Expected "(" in ParseFunction at line 1:  ( deffunction f ?a |
(load-error "(deffunction f (?a 1))")
; expect: Parsing Error, Expected ")" in ParseFunction at line 1:  ( deffunction f ( ?a 1 |
(load-error "(deffunction f ($?a ?b))")
; expect: Parsing Error, Expected ")" in ParseFunction at line 1:  ( deffunction f ( $?a ?b |
(load-error "(deffunction f () &)")
; expect: Parsing Error, Unexpected character found: "&" in ParseFunction at line 1:  ( deffunction f ( ) & |
(load-error "(deffunction f () (g)")
; expect: Parsing Error, Unexpected end of stream in ParseFunction at line 1:  ( deffunction f ( ) ( g ) EOF |
(load-error "(foo 1")
; expect: Parsing Error, Unexpected end of stream in ParseFunCall at line 1:  ( foo 1 EOF |
(load-error "(1 2)")
; expect: Parsing Error, Missing name in ParseFunCall at line 1:  ( 1 |
(load-error "(modify ?f (1 2))")
; expect: Parsing Error, Expected "( <atom>" in ParseValuePair at line 1:  ( modify ?f ( 1 |
(load-error "(modify ?f (color = 1))")
; expect: Parsing Error, "=" cannot appear as an atom within a fact in ParseValue at line 1:  ( modify ?f ( color = 1 |
(load-error "(modify ?f (color red & x))")
; expect: Parsing Error, Expected ")" in ParseValuePair at line 1:  ( modify ?f ( color red & |
(load-error "(defrule r (a) -> (f))")
; expect: Parsing Error, Expected "=>" in ParseRule at line 1:  ( defrule r ( a ) -> |
(load-error "(assert (5 b))")
; expect: Parsing Error, Expected "( <atom>" in ParseFact at line 1:  ( assert ( 5 |
; Strings are quoted as they are written, escapes included.
(load-error "(deftemplate t \"\" (slot s (type INTEGER) (default \"say \\\"hi\\\"\")))")
; expect: Parsing Error, Not a INTEGER.  Value Type is dtString in ParseSlot at line 1:  ( deftemplate t "" ( slot s ( type INTEGER ) ( default "say \"hi\"" ) ) |
; The line is the one where the error is found.
(load-error "(defglobal ?*a* = 1)" "" "(defglobal" " ?b = 2)")
; expect: Parsing Error, Bad Variable Name, must start and end with an asterisk: b in ParseVariable at line 4:  ( defglobal ?b |
; The engine stays usable.
(+ 2 3)
; expect: 5
