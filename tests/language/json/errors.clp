; load-facts-json checks every fact before it asserts any: malformed JSON
; names the byte, a wrong shape the fact (from 0) and the slot, and nothing
; is asserted. save-facts-json refuses what has no JSON form and leaves no
; file.
(deftemplate order (slot item (type SYMBOL)) (slot qty (type INTEGER)) (multislot tags))
(deffunction write-file (?name ?text)
  (open ?name out "w") (printout out ?text) (close out))
(write-file "bad.json" "[{\"template\": \"order\", \"slots\": {\"qty\": 1}} oops")
; expect: TRUE
(try (load-facts-json "bad.json") catch (printout t ?__ERROR crlf))
; expect: Malformed JSON at byte 45: [json.exception.parse_error.101] parse error at line 1, column 45: syntax error while parsing array - invalid literal; last read: '1}} o'; expected ']'
(write-file "slot.json" "[{\"template\": \"order\", \"slots\": {\"qty\": 1}}, {\"template\": \"order\", \"slots\": {\"colour\": 1}}]")
; expect: TRUE
(try (load-facts-json "slot.json") catch (printout t ?__ERROR crlf))
; expect: Facts as JSON: fact 1, slot colour: no such slot
(write-file "type.json" "[{\"template\": \"point\", \"values\": [1]}, {\"template\": \"order\", \"slots\": {\"qty\": \"many\"}}]")
; expect: TRUE
(try (load-facts-json "type.json") catch (printout t ?__ERROR crlf))
; expect: Facts as JSON: fact 1, slot qty: a STRING value in a slot of INTEGER
(write-file "multi.json" "[{\"template\": \"order\", \"slots\": {\"tags\": 1}}]")
; expect: TRUE
(try (load-facts-json "multi.json") catch (printout t ?__ERROR crlf))
; expect: Facts as JSON: fact 0, slot tags: a multislot takes an array
(write-file "single.json" "[{\"template\": \"order\", \"slots\": {\"qty\": [1]}}]")
; expect: TRUE
(try (load-facts-json "single.json") catch (printout t ?__ERROR crlf))
; expect: Facts as JSON: fact 0, slot qty: an array for a single-field slot
(write-file "shape.json" "[{\"template\": \"order\"}]")
; expect: TRUE
(try (load-facts-json "shape.json") catch (printout t ?__ERROR crlf))
; expect: Facts as JSON: fact 0: expected exactly "template" and either "slots" or "values"
(write-file "unknown.json" "[{\"template\": \"nothing\", \"slots\": {}}]")
; expect: TRUE
(try (load-facts-json "unknown.json") catch (printout t ?__ERROR crlf))
; expect: Facts as JSON: fact 0: unknown fact template nothing
(write-file "object.json" "{\"template\": \"order\"}")
; expect: TRUE
(try (load-facts-json "object.json") catch (printout t ?__ERROR crlf))
; expect: Facts as JSON: the text is not an array of facts
(facts)
; expect: f-0 (Initial-Fact)
; expect: For a total of 1 facts.
; expect: TRUE
(defrule keep ?f <- (order) => (assert (ref ?f)))
(assert (order (item a)))
; expect: <Fact-1>
(run)
; expect: 1
(try (save-facts-json "refs.json") catch (printout t ?__ERROR crlf))
; expect: Facts as JSON: fact 2: a dtFactId value has no JSON form
(try (open "refs.json" in) catch (printout t "no file" crlf))
; expect: no file
