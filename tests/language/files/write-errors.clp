; Writes the system refuses (a full device) are reported, never passed for
; success: printout to the file raises, close raises, dribble-off answers
; FALSE. Each stream is closed all the same.
(open "/dev/full" full "w")
; expect: full
(try (printout full "lost" crlf) catch (printout t ?__ERROR crlf))
; expect: Stream write error on "/dev/full". No space left on device
(try (format full "%d%n" 1) catch (printout t ?__ERROR crlf))
; expect: Stream write error on "/dev/full". No space left on device
(try (close full) catch (printout t ?__ERROR crlf))
; expect: Stream write error on "/dev/full". No space left on device
; The name is free again.
(try (close full) catch (printout t ?__ERROR crlf))
; expect: Invalid stream name: full
; close without names closes every file, and reports a lost write once all
; are closed.
(open "/dev/full" full "w")
; expect: full
(open "good.txt" good "w")
; expect: good
(printout good "kept" crlf)
(try (printout full "lost" crlf) catch (printout t "printout failed" crlf))
; expect: printout failed
(try (close) catch (printout t ?__ERROR crlf))
; expect: Stream write error on "/dev/full". No space left on device
(open "good.txt" good)
; expect: good
(readline good)
; expect: "kept"
(close)
; expect: TRUE
; Captured output that never reached the file.
(dribble-on "/dev/full")
(printout t "lost" crlf)
(dribble-off)
; expect: FALSE
(dribble-on "capture.txt")
(dribble-off)
; expect: TRUE
