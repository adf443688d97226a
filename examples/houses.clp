; A logic grid puzzle solved by one rule whose patterns join the clues.
;
; Four friends live in four houses in a row, numbered 1 to 4 from the left.
; Each has a different pet and a different favourite drink:
;
;   1. The dog lives directly to the right of Bob.
;   2. Cara drinks tea.
;   3. The fish lives next door to the milk drinker.
;   4. Ann lives in neither end house.
;   5. The cat lives in the first house.
;   6. Dan does not keep the bird.
;   7. Juice is drunk in the last house.
;   8. Bob lives somewhere to the left of Cara.
;
; Who lives where, with which pet and drink?  Run it with
;
;     deducer --run examples/houses.clp
;
; The language tests run it so too (tests/language/examples):
; args: --run

(deftemplate attribute
  (slot kind)
  (multislot values))

; One fact for every value of every attribute in every house: the rule
; below picks one house per value.
(deftemplate place
  (slot kind)
  (slot value)
  (slot house))

(defglobal ?*houses* = 4         ; houses in the row
           ?*solutions* = 0)     ; solutions found

(deffacts puzzle
  (attribute (kind person) (values ann bob cara dan))
  (attribute (kind pet) (values cat dog fish bird))
  (attribute (kind drink) (values tea coffee milk juice)))

; The candidates: every value may be in every house.
(defrule candidates
  (declare (salience 10))
  (attribute (kind ?kind) (values $?values))
  =>
  (foreach ?value ?values
    (bind ?house 1)
    (while (<= ?house ?*houses*) do
      (assert (place (kind ?kind) (value ?value) (house ?house)))
      (bind ?house (+ ?house 1)))))

(deffunction next-to (?a ?b)
  (= (abs (- ?a ?b)) 1))

; The values of one attribute in house order, from value-house pairs
; (positions in a multifield count from 0).
(deffunction in-houses ($?pairs)
  (bind ?row (create$))
  (while (< (length$ ?row) ?*houses*) do
    (bind ?row (insert$ ?row 0 -)))
  (bind ?i 0)
  (while (< ?i (length$ ?pairs)) do
    (bind ?at (- (nth$ (+ ?i 1) ?pairs) 1))
    (bind ?row (replace$ ?row ?at ?at (nth$ ?i ?pairs)))
    (bind ?i (+ ?i 2)))
  ?row)

; The clues, as constraints on the houses (the numbers are the clues'):
; "~" keeps the values of one attribute in different houses; ":", "=" and
; "test" check a clue as soon as its houses are known, so that the partial
; matches stay few.
(defrule solve
  ; The people.
  (place (kind person) (value bob) (house ?bob))
  (place (kind person) (value cara) (house ?cara&~?bob&:(> ?cara ?bob)))          ; 8
  (place (kind person) (value ann) (house ?ann&~?bob&~?cara&~1&~?*houses*))       ; 4
  (place (kind person) (value dan) (house ?dan&~?bob&~?cara&~?ann))
  ; The pets.
  (place (kind pet) (value cat) (house 1))                                         ; 5
  (place (kind pet) (value dog) (house ?dog&=(+ ?bob 1)))                          ; 1
  (place (kind pet) (value bird) (house ?bird&~1&~?dog&~?dan))                     ; 6
  (place (kind pet) (value fish) (house ?fish&~1&~?dog&~?bird))
  ; The drinks.
  (place (kind drink) (value tea) (house ?cara))                                   ; 2
  (place (kind drink) (value juice) (house ?juice&~?cara&:(= ?juice ?*houses*)))   ; 7
  (place (kind drink) (value milk) (house ?milk&~?cara&~?juice))
  (test (next-to ?fish ?milk))                                                     ; 3
  (place (kind drink) (value coffee) (house ?coffee&~?cara&~?juice&~?milk))
  =>
  (bind ?*solutions* (+ ?*solutions* 1))
  (bind ?people (in-houses ann ?ann bob ?bob cara ?cara dan ?dan))
  (bind ?pets (in-houses cat 1 dog ?dog bird ?bird fish ?fish))
  (bind ?drinks (in-houses tea ?cara juice ?juice milk ?milk coffee ?coffee))
  (format t "Solution %d:%n" ?*solutions*)
  (format t "  %-7s%-8s%-6s%s%n" House Person Pet Drink)
  (bind ?house 1)
  (while (<= ?house ?*houses*) do
    (bind ?at (- ?house 1))
    (format t "  %-7d%-8s%-6s%s%n" ?house (nth$ ?at ?people) (nth$ ?at ?pets) (nth$ ?at ?drinks))
    (bind ?house (+ ?house 1))))

; After the search: how many solutions there were.
(defrule done
  (declare (salience -10))
  =>
  (if (= ?*solutions* 0)
   then (printout t "The clues contradict each other." crlf)
   else (if (= ?*solutions* 1)
         then (printout t "The solution is unique." crlf)
         else (printout t "The clues allow " ?*solutions* " solutions." crlf))))
