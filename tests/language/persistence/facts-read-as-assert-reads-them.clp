; load-facts, assert-string and deffacts evaluate a fact as assert does:
; calls and dynamic defaults give their values, multifields are flattened.
; Before, load-facts and assert-string kept the calls themselves, which a
; saved file then evaluated (or refused) on reading.
(deftemplate t (slot a (default-dynamic (+ 1 1))) (multislot m (default-dynamic (create$ x (+ 1 2)))))
(open "f.txt" out "w")
; expect: out
(printout out "(t)" crlf "(y (create$ 1 2) 3)" crlf)
(close out)
; expect: TRUE
(load-facts "f.txt")
; expect: TRUE
(assert-string "(t (a (+ 2 3)) (m))")
; expect: <Fact-3>
(deffacts d (t (m (create$ a b) c)))
(facts)
; expect: f-0 (Initial-Fact)
; expect: f-1 (t (a 2) (m x 3))
; expect: f-2 (y 1 2 3)
; expect: f-3 (t (a 5) (m))
; expect: For a total of 4 facts.
; expect: TRUE
(deffunction try-it (?text)
  (try (assert-string ?text) catch (printout t ?__ERROR crlf)))
; A nested list that names no function is refused by every way in, with
; the error assert gives.
(try (assert (n (nope 1) 2)) catch (printout t ?__ERROR crlf))
; expect: Function is unimplemented or unassigned: nope
(try-it "(n (nope 1) 2)")
; expect: Function is unimplemented or unassigned: nope
(open "g.txt" out "w")
; expect: out
(printout out "(n (nope 1) 2)" crlf)
(close out)
; expect: TRUE
(try (load-facts "g.txt") catch (printout t ?__ERROR crlf))
; expect: Function is unimplemented or unassigned: nope
; A multifield does not go into a single-field slot.
(try (assert (t (a (create$ 1 2)))) catch (printout t ?__ERROR crlf))
; expect: Slot "a" is not a multislot
(try-it "(t (a (create$)))")
; expect: Slot "a" is not a multislot
; A computed value is checked against the slot's types as a literal is.
(deftemplate typed (slot s (type SYMBOL)) (slot f (type FLOAT) (default-dynamic (+ 1 2))))
(try (assert (typed (s (+ 1 2)))) catch (printout t ?__ERROR crlf))
; expect: Not a ATOM.  Value Type is dtInteger
(try-it "(typed)")
; expect: Not a FLOAT.  Value Type is dtInteger
(assert (typed (s (sym-cat a b)) (f (* 1.0 2))))
; expect: <Fact-4>
(facts 4)
; expect: f-4 (typed (s ab) (f 2.0))
; expect: For a total of 1 facts.
; expect: TRUE
(reset)
; expect: TRUE
(facts)
; expect: f-0 (Initial-Fact)
; expect: f-1 (t (a 2) (m a b c))
; expect: For a total of 2 facts.
; expect: TRUE
