; deffunctions, return, try and throw.
(deffunction first-even ($?numbers)
  (foreach ?n ?numbers
    (if (= (mod ?n 2) 0) then (return ?n)))
  none)
(first-even 3 5 8 9 10)
; expect: 8
(first-even 1 3)
; expect: none
(deffunction fact (?n)
  (if (<= ?n 1) then 1 else (* ?n (fact (- ?n 1)))))
(printout t "10! = " (fact 10) crlf)
; expect: 10! = 3628800
(try
  (printout t "in the body" crlf)
  (throw "something broke")
  (printout t "not reached" crlf)
 finally
  (printout t "finally runs" crlf)
 catch
  (printout t "caught: " ?__ERROR crlf))
; expect: in the body
; expect: finally runs
; expect: caught: something broke
(try (div 1 0) catch (printout t ?__ERROR crlf))
; expect: Division by zero in div function call
