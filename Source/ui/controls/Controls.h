// The skinned controls, one family: each is a Qt widget drawn in code by the
// skin (Skin.h) at its designed size, identified by a control id, and tells
// its parent about what the person did through signals carrying that id:
//   MButton         commanded(id) on a click released over it, repeated(id,
//                   message) per repeat of a repeat or long-press button
//   MCheckButton    commanded(id), like MButton; an icon button with an on
//                   state and a busy lock
//   MCheckBox       commanded(id) on a release (ignored while busy); the
//                   owner toggles it with SetCheck; MCheckBoxGroup makes a
//                   set of them radio buttons
//   MComboBox       opened(id), closed(id), chosen(id, index), in that order
//                   for a choice
//   MListBox        chosen(id, index) (the combo's list)
//   MEdit           edited(id); GetText(fallback)
//   MStatic         (no notices)
//   MTrackBar       released(id, value) when the button is let go
//   MListViewCtrl   chosen(id, row)
//   MStaticPanTilt  step(PtzStep) per repeat while held and on release
// Controls never toggle or act on their own: the parent decides. Timing of
// holds is HoldRepeater's, with an injectable clock; the arithmetic is in
// ControlMath.h.
#pragma once

#include "controls/ControlMath.h"
#include "controls/HoldRepeater.h"
#include "controls/MButton.h"
#include "controls/MCheckBox.h"
#include "controls/MCheckButton.h"
#include "controls/MComboBox.h"
#include "controls/MEdit.h"
#include "controls/MListBox.h"
#include "controls/MListViewCtrl.h"
#include "controls/MStatic.h"
#include "controls/MStaticPanTilt.h"
#include "controls/MTrackBar.h"
#include "controls/Skin.h"
