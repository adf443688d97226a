; A rule needs a price that only a "need-" rule provides; that rule needs
; a cost and a tax, each provided by further "need-" rules. Goals carry
; the constants of their pattern and the values bound by earlier patterns,
; and are withdrawn once no match waits for them.
(deftemplate item (slot name))
(deftemplate price (slot name) (slot value))
(deftemplate cost (slot name) (slot base))
(deftemplate tax (slot region) (slot rate))
(do-backward-chaining price cost tax)
(defrule total (item (name ?n)) (price (name ?n) (value ?v))
  => (printout t ?n " costs " ?v crlf))
(defrule price-of (need-price (name ?n)) (cost (name ?n) (base ?b)) (tax (region north) (rate ?t))
  => (printout t "pricing " ?n crlf) (assert (price (name ?n) (value (* ?b (+ 1 ?t))))))
(defrule cost-of (need-cost (name ?n)) (base ?n ?b)
  => (printout t "costing " ?n crlf) (assert (cost (name ?n) (base ?b))))
(defrule tax-of (need-tax (region ?r))
  => (printout t "taxing " ?r crlf) (assert (tax (region ?r) (rate 0.5))))
(deffacts data (base apple 2) (item (name apple)))
(reset)
; The goals asked for before anything runs.
(facts)
(run)
; Only the answers remain.
(facts)
; A goal nobody can meet stays, and so does the match waiting for it.
(assert (item (name plum)))
(run)
(facts)
; expect: TRUE
; expect: TRUE
; expect: f-0 (Initial-Fact)
; expect: f-1 (base apple 2)
; expect: f-2 (item (name apple))
; expect: f-3 (need-price (name apple))
; expect: f-4 (need-cost (name apple))
; expect: For a total of 5 facts.
; expect: TRUE
; expect: costing apple
; expect: taxing north
; expect: pricing apple
; expect: apple costs 3
; expect: 4
; expect: f-0 (Initial-Fact)
; expect: f-1 (base apple 2)
; expect: f-2 (item (name apple))
; expect: f-5 (cost (name apple) (base 2))
; expect: f-7 (tax (region north) (rate 0.5))
; expect: f-8 (price (name apple) (value 3.0))
; expect: For a total of 6 facts.
; expect: TRUE
; expect: <Fact-9>
; expect: 0
; expect: f-00 (Initial-Fact)
; expect: f-01 (base apple 2)
; expect: f-02 (item (name apple))
; expect: f-05 (cost (name apple) (base 2))
; expect: f-07 (tax (region north) (rate 0.5))
; expect: f-08 (price (name apple) (value 3.0))
; expect: f-09 (item (name plum))
; expect: f-10 (need-price (name plum))
; expect: f-11 (need-cost (name plum))
; expect: For a total of 9 facts.
; expect: TRUE
