; A deffunction's trailing wildcard parameter takes what is left of the
; arguments, which may be nothing.
(deffunction count-all ($?v) (length$ ?v))
(count-all)
; expect: 0
(count-all a b c)
; expect: 3
(deffunction head-and-rest (?x $?rest) (create$ ?x (length$ ?rest)))
(head-and-rest 1)
; expect: 1 0
(head-and-rest 1 2 3)
; expect: 1 2
; The parameters before the wildcard are still required.
(try (head-and-rest) catch (printout t ?__ERROR crlf))
; expect: Too few arguments for head-and-rest
(deffunction two (?a ?b) (+ ?a ?b))
(try (two 1) catch (printout t ?__ERROR crlf))
; expect: Too few arguments for two
