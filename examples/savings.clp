; A first knowledge base for Deducer: a savings plan.
;
; It shows what the engine runs today: global settings, functions written
; in CLIPS, multifields, loops, error handling and formatted output.
; Run it with ./scripts/run.sh, or build/release/deducer examples/savings.clp.

; The settings of the plan.
(defglobal ?*rate* = 0.04          ; yearly interest
           ?*deposit* = 1200.0     ; paid in at the end of every year
           ?*goal* = 10000.0)

; The balance after one more year: interest on what is there, plus the deposit.
(deffunction next-balance (?balance)
  (+ (* ?balance (+ 1 ?*rate*)) ?*deposit*))

; The balances year by year until the goal is reached, as a multifield.
(deffunction plan ()
  (bind ?balances (create$))
  (bind ?balance 0.0)
  (while (< ?balance ?*goal*) do
    (bind ?balance (next-balance ?balance))
    (bind ?balances (insert$ ?balances (length$ ?balances) ?balance)))
  ?balances)

; A table of the plan.
(deffunction report (?balances)
  (format t "Saving %.2f a year at %.1f%% to reach %.2f%n" ?*deposit* (* 100 ?*rate*) ?*goal*)
  (format t "%-6s %12s%n" "Year" "Balance")
  (bind ?year 0)
  (foreach ?balance ?balances
    (bind ?year (+ ?year 1))
    (format t "%-6d %12.2f%n" ?year ?balance))
  (printout t "The goal is reached after " ?year " years." crlf))

(report (plan))

; Errors are values to handle, not crashes.
(deffunction years-to-double (?rate)
  (try
    (div 72 (integer (* 100 ?rate)))
   catch
    (printout t "No plan at a rate of " ?rate ": " ?__ERROR crlf)
    FALSE))

(printout t "At 4% money doubles in about " (years-to-double 0.04) " years." crlf)
; A call at top level echoes its result (here FALSE, after the message).
(years-to-double 0.001)
