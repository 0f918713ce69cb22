// The simulator's network side: one event loop (poll) serving every camera's
// control, video and audio connections, the admin port and standard input,
// and the LAN search responder. Single-threaded: all state below belongs to
// the thread that calls Run (Stop and the command queue are the only entries
// from other threads).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camsim/Config.h"
#include "camsim/EventLog.h"
#include "camsim/SetupStore.h"
#include "camsim/StreamLoop.h"

class KeyValueList;

namespace camsim {

using Clock = std::chrono::steady_clock;

enum class ConnKind { kUnknown, kControl, kVideo, kAudio, kAdmin };

struct Conn {
  int fd = -1;
  ConnKind kind = ConnKind::kUnknown;
  int camera = -1;
  bool closing = false;
  std::string in;   // received, not yet handled
  std::string out;  // control or admin text not yet sent

  // Control connection (the session).
  int sessionNumber = 0;
  std::string sessionId;   // our STID; the viewer's DTID after sign-in
  std::string viewerId;    // the viewer's STID; our DTID
  bool signedIn = false;
  int group = 2;
  std::string account;
  bool useMjpeg = false;
  Conn* video = nullptr;
  Conn* audio = nullptr;
  bool videoPlaying = false;
  bool micPlaying = false;
  bool spkPlaying = false;
  Clock::time_point closeAt{};  // a CLOSE was sent: drop the session then

  // Video or audio connection.
  Conn* control = nullptr;
  const StreamLoop* loop = nullptr;
  int position = 0;
  bool keyRequested = true;
  // Video: the number of the last packet sent. Each viewer's stream counts
  // on its own, so that a second viewer of the camera leaves no gaps in the
  // first one's numbers.
  std::uint32_t sequence = 0;
  Clock::time_point nextDue{};
  // The packet being sent: header (with any garbage before it), then payload.
  std::vector<std::uint8_t> head;
  const std::uint8_t* payload = nullptr;
  std::size_t payloadSize = 0;
  std::size_t sent = 0;          // bytes of head + payload already sent
  std::size_t splitAt = 0;       // pause after this many bytes (split fault)
  Clock::time_point pauseUntil{};
  std::uint32_t audioPhase = 0;
};

// The first frame time at or after |now| on a grid of 1/fps seconds shared
// by every stream of that rate, so that all cameras send in one wake-up.
Clock::time_point AlignedDue(Clock::time_point now, int fps);

struct UpdateFlow {
  int step = 0;  // 0 idle; else the last progress code sent
  Conn* session = nullptr;
  Clock::time_point nextAt{};     // when the next progress code is due
  Clock::time_point answerBy{};   // the viewer must answer a question by then
  bool waitingAnswer = false;
};

struct Camera {
  CameraConfig cfg;
  SetupStore setup;
  int port = 0;
  int listenFd = -1;
  int sessions = 0;  // counter for session ids
  LoopKey key;       // the camera's current stream
  std::uint32_t sequence = 0;  // the last video packet's number, of any viewer
  // Faults waiting for the next video packet.
  int refuseNextCode = 0;
  int garbageNext = 0;
  bool oversizeNext = false;
  int gapNext = 0;
  bool splitNext = false;
  Clock::time_point stallUntil{};
  Clock::time_point reopenAt{};  // restart: listening again then
  UpdateFlow update;
  std::FILE* wav = nullptr;
  std::uint32_t wavBytes = 0;
};

class Server {
 public:
  explicit Server(Options options);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Encodes the loops and opens every listening socket. Returns 1, or 0 with
  // a message in |error| (for example a port in use).
  int Start(std::string* error);
  // Runs until Stop. Returns 0.
  int Run();
  // Thread-safe: makes Run return soon.
  void Stop();
  // Runs one admin command line and returns the answer ("OK ..." or "ERR ...").
  // Only on the loop thread, or before Run.
  std::string Command(const std::string& line);
  // Thread-safe: queues a command for the loop thread (tests use it).
  void Post(const std::string& line);

  int CameraPort(int index) const { return cams_[static_cast<std::size_t>(index)]->port; }
  int AdminPort() const { return adminPortBound_; }
  const Camera& camera(int index) const { return *cams_[static_cast<std::size_t>(index)]; }
  int CameraCount() const { return static_cast<int>(cams_.size()); }

 private:
  // Sockets and the loop.
  int Listen(Camera* cam);
  void Accept(int listenFd, Camera* cam);
  void ReadConn(Conn* c);
  void FlushOut(Conn* c);
  void CloseConn(Conn* c);
  void CloseSession(Conn* control);
  void Reap();
  Clock::time_point Tick(Clock::time_point now);
  void HandleInput(Conn* c);
  void HandleAdminInput(Conn* c);
  void ReadStdin();
  void DrainPosted();

  // Media.
  void VideoTick(Conn* v, Clock::time_point now);
  // |late| is how long after its scheduled capture time the frame goes out:
  // the frame is stamped with the capture time, as a camera stamps its
  // frames, so a busy host does not make the stamps jitter.
  void StartPacket(Conn* v, Camera* cam, Clock::duration late);
  void SendPending(Conn* v, Clock::time_point now);
  void AudioTick(Conn* a, Clock::time_point now);
  void ReadAudio(Conn* a);
  const StreamLoop* LoopFor(const Camera& cam, bool mjpeg);
  int ChangeFormat(Camera* cam, VideoKind kind, int width, int height);
  void WriteWav(Camera* cam, const std::uint8_t* data, std::size_t n);

  // Control protocol (Control.cpp).
  void HandleMessage(Conn* c, char* text, std::size_t length);
  void SignIn(Conn* c, const KeyValueList& m);
  void OpenStream(Conn* c, const KeyValueList& m, bool video);
  void ControlCommand(Conn* c, const KeyValueList& m);
  void SetupCommand(Conn* c, const KeyValueList& m);
  void UpdateCommand(Conn* c, const char* mtd);
  void UpdateTick(Camera* cam, Clock::time_point now);
  void SendProgress(Camera* cam, bool ack, int code);
  void Send(Conn* c, const char* text, int length);
  int SignedInCount(const Camera& cam) const;

  // Admin (Admin.cpp).
  void Restart(Camera* cam, int seconds);
  void Broadcast(Camera* cam, const char* cls, const char* mtd, const char* extraKey, int extraValue);

  // LAN search (Search.cpp).
  int OpenSearch(std::string* error);
  void ReadSearch();

  Options options_;
  EventLog events_;
  LoopCache loops_;
  std::vector<std::unique_ptr<Camera>> cams_;
  std::vector<std::unique_ptr<Conn>> conns_;
  int adminFd_ = -1;
  int adminPortBound_ = 0;
  int searchFd_ = -1;
  int wakeFd_ = -1;  // eventfd: Stop and Post wake the loop
  bool stdinOpen_ = false;
  std::string stdinBuffer_;
  std::vector<std::uint8_t> oversize_;  // the 256001-byte filler, made once
  std::vector<std::uint8_t> tone_;      // one second of the mu-law tone
  std::atomic<bool> stop_{false};
  std::mutex postLock_;                 // guards posted_
  std::vector<std::string> posted_;
};

}  // namespace camsim
