; Misuse of the object functions gives clear errors and never reaches a
; freed object.
(defglobal ?*e* = (get-component engine))

; A value of the wrong kind or range for the property.
(try (set-property ?*e* ParserMaxErrors many) catch (printout t ?__ERROR crlf))
; expect: Not a integer.  Value Type is dtAtom
(try (set-property ?*e* Strategy sideways) catch (printout t ?__ERROR crlf))
; expect: Cannot set property Strategy of class TDeducer: Unknown value sideways for property Strategy (one of ssDepthFirst, ssBreadthFirst)
(try (set-property ?*e* ParserMaxErrors 99999999999) catch (printout t ?__ERROR crlf))
; expect: Cannot set property ParserMaxErrors of class TDeducer: Value 99999999999 is out of range for property ParserMaxErrors of class TDeducer (-2147483648 to 2147483647)
(get-property ?*e* ParserMaxErrors)
; expect: 10

; Events have no value.
(try (get-property ?*e* OnPrintOut) catch (printout t ?__ERROR crlf))
; expect: Invalid property type: OnPrintOut of class TDeducer is of kind method

; Not a component where one is needed; a class that is not registered.
(try (get-components 3) catch (printout t ?__ERROR crlf))
; expect: Expected component argument to get-components function call
(try (get-component (create$ a) x) catch (printout t ?__ERROR crlf))
; expect: Expected component argument to get-component function call
(try (get-class TNothing) catch (printout t ?__ERROR crlf))
; expect: Unknown class name: TNothing

; The engine, what it owns and what owns it cannot be freed.
(try (free-object ?*e*) catch (printout t ?__ERROR crlf))
; expect: Cannot free the TDeducer engine: the engine needs it (it is the engine)
(try (free-object (get-component)) catch (printout t ?__ERROR crlf))
; expect: Cannot free the TComponent shell: the engine needs it (it owns the engine)
(try (free-object (nth$ 1 (get-components ?*e*))) catch (printout t ?__ERROR crlf))
; expect: Cannot free the TMiscPackage (unnamed): the engine needs it (the engine owns it)

; A component made here and freed: values that refer to it read as freed,
; and every function refuses them.
(bind ?c (create-component (get-class TComponent) (get-component)))
; expect: <External-Address: TComponent>
(set-property ?c Name box)
; expect: TRUE
(get-property (get-component box) Name)
; expect: "box"
(free-object ?c)
; expect: TRUE
(get-component box)
; expect: FALSE
?c
; expect: <Freed-Object: TComponent>
(try (get-property ?c Name) catch (printout t ?__ERROR crlf))
; expect: The object (a TComponent) given to get-property was freed
(try (free-object ?c) catch (printout t ?__ERROR crlf))
; expect: The object (a TComponent) given to free-object was freed
(try (set-property ?*e* Strategy ?c) catch (printout t ?__ERROR crlf))
; expect: The object (a TComponent) given to set-property was freed

; Objects made without an owner belong to the engine until freed.
(bind ?o (create-object TFactSet))
; expect: <External-Address: TFactSet>
(is-class ?o (get-class TComponent))
; expect: TRUE
(is-class ?o (get-class TRule))
; expect: FALSE
(free-object ?o)
; expect: TRUE

; Owners, classes and parents of the wrong kind.
(try (create-component (get-class TFactSet) 12) catch (printout t ?__ERROR crlf))
; expect: Expected component argument to create-component function call
(try (create-component (get-class TKbUserFunction) nil) catch (printout t ?__ERROR crlf))
; expect: Class TKbUserFunction is not a component class (create-component)
(try (create-component TComponent nil (get-component)) catch (printout t ?__ERROR crlf))
; expect: A parent is only for controls: TComponent is not a control (create-component)
