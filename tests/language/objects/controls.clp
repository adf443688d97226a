; Controls get a parent; an object the engine made without an owner stays
; until freed or until the engine goes (freed with it, no leak).
(bind ?panel (create-component TControl (get-component)))
; expect: <External-Address: TControl>
(set-property ?panel Name panel)
; expect: TRUE
(bind ?button (create-component (get-class TControl) (get-component) ?panel))
; expect: <External-Address: TControl>
(get-property (get-property ?button Parent) Name)
; expect: "panel"
; Freeing the parent leaves the control without one.
(free-object ?panel)
; expect: TRUE
(eq (get-property ?button Parent) nil)
; expect: TRUE
(set-property ?button Parent ?button)
; expect-error: Cannot set property Parent of class TControl: A control cannot be placed inside itself
