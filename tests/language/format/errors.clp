; A directive that cannot format its argument is an error that names it.
(deffunction show-error (?control ?value)
  (try (format t ?control ?value)
   catch (printout t ?__ERROR crlf)))
(show-error "%d" abc)
; expect: Format '%d' invalid or incompatible with argument
(show-error "%f" "1.5")
; expect: Format '%f' invalid or incompatible with argument
(show-error "%q" 1)
; expect: Format '%q' invalid or incompatible with argument
(show-error "%5" 1)
; expect: Format '%5' invalid or incompatible with argument
(show-error "%2000d" 1)
; expect: Format '%2000d' invalid or incompatible with argument
(show-error "%-5-d" 1)
; expect: Format '%-5-d' invalid or incompatible with argument
(format t "%d%n" x)
; expect-error: Format '%d' invalid or incompatible with argument
