; Listings: names sorted, then a total line.
(deftemplate person (slot name) (slot age (default 0)))
(deftemplate Animal (slot kind))
(defrule b-rule (person (name ?n)) => (printout t ?n crlf))
(defrule a-rule (Animal (kind ?k)) => (printout t ?k crlf))
(deffacts zoo (Animal (kind cat)))
(deffacts family (person (name ann)))
(list-defrules)
; expect: a-rule
; expect: b-rule
; expect: for a total of 2 rules.
(list-deffacts)
; expect: family
; expect: zoo
; expect: for a total of 2 deffacts.
; Byte order: upper case before lower case; the implied templates are listed.
(list-deftemplates)
; expect: Animal
; expect: Initial-Fact
; expect: __NOT-OR-TEST-CE*
; expect: person
; expect: for a total of 4 deftemplates.
; rules prints each rule's text and a capitalised total; to a logical name too.
(open "rules.txt" out "w")
; expect: out
(rules out)
; expect: TRUE
(close out)
; expect: TRUE
(open "rules.txt" in "r")
; expect: in
(readline in)
; expect: "(defrule a-rule"
(close in)
; expect: TRUE
(undefrule a-rule)
; expect: TRUE
(rules)
; expect: (defrule b-rule
; expect:     ""
; expect:     (declare (salience 0))
; expect:     (person (name ?n) )
; expect:     =>
; expect:     (printout t ?n crlf))
; expect: For a total of 1 rules.
; expect: TRUE
; Nothing defined: the total alone.
(undefrule b-rule)
; expect: TRUE
(list-defrules)
; expect: for a total of 0 rules.
