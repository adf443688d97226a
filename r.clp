(defrule r => (printout t "new r" crlf))
