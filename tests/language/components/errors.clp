; load-component reads the whole file before it changes anything: a file
; cut short, or naming an unknown class or property, or a value of the
; wrong kind, is refused with the place named, and the engine stays as it was.
(deffunction write-file (?name ?text)
  (open ?name out "w") (printout out ?text) (close out))
(deftemplate keep (slot x))
(defrule kept (keep (x ?x)) => (printout t "kept " ?x crlf))
(assert (keep (x 1)))
(write-file "cut.json" "{\"format\": \"deducer-component\", \"version\": 1, \"object\": {\"class\": \"TDeducer\"")
(try (load-component "cut.json") catch (printout t ?__ERROR crlf))
(write-file "class.json" "{\"format\": \"deducer-component\", \"version\": 1, \"object\": {\"class\": \"TDeducer\", \"components\": [{\"class\": \"TGadget\"}]}}")
(try (load-component "class.json") catch (printout t ?__ERROR crlf))
(write-file "property.json" "{\"format\": \"deducer-component\", \"version\": 1, \"object\": {\"class\": \"TDeducer\", \"properties\": {\"Speed\": 3}}}")
(try (load-component "property.json") catch (printout t ?__ERROR crlf))
(write-file "kind.json" "{\"format\": \"deducer-component\", \"version\": 1, \"object\": {\"class\": \"TDeducer\", \"properties\": {\"ResetGlobals\": 1}}}")
(try (load-component "kind.json") catch (printout t ?__ERROR crlf))
(write-file "text.json" "{\"format\": \"deducer-component\", \"version\": 1, \"object\": {\"class\": \"TDeducer\", \"data\": {\"Rules\": [\"(defrule broken\"]}}}")
(try (load-component "text.json") catch (printout t ?__ERROR crlf))
(write-file "part.json" "{\"format\": \"deducer-component\", \"version\": 1, \"object\": {\"class\": \"TDeducer\", \"properties\": {\"Rules\": {\"class\": \"TRules\", \"data\": {\"Rules\": [\"(defrule broken\"]}}}}}")
(try (load-component "part.json") catch (printout t ?__ERROR crlf))
(write-file "partkind.json" "{\"format\": \"deducer-component\", \"version\": 1, \"object\": {\"class\": \"TDeducer\", \"properties\": {\"FactTemplates\": 3}}}")
(try (load-component "partkind.json") catch (printout t ?__ERROR crlf))
(write-file "root.json" "{\"format\": \"deducer-component\", \"version\": 1, \"object\": {\"class\": \"TFactSet\"}}")
(try (load-component "root.json") catch (printout t ?__ERROR crlf))
(try (load-component "missing.json") catch (printout t ?__ERROR crlf))
; Nothing changed.
(facts)
(run)
; Loading from a firing rule would clear the engine under the rule.
(defrule reload (keep) => (load-component "cut.json"))
(try (run) catch (printout t ?__ERROR crlf))
; expect: <Fact-1>
; expect: TRUE
; expect: Component file is not valid JSON at byte 77: [json.exception.parse_error.101] parse error at line 1, column 77: syntax error while parsing object - unexpected end of input; expected '}'
; expect: TRUE
; expect: Component file, at TDeducer: unknown class TGadget
; expect: TRUE
; expect: Component file, at TDeducer > property Speed: unknown property of class TDeducer
; expect: TRUE
; expect: Component file, at TDeducer > property ResetGlobals: a value name expected for a property of kind enumeration, not number
; expect: TRUE
; expect: Component file, at TDeducer > data Rules, item 0: Parsing Error, Expected "=>" in ParseRule at line 1:  ( defrule broken EOF 
; expect: TRUE
; expect: Component file, at TDeducer > property Rules > TRules > data Rules, item 0: Parsing Error, Expected "=>" in ParseRule at line 1:  ( defrule broken EOF 
; expect: TRUE
; expect: Component file, at TDeducer > property FactTemplates: an object expected for a part, not number
; expect: TRUE
; expect: Component file, at the top: a TFactSet cannot be read into a TDeducer
; expect: Cannot open file "missing.json". No such file or directory
; expect: f-0 (Initial-Fact)
; expect: f-1 (keep (x 1))
; expect: For a total of 2 facts.
; expect: TRUE
; expect: kept 1
; expect: 1
; expect: A component file cannot be loaded while a rule fires
