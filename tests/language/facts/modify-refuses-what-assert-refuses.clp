; A modify or duplicate that fails changes nothing: the fact stays as it
; was, under its identifier. What assert refuses, they refuse too.
; A cleared engine holds no fact; identifiers start at 0.
(clear)
; expect: TRUE
(deftemplate p (slot v) (slot n (type INTEGER)) (multislot lst))
(assert (p (v 1) (n 1) (lst a b)))
; expect: <Fact-0>
(try (modify 0 (nosuch 1)) catch (printout t ?__ERROR crlf))
; expect: No such slot name: "nosuch"
(try (modify 0 (v 2) (nosuch 1)) catch (printout t ?__ERROR crlf))
; expect: No such slot name: "nosuch"
(try (modify 0 (v 4 5)) catch (printout t ?__ERROR crlf))
; expect: Slot "v" is not a multislot
(bind ?two (create$ 4 5))
; expect: 4 5
(try (modify 0 (v ?two)) catch (printout t ?__ERROR crlf))
; expect: Slot "v" is not a multislot
(try (modify 0 (v)) catch (printout t ?__ERROR crlf))
; expect: Slot "v" is not a multislot
(try (modify 0 (n abc)) catch (printout t ?__ERROR crlf))
; expect: Not a INTEGER.  Value Type is dtAtom
(try (modify 0 (v (nosuchfunction))) catch (printout t ?__ERROR crlf))
; expect: Function is unimplemented or unassigned: nosuchfunction
(try (duplicate 0 (v 4 5)) catch (printout t ?__ERROR crlf))
; expect: Slot "v" is not a multislot
(try (duplicate 0 (v 2) (nosuch 1)) catch (printout t ?__ERROR crlf))
; expect: No such slot name: "nosuch"
(facts)
; expect: f-0 (p (v 1) (n 1) (lst a b))
; expect: For a total of 1 facts.
; expect: TRUE
; assert refuses a multifield in a single-field slot too.
(try (assert (p (v ?two))) catch (printout t ?__ERROR crlf))
; expect: Slot "v" is not a multislot
(facts)
; expect: f-0 (p (v 1) (n 1) (lst a b))
; expect: For a total of 1 facts.
; expect: TRUE
; A modify whose result equals another fact leaves only that fact, and
; answers FALSE as assert does.
(assert (p (v 2) (n 1) (lst a b)))
; expect: <Fact-1>
(modify 0 (v 2))
; expect: FALSE
(facts)
; expect: f-1 (p (v 2) (n 1) (lst a b))
; expect: For a total of 1 facts.
; expect: TRUE
; When the changed fact cannot enter working memory (a rule's test raises
; on the new value), the fact comes back as it was, under a new identifier,
; and the error is raised.
(clear)
; expect: TRUE
(deftemplate q (slot v))
(defrule positive (q (v ?v&:(> ?v 0))) => (printout t "fired " ?v crlf))
(assert (q (v 1)))
; expect: <Fact-0>
(try (modify 0 (v abc)) catch (printout t ?__ERROR crlf))
; expect: Not a numeric.  Value Type is dtAtom
(facts)
; expect: f-2 (q (v 1))
; expect: For a total of 1 facts.
; expect: TRUE
(run)
; expect: fired 1
; expect: 1
