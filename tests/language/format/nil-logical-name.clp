; With nil for the logical name, format prints nothing and returns the
; formatted text; printout to nil prints nothing.
(format nil "%d items" 3)
; expect: "3 items"
(bind ?line (format nil "%s=%d%n" x 7))
; expect: "x=7
; expect: "
(str-length ?line)
; expect: 5
(printout nil "not shown" crlf)
(printout t "shown" crlf)
; expect: shown
; Other names still print, and format answers nil there.
(format t "%s%n" done)
; expect: done
