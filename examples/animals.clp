; An expert system that identifies an animal by asking yes/no questions.
;
; Every animal it knows is a fact with a list of traits. All animals start
; as candidates; each answer rules out the candidates that disagree with it,
; and the next question is the first one whose answer still tells the
; remaining candidates apart. Answers are read with readline, so they can
; be typed or piped in:
;
;     deducer --run examples/animals.clp
;     printf 'yes\nno\nyes\n' | deducer --run examples/animals.clp
;
; The language tests run it so too (tests/language/examples):
; args: --run

(deftemplate animal
  (slot name)
  (multislot traits))

(deftemplate trait
  (slot name)
  (slot order)         ; questions are asked in this order...
  (slot question))     ; ...and only while they still tell candidates apart

(deftemplate candidate (slot name))
(deftemplate answer (slot trait) (slot value))
(deftemplate next-question (slot order))

(deffacts knowledge
  (trait (name hair) (order 1) (question "Does it have hair or fur?"))
  (trait (name feathers) (order 2) (question "Does it have feathers?"))
  (trait (name lives-in-water) (order 3) (question "Does it live in water?"))
  (trait (name flies) (order 4) (question "Can it fly?"))
  (trait (name hunts) (order 5) (question "Does it hunt other animals?"))
  (trait (name stripes) (order 6) (question "Does it have stripes?"))
  (trait (name domestic) (order 7) (question "Is it kept as a pet?"))
  (trait (name long-neck) (order 8) (question "Does it have a very long neck?"))
  (animal (name cat) (traits hair hunts domestic))
  (animal (name dog) (traits hair domestic))
  (animal (name tiger) (traits hair hunts stripes))
  (animal (name zebra) (traits hair stripes))
  (animal (name giraffe) (traits hair long-neck))
  (animal (name eagle) (traits feathers flies hunts))
  (animal (name penguin) (traits feathers lives-in-water hunts))
  (animal (name parrot) (traits feathers flies domestic))
  (animal (name shark) (traits lives-in-water hunts))
  (animal (name goldfish) (traits lives-in-water domestic))
  (next-question (order 1)))

; Every animal is a candidate at the start.
(defrule start
  (declare (salience 100))
  (animal (name ?name))
  =>
  (assert (candidate (name ?name))))

; Asks Question until the answer is yes or no (y and n will do); the end
; of the input gives EOF, after which nothing more can be asked.
(deffunction ask-yes-no (?question)
  (while TRUE do
    (printout t ?question " (yes/no) ")
    (bind ?line (readline))
    (if (eq ?line EOF) then (return EOF))
    (bind ?answer (sym-cat (lowcase ?line)))
    (if (member$ ?answer (create$ yes y)) then (return yes))
    (if (member$ ?answer (create$ no n)) then (return no))
    (printout t "Please answer yes or no." crlf)))

; "a" or "an", as the name begins.
(deffunction with-article (?name)
  (bind ?first (sub-string 1 1 ?name))
  (if (member$ (sym-cat ?first) (create$ a e i o u))
   then (str-cat "an " ?name)
   else (str-cat "a " ?name)))

; Answers rule candidates out (these fire before anything is asked next).
(defrule has-not-what-it-has
  (answer (trait ?t) (value yes))
  ?c <- (candidate (name ?name))
  (animal (name ?name) (traits $?traits&:(not (member$ ?t ?traits))))
  =>
  (retract ?c))

(defrule has-what-it-has-not
  (answer (trait ?t) (value no))
  ?c <- (candidate (name ?name))
  (animal (name ?name) (traits $? ?t $?))
  =>
  (retract ?c))

; One candidate left: that is the animal.
(defrule identified
  (declare (salience -5))
  (candidate (name ?name))
  (not (candidate (name ~?name)))
  =>
  (printout t crlf "It is " (with-article ?name) "." crlf)
  (halt))

; The next question, when some remaining candidate has the trait and
; another has not.
(defrule ask
  (declare (salience -10))
  ?n <- (next-question (order ?o))
  (trait (name ?t) (order ?o) (question ?question))
  (candidate (name ?with))
  (animal (name ?with) (traits $? ?t $?))
  (candidate (name ?without))
  (animal (name ?without) (traits $?traits&:(not (member$ ?t ?traits))))
  =>
  (retract ?n)
  (bind ?answer (ask-yes-no ?question))
  (if (eq ?answer EOF)
   then (printout t crlf "No more answers; stopping." crlf)
        (halt)
   else (assert (answer (trait ?t) (value ?answer)))
        (assert (next-question (order (+ ?o 1))))))

; A question that would not tell the candidates apart is skipped.
(defrule skip
  (declare (salience -20))
  ?n <- (next-question (order ?o))
  (trait (order ?o))
  =>
  (retract ?n)
  (assert (next-question (order (+ ?o 1)))))
