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
//
// Consumers. Whatever the event thread hands data to belongs to a pane and is
// registered per slot in a LinkConsumer entry (LinkConsumer.h): the window
// target (PrepareLink / UnregisterWindow), the frame sink (SetFrameSink /
// ClearFrameSink), the audio sink (SetAudioSink / ClearAudioSink) and the
// setup windows (SetupReplyTargets). Unregistering returns only once the
// event thread can no longer reach the consumer, so its owner may free it
// right after. CloseLink unregisters all three of the slot's own consumers;
// a pane that goes away must have called CloseLink (or the Clear calls)
// first. Talk-back goes the other way: the capture thread sends through the
// slot's TalkBackSender, which writes only on the audio connection that was
// open when BeginTalkBack was called.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "base/TimedLock.h"
#include "base/WindowTarget.h"
#include "link/LinkConsumer.h"
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
  LinkConsumer<FrameSink> frameSink;           // video consumer, set by VIDEO PLAY
  LinkConsumer<AudioSink> audioSink;           // audio consumer, set by MIC PLAY
  // Talk-back (audio channel): on while the capture thread may send, for the
  // connection |talkBackGeneration| only. Both written under io.
  std::atomic<bool> talkBack{false};
  std::atomic<std::uint32_t> talkBackGeneration{0};
  std::atomic<int> slot{-1};
  std::atomic<std::uint32_t> generation{0};
  std::atomic<bool> abandon{false};  // set at shutdown: readers stop waiting for data
  // Video reader: a broken start code was met and the next start code has not
  // been found yet; the search goes on at the next read event.
  std::atomic<bool> resyncing{false};
  // The generation of the connection whose close the viewer asked for (see
  // ExpectChannelClose); 0 for none. Written under io.
  std::atomic<std::uint32_t> closeExpected{0};
};

struct LinkRecord {
  // ids: guarded by idLock (written by the window thread and the slot's thread).
  std::mutex idLock;
  char DTID[kLinkIdSize] = "TESSORA";
  char STID[kLinkIdSize] = "";
  // address and port: guarded by lock (written by PrepareLink).
  char address[16] = "";
  int port = 0;
  LinkConsumer<WindowTarget> window;  // the pane's window target
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
// and the millisecond tick count, then the camera address, port and window
// (registered as the slot's window target).
int PrepareLink(int slot, WindowTarget* window, const char* address, int port);

// Connects one channel within 2 seconds and registers it with the slot's event
// thread. Returns 1 on success, 0 on failure (logged; socket left -1).
int ConnectChannel(const char* address, PHD* phd, SelectEventSet* set, int port, int type);

// Results of SendControlMessage and of every request built on it. Anything
// but kSendOk is a failure: callers test "!= kSendOk" (or "!= 1").
inline constexpr int kSendOk = 1;             // handed to the socket in one call
inline constexpr int kSendFailed = 0;         // send error, bad slot, message too long
inline constexpr int kSendNotConnected = -1;  // no control connection: nothing was sent

// Sends header + body + "\n\n" on the control channel in one call (a partial
// send is not retried). Returns kSendOk, kSendFailed on a send error, or
// kSendNotConnected without sending when the slot has no control connection
// (never opened, closed by the camera or by CloseLink, also when it closes
// during the call), so that a caller does not take a command for done.
int SendControlMessage(int slot, const char* body);

// Sends raw bytes on a channel (one call, under the channel's io lock).
// Returns the bytes sent or -1 (errno set; ENOTSOCK when the channel is closed).
long SendOnChannel(PHD& phd, const void* data, std::size_t size);

// Closes the three channels and unregisters the window, frame sink and audio
// sink (waiting for the event thread to let go of them).
void CloseLink(int slot);
// Closes the audio channel and unregisters the audio sink (waiting likewise).
void CloseAudioChannel(int slot);
void ResetChannel(PHD* phd);

// A request of the viewer's that may make the camera close the channel
// (VIDEO STOP, CLOSE): the close of the connection open now is then the
// viewer's doing and is not reported. ReportChannelClose undoes it (VIDEO
// PLAY); a new connection is reported anyway.
void ExpectChannelClose(PHD* phd);
void ReportChannelClose(PHD* phd);

// Handles pending data on one channel: runs the reader for its TYPE and the
// close handling (the camera closing a channel is posted to the slot's
// window: WM_CONTROL_CLOSED, WM_VIDEO_CLOSED, WM_AUDIO_CLOSED). |hangup| tells that the peer has closed or the socket has an
// error. Returns 1 when data is left for another call at once, 2 when bytes
// wait that do not yet complete a message or frame (look again shortly), else
// 0 (wait for new data).
int ProcessEventSelection(PHD* phd, bool hangup = false);

// The camera's id for messages of this slot (a copy, taken under idLock).
void CopyLinkIds(int slot, char stid[kLinkIdSize], char dtid[kLinkIdSize]);
void SetLinkDtid(int slot, const char* dtid);

// The slot's consumers (see the top of this file). Acquire* give a guard that
// is empty when none is registered; the Clear/Unregister calls wait for the
// guards taken before them (except on the slot's event thread).
ConsumerGuard<WindowTarget> AcquireWindow(int slot);
void RegisterWindow(int slot, WindowTarget* window);
void UnregisterWindow(int slot);
void SetFrameSink(int slot, FrameSink* sink);
void ClearFrameSink(int slot);
void SetAudioSink(int slot, AudioSink* sink);
void ClearAudioSink(int slot);

// Talk-back on the slot's audio channel. BeginTalkBack ties the sender to the
// audio connection open now (0 when none is open); EndTalkBack, a reset or a
// new connection unties it. The sender returns the bytes sent, or -1 with
// errno (ENOTSOCK once the connection it was tied to is gone).
int BeginTalkBack(int slot);
void EndTalkBack(int slot);
// The slot's sender lives as long as the program.
TalkBackSender* SlotTalkBack(int slot);
