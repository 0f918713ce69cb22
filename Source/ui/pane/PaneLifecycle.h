// The moments of a pane's connection that its parts follow. The session
// (ViewerSession) tells every part that subscribes, in one fixed order (see
// ViewerSession::Lifecycle), instead of calling each part by name:
//   - OnLive: the camera plays; the picture's format is known.
//   - OnConnectionEnded: the picture of this connection ends (log-out, a
//     reconnection, a new picture format, a new bit rate); parts close what
//     belongs to the connection and keep what the user chose.
//   - OnTick: once a second, connected or not.
// Parts are told on the UI thread.
#pragma once

enum class ConnectionEnd {
  kLogOut,      // the user (or a refusal) ended the session
  kReconnect,   // the connection dropped or stalled; a reconnection follows
  kNewFormat,   // the camera changed the picture's codec or size
  kNewQuality,  // the camera changed the picture's bit rate; the picture goes on
};

class PaneLifecycle {
 public:
  virtual ~PaneLifecycle() = default;
  virtual void OnLive() {}
  virtual void OnConnectionEnded(ConnectionEnd /*why*/) {}
  // |tickCounter| counts the pane's seconds 0..59.
  virtual void OnTick(int /*tickCounter*/) {}
};
