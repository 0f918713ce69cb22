// What a part of a pane (its sound, its camera controls, its recordings
// and snapshots, its alarms and schedule) may use of the pane's connection:
// the slot and its state, the stored settings, the picture's render, the
// link, and the pane's boxes and messages. ViewerSession provides it; a part
// holds a reference for its whole life (parts are members of the session and
// die before it). UI thread unless a method says otherwise.
#pragma once

#include <cstdint>

#include <QString>

#include "base/MRegistry.h"

class MVideoRender;
class PaneLink;
struct LoginInfo;
struct VideoFormat;

class PaneContext {
 public:
  virtual ~PaneContext() = default;
  virtual int Slot() const = 0;
  virtual int State() const = 0;  // any thread
  virtual int Group() const = 0;  // any thread
  virtual const LoginInfo& Info() const = 0;
  // The login record's working switches (flash, flips, sensor, output) are
  // kept up to date in place by the parts that change them.
  virtual LoginInfo& EditInfo() = 0;
  virtual const VideoFormat& Format() const = 0;
  virtual const SettingsKey& Settings() const = 0;
  virtual MVideoRender& Render() = 0;
  virtual PaneLink& Link() = 0;
  // Stores and announces a state (stateChanged, then 1025 where designed).
  virtual void ChangeState(int state) = 0;
  // A box of the pane (modeless closes itself; modal waits); any thread.
  virtual void Box(int messageId, int kind, bool modal) = 0;
  // The same with |detail| on a line of its own after the message
  // (messageId 0: the detail alone).
  virtual void Box(int messageId, int kind, bool modal, const QString& detail) = 0;
  virtual void CloseBox() = 0;  // any thread
  // 1025 to the main form; any thread.
  virtual void PostStatus() = 0;
  // A command the pane posts to itself (33003 log-out).
  virtual void PostCommand(int id) = 0;
  // The motion or sensor switch or count changed: the pane's labels follow.
  virtual void AlarmLabelsChanged() = 0;
  // Listening went on or off (a recording file follows with or without sound).
  virtual void ListeningChanged() = 0;
  // Motion detection was switched off, or a manual recording takes the file:
  // a running alarm clip ends.
  virtual void EndAlarmRecording() = 0;
  // Motion detection is on (the camera switches' state).
  virtual bool MotionDetectionOn() const = 0;
  // A manual, scheduled or alarm recording runs: the pictures must keep
  // coming even while the pane cannot be seen.
  virtual bool RecordingAny() const = 0;
  // Whether the pane can be seen (false while the program is in the tray).
  virtual bool PaneShown() const = 0;
};
