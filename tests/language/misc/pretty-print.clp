; ppdef* print a construct's text, which reads back; the name is not evaluated.
(deftemplate point "a point" (slot x (default 0)) (slot y (default 0)))
(ppdeftemplate point)
; expect: (deftemplate point "a point" 
; expect:     (slot x (default 0) )
; expect:     (slot y (default 0) )
; expect: )
(deffunction norm1 (?p ?q) "taxicab length" (+ (abs ?p) (abs ?q)))
(ppdeffunction norm1)
; expect: (deffunction norm1 (?p ?q)
; expect:     "taxicab length"
; expect:     (+ (abs ?p) (abs ?q))
; expect: )
(deffacts origin "where it starts" (point))
(ppdeffacts origin)
; expect: (deffacts origin "where it starts"
; expect:     (point (x 0) (y 0))
; expect: )
(defrule on-axis "a point on an axis" (declare (salience 10)) (point (x 0) (y ?y)) => (printout t ?y crlf))
(ppdefrule on-axis)
; expect: (defrule on-axis
; expect:     "a point on an axis"
; expect:     (declare (salience 10))
; expect:     (point (x 0) (y ?y) )
; expect:     =>
; expect:     (printout t ?y crlf))
; A package function prints its help as a comment.
(ppdeffunction abs)
; expect: ;; abs function
; expect: ;;     Returns the absolute value of the argument
; expect: ;;          syntax: (abs <numeric-expression>)
; Unknown names raise, naming the kind of construct.
(try (ppdefrule nothing) catch (printout t ?__ERROR crlf))
; expect: Unknown rule name: nothing
(try (ppdeftemplate nothing) catch (printout t ?__ERROR crlf))
; expect: Unknown fact template name: nothing
(try (ppdeffunction nothing) catch (printout t ?__ERROR crlf))
; expect: Unknown user function name: nothing
(try (ppdeffacts nothing) catch (printout t ?__ERROR crlf))
; expect: Unknown fact set name: nothing
; The name is taken as written, not evaluated.
(bind ?name point)
(try (ppdeftemplate ?name) catch (printout t ?__ERROR crlf))
; expect: point
; expect: Unknown fact template name: name
