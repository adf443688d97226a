; format fills each directive with the next argument.
(format t "%d items%n" 3)
; expect: 3 items
(format t "[%5d|%-5d|%05d]%n" 42 42 -42)
; expect: [   42|42   |-0042]
(format t "[%f|%.2f|%8.3f|%e]%n" 2.5 3.14159 -1.0 12345.678)
; expect: [2.500000|3.14|  -1.000|1.234568e+04]
(format t "[%g|%g]%n" 0.0001 1234567.0)
; expect: [0.0001|1.23457e+06]
(format t "[%x|%X|%u]%n" 255 255 -1)
; expect: [ff|FF|4294967295]
(format t "[%s|%10s|%-6s|%.3s]%n" "text" right left truncated)
; expect: [text|     right|left  |tru]
(format t "%n")
; expect:
; Integers fill float directives and floats integer ones.
(format t "%.1f %d%n" 7 7.9)
; expect: 7.0 7
; Grouped thousands: n and m, two decimals unless told.
(format t "%.2n|%.0n|%m%n" 1234567.891 1234567.891 -9876.5)
; expect: 1,234,567.89|1,234,568|-9,876.50
