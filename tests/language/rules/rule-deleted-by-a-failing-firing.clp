; A rule taken away while it fires, whose firing then fails: the rule
; stays whole until its firing has ended, so that the error can name it.
; Each way of taking it away is tried: undefrule, clear, undeftemplate of
; a template it uses, and loading a file that defines it anew.
(defrule r => (undefrule r) (nosuchfunction))
(reset)
; expect: TRUE
(try (run) catch (printout t "undefrule: " ?__ERROR crlf))
; expect: undefrule: Function is unimplemented or unassigned: nosuchfunction
(rules)
; expect: For a total of 0 rules.
; expect: TRUE

(defrule r => (clear) (nosuchfunction))
(reset)
; expect: TRUE
(try (run) catch (printout t "clear: " ?__ERROR crlf))
; expect: clear: Function is unimplemented or unassigned: nosuchfunction

(deftemplate item (slot id))
(defrule r (item (id ?x)) => (undeftemplate item) (nosuchfunction))
(assert (item (id 1)))
; expect: <Fact-0>
(try (run) catch (printout t "undeftemplate: " ?__ERROR crlf))
; expect: undeftemplate: Function is unimplemented or unassigned: nosuchfunction

(open "r.clp" f "w")
; expect: f
(printout f "(defrule r => (printout t \"new r\" crlf))" crlf)
(close f)
; expect: TRUE
(defrule r => (load "r.clp") (nosuchfunction))
(reset)
; expect: TRUE
; The run's error ends the script: it names the rule that failed.
(run)
; expect-error: In rule r: Function is unimplemented or unassigned: nosuchfunction
