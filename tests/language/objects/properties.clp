; The engine is the component "engine" of the shell's root component
; "shell": rules read and write its published properties by name.
(get-property (get-component engine) Strategy)
; expect: ssDepthFirst
(get-property (get-component) Name)
; expect: "shell"
(get-property (get-component (get-component) engine) Name)
; expect: "engine"

; An enumeration reads as its value name; writing the name back restores it.
(set-property (get-component engine) Strategy ssBreadthFirst)
; expect: TRUE
(bind ?s (get-property (get-component engine) Strategy))
; expect: ssBreadthFirst
(set-property (get-component engine) Strategy ssDepthFirst)
; expect: TRUE
(set-property (get-component engine) Strategy ?s)
; expect: TRUE
(get-property (get-component engine) Strategy)
; expect: ssBreadthFirst

; Integers, booleans and sets (a set as its text, written back the same way).
(get-property (get-component engine) ParserMaxErrors)
; expect: 10
(set-property (get-component engine) FactDuplication TRUE)
; expect: TRUE
(get-fact-duplication)
; expect: TRUE
(get-property (get-component engine) TypeChecks)
; expect: "[tcStatic]"
(set-property (get-component engine) Watch "[cwFact]")
; expect: TRUE
(assert (a))
; expect:  ==> f-1 (a)
; expect: <Fact-1>
(set-property (get-component engine) Watch "[]")
; expect: TRUE

; A name the class does not publish: FALSE, and nothing changes.
(set-property (get-component engine) Colour red)
; expect: FALSE
(get-property (get-component engine) Colour)
; expect: FALSE

; A nil object reads as nil and takes nothing.
(eq (get-property nil Strategy) nil)
; expect: TRUE
(set-property nil Strategy ssDepthFirst)
; expect: FALSE

; No component of that name; the root's properties and components.
(get-component nothing)
; expect: FALSE
(get-properties (get-component))
; expect: Name
(length$ (get-components))
; expect: 1
