; input-box and input-query show the caption on a line of its own, then
; the prompt with the default in brackets. The answer is the next line of
; standard input, echoed after the question; the lines after it stay
; commands.
(input-box "Customer" "Name?" "Bob")
; expect: Customer
; expect: Name? [Bob] Alice
; expect: "Alice"
(input-query "Order" "Quantity" 12)
; expect: Order
; expect: Quantity [12]: 7
; expect: "7"
; An empty line takes the default, as confirming the untouched box does.
(input-box "Customer" "Name?" "Bob")
; expect: Customer
; expect: Name? [Bob] 
; expect: "Bob"
(input-query "" "City" "Paris")
; expect: City [Paris]: 
; expect: "Paris"
; Without caption, prompt and default: a bare question; the texts are
; evaluated.
(input-box)
; expect: > anything at all
; expect: "anything at all"
(input-box (str-cat "Step " 2) (sym-cat Your " " name))
; expect: Step 2
; expect: Your name: ( not a command )
; expect: "( not a command )"
; The dialog starts on a line of its own.
(deffunction ask-after-text () (printout t "partial") (input-query "" "Ok?"))
(ask-after-text)
; expect: partial
; expect: Ok? yes
; expect: "yes"
; At the end of the input the dialog is cancelled and says so: input-box
; gives the default, input-query FALSE.
(input-box "Customer" "Name?" "Bob")
; expect: Customer
; expect: Name? [Bob] 
; expect: No input: cancelled, the default "Bob" is taken.
; expect: "Bob"
(input-query "Order" "Quantity" 12)
; expect: Order
; expect: Quantity [12]: 
; expect: No input: cancelled.
; expect: FALSE
