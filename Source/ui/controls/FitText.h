#pragma once

// Captions in one line at the largest size that fits their control: a box
// designed for one font may be too narrow for the font a system has, and a
// caption is never cut. Each caption keeps its font family and weight and
// only steps down in size.

#include <QFont>
#include <QString>

class QWidget;

namespace fit {

// Smallest size a caption steps down to, in pixels.
inline constexpr int kMinPixelSize = 7;

// The widget property that holds the pixel size a fitted caption was
// designed at (its font may be smaller).
inline constexpr char kDesignedSizeProperty[] = "designedPixelSize";

// A labelled face keeps this much of its width free on each side for its
// rounded border.
inline constexpr int kFaceBorder = 2;

// The width |text| takes in |font|: its widest line.
int TextWidth(const QFont& font, const QString& text);

// |designed| itself when |text| fits |width| pixels; otherwise the same font
// at the largest smaller size at which it fits (at least kMinPixelSize).
QFont FittingFont(const QFont& designed, const QString& text, int width);

// Whether |text| word-wrapped to |area|'s width fits |area| in |font|: no
// word wider than the area, no line below its bottom.
bool WrappedFits(const QFont& font, const QString& text, const QSize& area);

// |designed| itself when |text| word-wrapped fits |area|; otherwise the same
// font at the largest smaller size at which it does (at least kMinPixelSize).
QFont FittingWrappedFont(const QFont& designed, const QString& text, const QSize& area);

// The width a widget's caption may take: a check box's or radio button's
// text beside its indicator, a label's contents, a push button's face less
// its border. |text| is what the widget shows.
int CaptionWidth(const QWidget* widget, const QString& text);

// Gives |widget| the largest size of |designed| at which |text| fits its
// caption width now.
void FitCaption(QWidget* widget, const QFont& designed, const QString& text);

// Gives |widget| |fitted|, the size of |designed| its caption fits at, and
// notes the designed size in kDesignedSizeProperty.
void SetFittedFont(QWidget* widget, const QFont& designed, const QFont& fitted);

}  // namespace fit
