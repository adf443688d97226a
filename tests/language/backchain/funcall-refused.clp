; A pattern on a backward-chaining template cannot hold a function call:
; no goal could describe what it asks for.
(deftemplate p (slot a))
(do-backward-chaining p)
(defrule bad (p (a ?x&:(> ?x 1))) =>)
; expect: TRUE
; expect-error: Cannot use Function calls in backchained patterns: p
