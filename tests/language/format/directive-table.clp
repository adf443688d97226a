; One format call per row: the control string, its arguments and what is
; printed (each row ends its line with %n or a separate (format t "%n")).
(format t "no directive" "a" 2.5)
(format t "%n")
; expect: no directive a 2.5
(format t "[%.3d|%x|%X|%u]%n" 7 255 255 -1)
; expect: [007|ff|FF|4294967295]
(format t "[%e|%.2E|%g]%n" 12345.678 0.5 1e20)
; expect: [1.234568e+04|5.00E-01|1e+20]
(format t "[%s|%8s|%-4s|%.2s]%n" a "right" 7 1.5)
; expect: [a|   right|7   |1.]
(format t "%s%n" (create$ a 1))
; expect: (a 1)
; A fact identifier fills an integer directive with its number.
(assert (a))
; expect: <Fact-1>
(assert (b))
; expect: <Fact-2>
(bind ?f (assert (c)))
; expect: <Fact-3>
(format t "%d %d%n" ?f -7.9)
; expect: 3 -7
(format t "[%n %.1n %12m]" 1234567.891 -1234.56 1000)
(format t "%n")
; expect: [
; expect:  1,234,567.9    -1,234.56] 1000
(format t "[%.2n|%.0n]%n" 999.999 -1000)
; expect: [1,000.00|-1,000]
; A hostile width is bounded, not refused when it fits.
(str-length (format nil "%1000d" 1))
; expect: 1000
; No user text ever reaches the C formatter as a format.
(format t "%s%n" "%n%s%x")
; expect: %n%s%x
