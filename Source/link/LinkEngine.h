// The connection engine: a process-wide table of 16 link slots, one per viewer
// pane. A slot holds up to three TCP channels to one camera (control, video,
// audio) and has its own event thread, Thread_Select, which waits on the
// channels and runs their readers. Outbound traffic is sent from the caller's
// thread.
//
// The event thread waits with epoll, edge-triggered, on the three sockets and
// a stop eventfd (1000 ms wake-up). A reader consumes at most one control
// message or one video frame per call; while data is left after a call that
// made progress the thread calls it again before waiting. A reader that could
// not make progress (incomplete message, no free frame slot) waits for the
// next arrival of data, as a re-enabled read event would.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "base/TimedLock.h"
#include "base/WindowTarget.h"
#include "link/MediaSink.h"

inline constexpr int kLinkSlots = 16;
inline constexpr int kLinkIdSize = 32;
inline constexpr int kConnectTimeoutMs = 2000;
inline constexpr int kSelectWakeMs = 1000;
inline constexpr int kStopWaitMs = 5000;

enum ChannelType : int { kControlChannel = 1, kVideoChannel = 2, kAudioChannel = 3 };

// One channel. The socket number is only used under |io|: a close on another
// thread takes |io| too, so a reader or sender never reaches a socket number
// that was closed and handed out again. |generation| changes at every connect
// and reset, so work started on an older connection notices it is stale.
struct PHD {
  std::mutex io;                               // guards syscalls on socket, and its changes
  std::atomic<int> socket{-1};                 // written under io
  std::atomic<int> event{-1};                  // the slot's epoll set while registered
  std::atomic<int> status{0};                  // 6 connected, 0 reset
  std::atomic<int> TYPE{0};                    // ChannelType, 0 after a reset
  std::atomic<FrameSink*> frameSink{nullptr};  // video consumer, set by VIDEO PLAY
  std::atomic<AudioSink*> audioSink{nullptr};  // audio consumer, set by MIC PLAY
  std::atomic<int> slot{-1};
  std::atomic<std::uint32_t> generation{0};
  std::atomic<bool> abandon{false};  // set at shutdown: readers stop waiting for data
  // Video reader: a broken start code was met and the next start code has not
  // been found yet; the search goes on at the next read event.
  std::atomic<bool> resyncing{false};
};

struct LinkRecord {
  // ids: guarded by idLock (written by the window thread and the slot's thread).
  std::mutex idLock;
  char DTID[kLinkIdSize] = "TESSORA";
  char STID[kLinkIdSize] = "";
  // address and port: guarded by lock (written by PrepareLink).
  char address[16] = "";
  int port = 0;
  std::atomic<WindowTarget*> window{nullptr};
  TimedLock lock;  // the slot lock: PrepareLink, CloseLink, sink registration
  PHD control;
  PHD video;
  PHD audio;
};

// The event thread's state for one slot.
struct SelectEventSet {
  std::atomic<int> running{0};
  int slot = 0;
  int stopEvent = -1;  // eventfd
  int pollSet = -1;    // epoll fd the slot's channels register with
  std::thread thread;
  std::atomic<bool> finished{true};
};

LinkRecord& LinkSlot(int slot);
SelectEventSet& SelectSet(int slot);
bool IsValidSlot(int slot);

// Starts the 16 event threads. Returns 1, or 0 when nothing could start.
int StartLinkEngine();
// Stops one slot's thread (waits up to 5 s, then logs and lets it go) and
// closes its events.
void StopSelectThread(SelectEventSet* set);
// Stops every slot (program end).
void StopLinkEngine();

// Under the slot lock: DTID "TESSORA", a 10 ms pause, STID "%d_%d" of the slot
// and the millisecond tick count, then the camera address, port and window.
int PrepareLink(int slot, WindowTarget* window, const char* address, int port);

// Connects one channel within 2 seconds and registers it with the slot's event
// thread. Returns 1 on success, 0 on failure (logged; socket left -1).
int ConnectChannel(const char* address, PHD* phd, SelectEventSet* set, int port, int type);

// Sends header + body + "\n\n" on the control channel in one call. Returns 1
// when sent, 0 on a send error, 1 without sending when the channel is closed.
int SendControlMessage(int slot, const char* body);

// Sends raw bytes on a channel (one call, under the channel's io lock).
// Returns the bytes sent or -1 (errno set; ENOTSOCK when the channel is closed).
long SendOnChannel(PHD& phd, const void* data, std::size_t size);

void CloseLink(int slot);
void CloseAudioChannel(int slot);
void ResetChannel(PHD* phd);

// Handles pending data on one channel: runs the reader for its TYPE and the
// close handling. |hangup| tells that the peer has closed or the socket has an
// error. Returns 1 when data is left for another call at once, 2 when bytes
// wait that do not yet complete a message or frame (look again shortly), else
// 0 (wait for new data).
int ProcessEventSelection(PHD* phd, bool hangup = false);

// The camera's id for messages of this slot (a copy, taken under idLock).
void CopyLinkIds(int slot, char stid[kLinkIdSize], char dtid[kLinkIdSize]);
void SetLinkDtid(int slot, const char* dtid);

// The window registered for a slot (nullptr when none).
WindowTarget* SlotWindow(int slot);
