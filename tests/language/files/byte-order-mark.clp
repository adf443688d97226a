; This file starts with a UTF-8 byte order mark, as some editors write:
; it is skipped, not read (and echoed) as a word.
(printout t "first line" crlf)
; expect: first line
