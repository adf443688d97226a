; A rule reaches itself and the other components of the engine: changing a
; rule's published properties while it fires is safe.
(defrule first "the first" (go) =>
  (bind ?me nil)
  (foreach ?c (get-components (get-component engine))
    (if (and (is-class ?c (get-class TRule)) (eq (get-property ?c RuleName) "first")) then (bind ?me ?c)))
  (printout t (get-property ?me Comment) " " (get-property ?me Salience) crlf)
  (set-property ?me Salience 5)
  (set-property ?me Comment "changed")
  (set-property ?me RuleName renamed)
  (printout t (get-property ?me RuleName) " " (get-property ?me Salience) crlf)
  (try (set-property ?me Engine nil) catch (printout t ?__ERROR crlf))
  (try (free-object ?me) catch (printout t ?__ERROR crlf)))
(assert (go))
; The changed rule is compiled again and fires once more, where it no
; longer finds a rule named first.
(run)
(rules)
; expect: <Fact-1>
; expect: the first 0
; expect: renamed 5
; expect: Cannot set property Engine of class TRule: Property Engine of class TRule is read-only
; expect: Cannot free the TRule (unnamed): the engine needs it (the engine owns it)
; expect:  
; expect:  
; expect: 2
; expect: (defrule renamed
; expect:     "changed"
; expect:     (declare (salience 5))
; expect:     (go )
; expect:     =>
; expect:     (bind ?me nil)
; expect:     (foreach ?c (get-components (get-component engine)) (if (and (is-class ?c (get-class TRule)) (eq (get-property ?c RuleName) "first")) then (bind ?me ?c)))
; expect:     (printout t (get-property ?me Comment) " " (get-property ?me Salience) crlf)
; expect:     (set-property ?me Salience 5)
; expect:     (set-property ?me Comment "changed")
; expect:     (set-property ?me RuleName renamed)
; expect:     (printout t (get-property ?me RuleName) " " (get-property ?me Salience) crlf)
; expect:     (try (set-property ?me Engine nil) catch (printout t ?__ERROR crlf))
; expect:     (try (free-object ?me) catch (printout t ?__ERROR crlf)))
; expect: For a total of 1 rules.
; expect: TRUE
