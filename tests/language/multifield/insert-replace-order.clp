; Several new items go into a list in the order they are given.
(insert$ (create$ a b c) 1 x y)
; expect: a x y b c
(insert$ (create$ a b c) 0 x y z)
; expect: x y z a b c
(insert$ (create$ a b c) 3 x y)
; expect: a b c x y
(replace$ (create$ a b c) 1 1 x y)
; expect: a x y c
(replace$ (create$ a b c d) 0 2 x y z w)
; expect: x y z w d
; An index past the end is refused before anything is inserted.
(try (insert$ (create$ a) 5 x y) catch (printout t ?__ERROR crlf))
; expect: List index out of bounds (5)
