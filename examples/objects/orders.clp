; Rules over the host's orders (examples/objects/main.cpp): each placed
; order is a component of the application, read and changed through its
; published properties.
(defglobal ?*limit* = 1000.0)

(defrule approve-small "small orders pass at once"
  (placed ?name)
  =>
  (bind ?order (get-component ?name))
  (if (<= (get-property ?order Amount) ?*limit*)
   then (set-property ?order Status osApproved)
   else (set-property ?order Status osReview)))

(defrule discount-regulars "a regular customer's order under review gets 10% off"
  (declare (salience -10))
  (placed ?name)
  =>
  (bind ?order (get-component ?name))
  (if (and (eq (get-property ?order Status) osReview)
           (eq (get-property ?order Customer) "bob"))
   then (set-property ?order Amount (* 0.9 (get-property ?order Amount)))
        (printout t ?name ": discount, now " (get-property ?order Amount) crlf)))

(defrule report "the orders the application has, as the rules see them"
  (declare (salience -20))
  =>
  (foreach ?c (get-components)
    (if (is-class ?c (get-class TOrder))
     then (printout t (get-property ?c Name) " is " (get-property ?c Status) crlf))))
