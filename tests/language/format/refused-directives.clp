; Directives format refuses: a conversion its argument cannot take, a
; directive left unfinished, a malformed flag or precision, a field too wide.
(deffunction show-error (?control ?value)
  (try (format t ?control ?value)
   catch (printout t ?__ERROR crlf)))
(show-error "%x" "1")
; expect: Format '%x' invalid or incompatible with argument
(show-error "%e" (create$))
; expect: Format '%e' invalid or incompatible with argument
(show-error "a %c" 65)
; expect: Format '%c' invalid or incompatible with argument
(show-error "%" 1)
; expect: Format '%' invalid or incompatible with argument
(show-error "%1-d" 1)
; expect: Format '%1-d' invalid or incompatible with argument
(show-error "%1.2.3f" 1.0)
; expect: Format '%1.2.3f' invalid or incompatible with argument
; Fields are bounded: a hostile width or precision is refused, not allocated.
(show-error "%99999999999d" 1)
; expect: Format '%99999999999d' invalid or incompatible with argument
(show-error "%.1001f" 1.0)
; expect: Format '%.1001f' invalid or incompatible with argument
(show-error "%d" 1e300)
; expect: Format '%d' invalid or incompatible with argument
