// Every key the program answers, each with what it does: the About box lists
// them in this order. A feature that gives a key a meaning adds its line
// here when the key works, with its two texts in StringTableUi.cpp.
#pragma once

#include "StringTable.h"

struct ProgramKey {
  UiText key;   // the key's name
  UiText what;  // what it does
};

inline constexpr ProgramKey kProgramKeys[] = {
    {UiText::kKeyEnter, UiText::kKeyEnterWhat},
    {UiText::kKeyEscape, UiText::kKeyEscapeWhat},
    {UiText::kKeyWheel, UiText::kKeyWheelWhat},
};
