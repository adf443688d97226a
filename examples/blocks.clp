; A planner for the blocks world: it finds the moves that turn the stacks of
; blocks on the table into the stacks wanted, one clear block at a time.
;
; A block is "placed" once it sits where it belongs on something placed (or
; on the table); placed blocks never move again. A block that can go
; straight to its place goes there; otherwise a clear block that is in the
; way goes to the table. So every block moves at most twice. Run it with
;
;     deducer --run examples/blocks.clp
;
; The language tests run it so too (tests/language/examples):
; args: --run

; Where a block is now, and where it should be. "below" is a block or the
; table.
(deftemplate on (slot block) (slot below))
(deftemplate goal (slot block) (slot below))
(deftemplate placed (slot block))
; A stack being written out, from the bottom up to its top so far.
(deftemplate stack (slot top) (slot text))

(defglobal ?*moves* = 0)

; The stacks, from the bottom up:
;   now:     a b c     d e     f
;   wanted:  c b f     e a d
(deffacts problem
  (on (block a) (below table))
  (on (block b) (below a))
  (on (block c) (below b))
  (on (block d) (below table))
  (on (block e) (below d))
  (on (block f) (below table))
  (goal (block c) (below table))
  (goal (block b) (below c))
  (goal (block f) (below b))
  (goal (block e) (below table))
  (goal (block a) (below e))
  (goal (block d) (below a))
  (phase start))

(deffunction where (?place)
  (if (eq ?place table) then "the table" else ?place))

; Moves Block and writes the step of the plan.
(deffunction move (?on ?block ?from ?to)
  (bind ?*moves* (+ ?*moves* 1))
  (format t "%2d. move %s from %s onto %s%n" ?*moves* ?block (where ?from) (where ?to))
  (modify ?on (below ?to)))

; In the phases "start" and "end", the stacks are written out, one per line.
(defrule stack-bottom
  (declare (salience 50))
  (phase ?)
  (on (block ?b) (below table))
  =>
  (assert (stack (top ?b) (text (str-cat ?b)))))

(defrule stack-up
  (declare (salience 50))
  (phase ?)
  ?s <- (stack (top ?top) (text ?text))
  (on (block ?b) (below ?top))
  =>
  (modify ?s (top ?b) (text (str-cat ?text " " ?b))))

(defrule stack-show
  (declare (salience 40))
  (phase ?)
  ?s <- (stack (top ?top) (text ?text))
  (not (on (below ?top)))
  =>
  (printout t "  " ?text crlf)
  (retract ?s))

(defrule plan
  (declare (salience 30))
  ?p <- (phase start)
  =>
  (retract ?p)
  (printout t "Plan:" crlf))

; Placed blocks, from the table up (these come first: they decide what
; may move).
(defrule placed-on-table
  (declare (salience 20))
  (on (block ?b) (below table))
  (goal (block ?b) (below table))
  (not (placed (block ?b)))
  =>
  (assert (placed (block ?b))))

(defrule placed-on-block
  (declare (salience 20))
  (on (block ?b) (below ?x))
  (goal (block ?b) (below ?x))
  (placed (block ?x))
  (not (placed (block ?b)))
  =>
  (assert (placed (block ?b))))

; A clear block whose place is free goes there.
(defrule move-onto-its-block
  (declare (salience 10))
  ?on <- (on (block ?b) (below ?from))
  (not (placed (block ?b)))
  (not (on (below ?b)))
  (goal (block ?b) (below ?to))
  (test (neq ?to table))
  (placed (block ?to))
  (not (on (below ?to)))
  =>
  (move ?on ?b ?from ?to))

(defrule move-onto-the-table
  (declare (salience 10))
  ?on <- (on (block ?b) (below ?from&~table))
  (not (on (below ?b)))
  (goal (block ?b) (below table))
  =>
  (move ?on ?b ?from table))

; Otherwise a clear block that must move anyway makes room on the table.
(defrule make-room
  ?on <- (on (block ?b) (below ?from&~table))
  (not (placed (block ?b)))
  (not (on (below ?b)))
  =>
  (move ?on ?b ?from table))

; At the end: blocks that could not be placed (a goal that asks for a
; cycle, or a block without a goal), and the length of the plan.
(defrule not-placed
  (declare (salience -10))
  (on (block ?b))
  (not (placed (block ?b)))
  =>
  (printout t "Cannot place block " ?b "." crlf))

(defrule summary
  (declare (salience -20))
  =>
  (printout t "Done in " ?*moves* " moves; the stacks are now:" crlf)
  (assert (phase end)))

(defrule start
  (declare (salience 100))
  =>
  (printout t "The stacks, from the bottom up:" crlf))
