; What the reader says about a template it cannot read: the error, the
; function that found it, the line and the tokens read so far. Each text is
; written to a file and loaded, so that one script meets every error; "|"
; marks the end of each message.
(deffunction load-error ($?lines)
  (open "case.clp" case "w")
  (printout case (first$ ?lines))
  (foreach ?line (rest$ ?lines) (printout case crlf ?line))
  (close case)
  (try (load "case.clp") catch (printout t ?__ERROR "|" crlf)))
(load-error "(deftemplate)")
; expect: Parsing Error, Missing name in ParseFactTemplate at line 1:  ( deftemplate ) |
(load-error "(deftemplate t extend p)")
; expect: Parsing Error, Expected "(" or "extends" in ParseFactTemplate at line 1:  ( deftemplate t extend |
(load-error "(deftemplate t extends (slot a))")
; expect: Parsing Error, Missing name of parent template to extend in ParseFactTemplate at line 1:  ( deftemplate t extends ( |
(load-error "(deftemplate t (slot a) x)")
; expect: Parsing Error, Expected ")" in ParseFactTemplate at line 1:  ( deftemplate t ( slot a ) x |
(load-error "(deftemplate t (slot a (default 1) x))")
; expect: Parsing Error, Expected ")" in ParseFactTemplate at line 1:  ( deftemplate t ( slot a ( default 1 ) x |
(load-error "(deftemplate t (slote a))")
; expect: Parsing Error, Invalid slot type: slote in ParseSlot at line 1:  ( deftemplate t ( slote |
(load-error "(deftemplate t (slot 5))")
; expect: Parsing Error, Bad Slot Name: 5 in ParseSlot at line 1:  ( deftemplate t ( slot 5 |
(load-error "(deftemplate t (slot a (defualt 1)))")
; expect: Parsing Error, Invalid slot qualifier: defualt in ParseSlot at line 1:  ( deftemplate t ( slot a ( defualt |
(load-error "(deftemplate t (slot a (5)))")
; expect: Parsing Error, Invalid slot qualifier: 5 in ParseSlot at line 1:  ( deftemplate t ( slot a ( 5 |
(load-error "(deftemplate t (slot a (default ?x)))")
; expect: Parsing Error, Invalid default slot value: ?x in ParseSlot at line 1:  ( deftemplate t ( slot a ( default ?x |
(load-error "(deftemplate t (slot a (default)))")
; expect: Parsing Error, Invalid default slot value: ) in ParseSlot at line 1:  ( deftemplate t ( slot a ( default ) |
(load-error "(deftemplate t (multislot m (type SYMBOL)))")
; expect: Parsing Error, no types are allowed for multislots in ParseSlot at line 1:  ( deftemplate t ( multislot m ( type |
(load-error "(deftemplate t (slot a (default 1 2)))")
; expect: Parsing Error, Expected ")" in ParseSlot at line 1:  ( deftemplate t ( slot a ( default 1 2 |
(load-error "(deftemplate t (slot a (type INTEGER) (default \"x\")))")
; expect: Parsing Error, Not a INTEGER.  Value Type is dtString in ParseSlot at line 1:  ( deftemplate t ( slot a ( type INTEGER ) ( default "x" ) ) |
(load-error "(deftemplate t (slot a (type NUMBER) (default x)))")
; expect: Parsing Error, Not a INTEGER, FLOAT.  Value Type is dtAtom in ParseSlot at line 1:  ( deftemplate t ( slot a ( type NUMBER ) ( default x ) ) |
(load-error "(deftemplate t (slot a (type INTEGR)))")
; expect: Parsing Error, Invalid slot type: INTEGR in ParseSlotTypes at line 1:  ( deftemplate t ( slot a ( type INTEGR |
(load-error "(deftemplate t (slot a (type integer)))")
; expect: Parsing Error, Invalid slot type: integer in ParseSlotTypes at line 1:  ( deftemplate t ( slot a ( type integer |
(load-error "(deftemplate t (slot a (type ?X)))")
; expect: Parsing Error, Invalid slot type: ?X in ParseSlotTypes at line 1:  ( deftemplate t ( slot a ( type ?X |
(load-error "(deftemplate t (slot a:b))")
; expect: Parsing Error, Name "a:b" contains an unexpected character: ":" in ParseSlot at line 1:  ( deftemplate t ( slot a:b ) |
; The whole message quotes the text read so far.
(load-error "(deftemplate t (slot a (type FOO)))")
; expect: Parsing Error, Invalid slot type: FOO in ParseSlotTypes at line 1:  ( deftemplate t ( slot a ( type FOO |
; Nothing was installed on the way.
(list-deftemplates)
; expect: Initial-Fact
; expect: __NOT-OR-TEST-CE*
; expect: for a total of 2 deftemplates.
