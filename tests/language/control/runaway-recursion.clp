; A recursion without end becomes an error the program can catch, and the
; session goes on. Which call meets the limit depends on the build.
(deffunction down (?n) (+ 1 (down (+ ?n 1))))
(try (down 0)
 catch
  (if (str-index "Function calls nested too deeply at " ?__ERROR)
   then (printout t "caught" crlf)
   else (printout t "unexpected: " ?__ERROR crlf)))
; expect: caught
(printout t "still running" crlf)
; expect: still running
