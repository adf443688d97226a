; save-facts writes fact texts, all or those of named templates; load-facts
; asserts them.
(deftemplate person (slot name))
(deftemplate Person (slot name))
(assert (person (name ann)) (Person (name bob)) (colour red) (person (name cy)))
; expect: <Fact-4>
(save-facts "all.txt")
; expect: TRUE
(save-facts "persons.txt" person)
; expect: TRUE
(save-facts "some.txt" colour Person)
; expect: TRUE
(open "persons.txt" in)
; expect: in
(readline in)
; expect: "(person (name ann))"
(readline in)
; expect: "(person (name cy))"
(readline in)
; expect: EOF
(close in)
; expect: TRUE
(clear)
; expect: TRUE
; Facts are read as assert reads them: without its template, (Person (name
; bob)) would be an ordered fact holding a call of a function "name" (the
; facts read before it stay).
(deftemplate person (slot name))
(try (load-facts "some.txt") catch (printout t ?__ERROR crlf))
; expect: Function is unimplemented or unassigned: name
(deftemplate Person (slot name))
(load-facts "persons.txt")
; expect: TRUE
(load-facts "some.txt")
; expect: TRUE
(facts)
; expect: f-0 (colour red)
; expect: f-1 (person (name ann))
; expect: f-2 (person (name cy))
; expect: f-3 (Person (name bob))
; expect: For a total of 4 facts.
; expect: TRUE
; Facts already there are not asserted again.
(load-facts "all.txt")
; expect: TRUE
(facts 3)
; expect: f-3 (Person (name bob))
; expect: f-4 (Initial-Fact)
; expect: For a total of 2 facts.
; expect: TRUE
; Files that are not there raise.
(try (load-facts "none.txt") catch (printout t ?__ERROR crlf))
; expect: Cannot open file "none.txt". No such file or directory
(try (load "none.clp") catch (printout t ?__ERROR crlf))
; expect: Cannot open file "none.clp". No such file or directory
(try (save "no/dir/kb.clp") catch (printout t ?__ERROR crlf))
; expect: Cannot create file "no/dir/kb.clp". No such file or directory
