// One snapshot of a pane as the main form shows it: its connection, picture,
// sound and recording switches and the names in its sign-in panel. The pane
// builds it (ViewerSession::Status) on the UI thread; the title strip, the
// status labels and the side panel all read the same snapshot.
#pragma once

#include <QString>

struct PaneStatus {
  int state = 0;
  int group = 0;
  int model = 0;
  int codec = 0;
  int resolution = 0;
  bool renderStarted = false;
  bool listening = false;
  bool talking = false;
  int volume = 0;   // the camera speaker's volume
  // A manual recording (with its file, or slides) or a reservation with its
  // file open: never shown without something being written.
  bool recording = false;
  bool alarmRecording = false;  // an alarm clip is being written
  bool motionOn = false;
  bool flashOn = false;
  QString alias;    // the alias edit
  QString address;  // the address edit
};
