; The engine's collections are parts of it: get-property reaches each as
; an object of its class, but a part is neither replaced nor freed.
(defglobal ?*e* = (get-component engine))
(deftemplate order (slot id))
(defrule r (order) =>)

(bind ?t (get-property ?*e* FactTemplates))
; expect: <External-Address: TFactTemplates>
(is-class ?t (get-class TFactTemplates))
; expect: TRUE
(is-class ?t (get-class TRules))
; expect: FALSE
(get-property ?*e* Rules)
; expect: <External-Address: TRules>
(get-property ?*e* Facts)
; expect: <External-Address: TFacts>
(get-property ?*e* UserFunctions)
; expect: <External-Address: TUserFunctions>
(get-property ?*e* Variables)
; expect: <External-Address: TEngineVariables>
; The global variables are engine variables of their own class.
(bind ?g (get-property ?*e* GlobalVariables))
; expect: <External-Address: TGlobalVariables>
(is-class ?g (get-class TEngineVariables))
; expect: TRUE
(is-class (get-property ?*e* Variables) (get-class TGlobalVariables))
; expect: FALSE
; The same part each time.
(eq ?t (get-property ?*e* FactTemplates))
; expect: TRUE

; The collections publish no properties of their own.
(get-properties ?t)
; expect:
(get-property ?t Count)
; expect: FALSE
(set-property ?t Count 3)
; expect: FALSE

; A part cannot be replaced, not even by itself, nor freed.
(try (set-property ?*e* FactTemplates ?t) catch (printout t ?__ERROR crlf))
; expect: Cannot set property FactTemplates of class TDeducer: Property FactTemplates of class TDeducer is a part of the object and cannot be replaced (set the part's properties instead)
(try (set-property ?*e* Rules nil) catch (printout t ?__ERROR crlf))
; expect: Cannot set property Rules of class TDeducer: Property Rules of class TDeducer is a part of the object and cannot be replaced (set the part's properties instead)
(try (free-object ?t) catch (printout t ?__ERROR crlf))
; expect: Cannot free the TFactTemplates FactTemplates: the engine needs it (it is a part of the engine)
(try (free-object (get-property ?*e* Variables)) catch (printout t ?__ERROR crlf))
; expect: Cannot free the TEngineVariables Variables: the engine needs it (it is a part of the engine)
; Nor made apart from an engine.
(try (create-object TRules) catch (printout t ?__ERROR crlf))
; expect: Class TRules cannot be created by create-object

; Nothing changed: the template and the rule are still there.
(assert (order (id 1)))
; expect: <Fact-1>
(agenda)
; expect: r : f-1
; expect: for a total of 1 activations.
