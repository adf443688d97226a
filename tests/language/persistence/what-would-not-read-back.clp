; Names are saved as they are written, so a quote or a bar in one, or a
; name that reads as a number, would make the saved text unreadable: such
; names are refused where they are defined. Each text is loaded from a
; file of its own (a parse error ends a load).
(deffunction try-text (?name ?text)
  (open ?name f "w")
  (printout f ?text crlf)
  (close f)
  (try (load ?name) catch (printout t ?__ERROR "|" crlf)))
(try-text "1.clp" "(deftemplate a\\\"b (slot x))")
; expect: Parsing Error, Name "a"b" contains an unexpected character: """ in ParseFactTemplate at line 1:  ( deftemplate a"b ( |
(try-text "2.clp" "(deftemplate t (slot a\\|b))")
; expect: Parsing Error, Name "a|b" contains an unexpected character: "|" in ParseSlot at line 1:  ( deftemplate t ( slot a|b ) |
(try-text "3.clp" "(deffunction f\\\"g () 1)")
; expect: Parsing Error, Name "f"g" contains an unexpected character: """ in ParseFunction at line 1:  ( deffunction f"g ( |
(try-text "4.clp" "(deffacts d\\~ (a))")
; expect: Parsing Error, Name "d~" contains an unexpected character: "~" in ParseFactSet at line 1:  ( deffacts d~ ( |
; A rule refuses its name itself (not a parse error).
(try-text "5.clp" "(defrule r\\\"s =>)")
; expect: Name "r"s" contains an unexpected character: """|
(try-text "6.clp" "(assert (a\\\"b 1))")
; expect: Parsing Error, Name "a"b" contains an unexpected character: """ in ParseFact at line 1:  ( assert ( a"b |
(try-text "7.clp" "(assert-string \"(a\\\\\\\"b 1)\")")
; expect: Parsing Error, Name "a"b" contains an unexpected character: """ in ParseFact at line 1: ( a"b |
(try-text "8.clp" "(do-backward-chaining \"a b\")")
; expect: Name "a b" contains an unexpected character: " "|
; Nothing of them was defined.
(list-deftemplates)
; expect: Initial-Fact
; expect: __NOT-OR-TEST-CE*
; expect: for a total of 2 deftemplates.
(list-defrules)
; expect: for a total of 0 rules.
(list-deffacts)
; expect: for a total of 0 deffacts.
(try-text "9.clp" "(f\\\"g)")
; expect: Function is unimplemented or unassigned: f"g|
(facts)
; expect: f-0 (Initial-Fact)
; expect: For a total of 1 facts.
; expect: TRUE

; Odd names that do read back are saved and read back as they are.
(deftemplate *t* (slot a=b))
(deffunction \f () 1)
(deffacts +d (*t* (a=b 1)))
(defrule r-1.5 (*t* (a=b ?x)) => (printout t ?x crlf))
(reset)
; expect: TRUE
(save "odd.clp")
; expect: TRUE
(clear)
; expect: TRUE
(load "odd.clp")
; expect: <Fact-1>
; expect: TRUE
(save "odd2.clp")
; expect: TRUE
(deffunction same-lines (?a ?b)
  (open ?a a)
  (open ?b b)
  (bind ?x (readline a))
  (bind ?same TRUE)
  (while (and ?same (neq ?x EOF)) do
    (if (neq ?x (readline b)) then (bind ?same FALSE))
    (bind ?x (readline a)))
  (if ?same then (bind ?same (eq (readline b) EOF)))
  (close a)
  (close b)
  ?same)
(same-lines "odd.clp" "odd2.clp")
; expect: TRUE
(run)
; expect: 1
; expect: 1

; Saving refuses, before anything is written, what has no text that reads
; back as it: values such texts cannot make, and constructs made on a
; template that was defined again since. Each case starts from a new
; knowledge base (clear and reset); the file keeps its old text.
(open "kb.clp" f "w")
; expect: f
(printout f "old" crlf)
(close f)
; expect: TRUE
(clear)
; expect: TRUE
(reset)
; expect: TRUE
(deftemplate r (slot id))
(assert (r (id (assert (x)))))
; expect: <Fact-2>
(try (save "kb.clp") catch (printout t ?__ERROR crlf))
; expect: Cannot save the fact f-2: <Fact-1> has no text that reads back as the same value
(clear)
; expect: TRUE
(reset)
; expect: TRUE
(assert (s (sym-cat 12)))
; expect: <Fact-1>
(try (save "kb.clp") catch (printout t ?__ERROR crlf))
; expect: Cannot save the fact f-1: 12 has no text that reads back as the same value
(clear)
; expect: TRUE
(reset)
; expect: TRUE
(assert (s (sym-cat "?x")))
; expect: <Fact-1>
(try (save "kb.clp") catch (printout t ?__ERROR crlf))
; expect: Cannot save the fact f-1: ?x has no text that reads back as the same value
(clear)
; expect: TRUE
(reset)
; expect: TRUE
(assert (s (sym-cat ni l)))
; expect: <Fact-1>
(try (save "kb.clp") catch (printout t ?__ERROR crlf))
; expect: Cannot save the fact f-1: nil has no text that reads back as the same value
(clear)
; expect: TRUE
(reset)
; expect: TRUE
(assert (e a (sym-cat) b))
; expect: <Fact-1>
(try (save "kb.clp") catch (printout t ?__ERROR crlf))
; expect: Cannot save the fact f-1: The empty symbol has no text that reads back as the same value
(clear)
; expect: TRUE
(reset)
; expect: TRUE
(assert (n (/ 0.0 0.0)))
; expect: <Fact-1>
(try (save "kb.clp") catch (printout t ?__ERROR crlf))
; expect: Cannot save the fact f-1: NAN has no text that reads back as the same value
(clear)
; expect: TRUE
(reset)
; expect: TRUE
(bind ?*f* (assert (x)))
; expect: <Fact-1>
(try (save "kb.clp") catch (printout t ?__ERROR crlf))
; expect: Cannot save the global variable ?*f*: <Fact-1> has no text that reads back as the same value
(clear)
; expect: TRUE
(reset)
; expect: TRUE
(deftemplate t (slot a))
(deffunction mk () (assert (t (a 1))))
(deftemplate t (slot b))
(try (save "kb.clp") catch (printout t ?__ERROR crlf))
; expect: Cannot save the deffunction mk: it was made on the fact template t as that was before it was defined again
(clear)
; expect: TRUE
(reset)
; expect: TRUE
(deftemplate p (slot a))
(deftemplate c extends p (slot b))
(deftemplate p (slot z))
(try (save "kb.clp") catch (printout t ?__ERROR crlf))
; expect: Cannot save the fact template c: it extends p, which has been defined again since with other slots
(open "kb.clp" f)
; expect: f
(readline f)
; expect: "old"
(readline f)
; expect: EOF
(close f)
; expect: TRUE
