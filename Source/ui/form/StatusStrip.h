// The strip of labels around the panes: one title per pane above its cell,
// the status labels beside the current pane's title (MIC, SPK, MD, LED, REC)
// and the format labels (resolution and codec) below the current pane.
#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <array>
#include <vector>

#include "pane/PaneStatus.h"

class QLabel;
class QWidget;


namespace strip {

inline const QColor kBackground{74, 132, 107};
inline const QColor kTitleText{255, 255, 255};
inline const QColor kCurrentTitleText{125, 255, 126};

// The alias, or when it is empty or "0" the address (or "0").
QString TitleText(const PaneStatus& s);
// A title shows while the pane's render runs and it is past idle.
bool TitleShown(const PaneStatus& s);
bool MicShown(const PaneStatus& s);
bool SpeakerShown(const PaneStatus& s);
bool MotionShown(const PaneStatus& s);
bool FlashShown(const PaneStatus& s);
bool RecordingShown(const PaneStatus& s);
// A title's text colour: light green for the current pane, red for a pane
// that records (light red when not current), else white.
QColor TitleColour(const PaneStatus& s, bool current);
// "MJPEG", "MPEG4", "H.264"; "QVGA", "ZOOM", "VGA"; empty for other values.
QString CodecName(int codec);
QString ResolutionName(int resolution);

}  // namespace strip

class StatusStrip {
 public:
  enum Status { kMic, kSpeaker, kMotion, kFlash, kRecording, kStatusCount };

  // Creates the hidden labels on |form|: one title per pane, the status and
  // the format labels.
  StatusStrip(QWidget* form, int paneCount);

  // Places and fills one pane's title (|cell| is its rectangle); a pane
  // |covered| by an enlarged one shows none.
  void SetTitle(int index, const QRect& cell, int titleWidth, const PaneStatus& s, bool current, bool covered = false);
  // The status and format labels of the current pane at |cell|.
  void SetCurrent(const QRect& cell, int titleWidth, const PaneStatus& s);

  QLabel* Title(int index) const { return titles_[static_cast<std::size_t>(index)]; }
  // The whole title text (the label may show it shortened).
  QString TitleText(int index) const { return texts_[static_cast<std::size_t>(index)]; }
  QLabel* StatusLabel(Status which) const { return status_[which]; }
  QLabel* CodecLabel() const { return codec_; }
  QLabel* ResolutionLabel() const { return resolution_; }

 private:
  std::vector<QLabel*> titles_;
  std::vector<QString> texts_;
  std::array<QLabel*, kStatusCount> status_{};
  QLabel* codec_ = nullptr;
  QLabel* resolution_ = nullptr;
};
