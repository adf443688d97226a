; The rules of examples/embedding/main.cpp: orders over the limit need a
; review, unless the customer is trusted (the host function "approve"
; decides); every decision is reported.
(deftemplate order
  (slot customer (type STRING))
  (slot cents (type INTEGER))
  (slot state (default new)))

(defrule decide
  ?order <- (order (customer ?customer) (cents ?cents) (state new))
  (limit ?limit)
  =>
  (modify ?order (state (approve ?cents ?limit ?customer))))

(defrule report
  (order (customer ?customer) (state ?state&~new))
  =>
  (printout t ?customer " " ?state crlf))
