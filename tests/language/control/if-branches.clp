; if: the branch taken, its value, empty branches and the keywords.
(deffunction test-log (?v) (printout t "log " ?v crlf) ?v)
(if (> 2 1) then (bind ?a 1) (bind ?b 2) else (bind ?c 3))
; expect: 2
?a
; expect: 1
?b
; expect: 2
(try ?c catch (printout t ?__ERROR crlf))
; expect: Corrupted Binding, variable not found: c
(if (> 1 2) then (bind ?d 1) (bind ?e 2) else (bind ?c 3))
; expect: 3
?c
; expect: 3
(try ?d catch (printout t ?__ERROR crlf))
; expect: Corrupted Binding, variable not found: d
(if FALSE then 1)
; expect: FALSE
(if FALSE then 1 else)
; expect: FALSE
(if nil then 1 else 2)
; expect: 1
(if TRUE then)
; expect: FALSE
; An empty then-branch before else.
(if TRUE then else 2)
; expect: FALSE
(if FALSE then else 2)
; expect: 2
(try (if 1 2) catch (printout t ?__ERROR crlf))
; expect: Syntax Error: Missing "then" in an IF statement
; The keyword is a symbol as written: a string "then" is not it, and a
; variable holding the symbol else does not end the then-branch.
(try (if 1 "then" 2) catch (printout t ?__ERROR crlf))
; expect: Syntax Error: Missing "then" in an IF statement
(bind ?k else)
; expect: else
(if TRUE then ?k 7)
; expect: 7
; The branch not taken is never evaluated.
(if TRUE then (test-log t) else (test-log e))
; expect: log t
; expect: t
