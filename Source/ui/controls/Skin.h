// The program's skin, drawn in code: the look of the bitmap resources (box
// backgrounds, icons, buttons) at their designed sizes.
#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QSize>

namespace skin {

// Verdana bold (or the nearest sans bold), height 13, with Hangul fallback.
QFont BoldFont();
QFont PlainFont();

// The message box background (resource 906): its size is the box's size.
inline constexpr QSize kBoxSize{340, 200};
QPixmap BoxBackground();

// Box icons: 800 notice, 801 question, 802 warning, 803 error; 44 x 77.
QPixmap BoxIcon(int iconId);

// The font a labelled face of |size| draws |label| in.
QFont ButtonFont(const QSize& size, const QString& label);
// A push button face in one of its states, with a label.
enum class ButtonState { Normal, Pressed, Hover, Disabled };
QPixmap ButtonFace(const QSize& size, const QString& label, ButtonState state);

// A check box face, 13 x 13.
enum class CheckState { Off, On, Disabled };
QPixmap CheckFace(CheckState state);

// The drop button of a combo box, 20 x 21, with its arrow.
inline constexpr QSize kDropButtonSize{20, 21};
QPixmap DropButtonFace(ButtonState state);

// Track bar pieces: the groove behind the travel, the filled part of the
// channel (stretched from the start of the travel to the thumb) and the
// thumb, for a horizontal bar or a vertical one.
QPixmap TrackBackground(const QSize& size);
QColor TrackFill();
QPixmap TrackThumb(bool horizontal);

}  // namespace skin
