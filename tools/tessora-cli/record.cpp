// record: sign in, start the video through the viewer's render (and with
// --audio the camera's sound by MIC PLAY), write N seconds into an AVI file
// with the viewer's recorder, close the file (also on SIGINT/SIGTERM), sign
// out.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavutil/log.h>
}

#include "CliSession.h"
#include "Commands.h"
#include "base/avxxx.h"
#include "link/CameraCommands.h"
#include "link/KeyValue.h"
#include "link/LinkMessages.h"
#include "link/MediaStream.h"
#include "video/Convert.h"
#include "video/MVideoRender.h"
#include "video/VideoSurface.h"

namespace cli {

namespace {

constexpr int kReplyWaitMs = 5000;
constexpr int kMaxSeconds = 24 * 3600;
// One audio block of the recorder: 40 ms of mu-law at 8000 Hz. The recorder
// advances its audio clock by 40 ms per block, so only whole blocks go in.
constexpr int kAudioBlockBytes = 320;

// Set by the signal handler, read by the waiting loop.
std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int signo) { g_stopSignal.store(signo); }

// Catches SIGINT and SIGTERM while alive, so the file gets its index; the
// previous handlers come back on destruction.
class StopSignals {
 public:
  StopSignals() {
    g_stopSignal.store(0);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
  }
  ~StopSignals() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  struct sigaction oldInt_ {};
  struct sigaction oldTerm_ {};
};

// Between the render / audio reader and the AVI writer: counts what was
// written and keeps video out until the first key frame, so the file starts
// decodable.
class CountingRecorder : public MediaRecorder {
 public:
  explicit CountingRecorder(avxxx* file) : file_(file) {}
  int WriteVideo(int size, const std::uint8_t* data, int keyFrame, int durationMs) override {
    if (!started_.load() && keyFrame == 0) return 0;
    started_.store(true);
    const int rc = file_->WriteVideo(size, data, keyFrame, durationMs);
    if (rc == 1) {
      frames_.fetch_add(1);
      videoMs_.fetch_add(durationMs);
      bytes_.fetch_add(size);
    }
    return rc;
  }
  int WriteAudio(const std::uint8_t* data, int size) override {
    const int rc = file_->WriteAudio(data, size);
    if (rc == 1) {
      audioBlocks_.fetch_add(1);
      bytes_.fetch_add(size);
    }
    return rc;
  }
  // True once the first key frame went in.
  bool Started() const { return started_.load(); }
  int Frames() const { return frames_.load(); }
  int AudioBlocks() const { return audioBlocks_.load(); }
  // The playing time of the pictures written, by their own durations (a
  // stall adds no time), and the payload bytes of pictures and sound.
  long long VideoMs() const { return videoMs_.load(); }
  long long Bytes() const { return bytes_.load(); }

 private:
  avxxx* const file_;
  std::atomic<bool> started_{false};  // set by the render thread, read by the audio reader
  std::atomic<int> frames_{0};
  std::atomic<int> audioBlocks_{0};
  std::atomic<long long> videoMs_{0};
  std::atomic<long long> bytes_{0};  // written by the render and the audio reader
};

// The camera's sound straight into the recorder, without a sound device:
// the link's audio reader pushes whatever arrived; whole 40 ms blocks are
// written as they fill. Sound that arrives before the first recorded picture
// is dropped, so both clocks of the file start together (the recorder pulls
// the video clock towards the audio clock). The buffer belongs to the reader
// thread.
class AudioToRecorder : public AudioSink {
 public:
  explicit AudioToRecorder(CountingRecorder* recorder) : recorder_(recorder) {}
  int PushReceived(const std::uint8_t* bytes, int count) override {
    if (bytes == nullptr || count <= 0) return 0;
    if (!enabled_.load() || !recorder_->Started()) return count;  // consumed, not recorded
    int taken = 0;
    while (taken < count) {
      const int n = std::min(count - taken, kAudioBlockBytes - fill_);
      std::memcpy(block_ + fill_, bytes + taken, static_cast<std::size_t>(n));
      fill_ += n;
      taken += n;
      if (fill_ == kAudioBlockBytes) {
        recorder_->WriteAudio(block_, kAudioBlockBytes);
        fill_ = 0;
      }
    }
    return count;
  }
  // Off before the file closes; a block in flight meets the closed recorder,
  // which refuses it.
  void Disable() { enabled_.store(false); }

 private:
  CountingRecorder* const recorder_;
  std::atomic<bool> enabled_{true};
  // --- audio reader thread only ---
  std::uint8_t block_[kAudioBlockBytes] = {};
  int fill_ = 0;
};

// Starts the camera's sound into |sink|. Prints what failed.
bool StartSound(Session& session, AudioSink* sink) {
  Message reply;
  if (OpenAudioStream(Session::kSlot) < 0 ||
      !session.window().Wait({WM_ASTREAM_OPENED, WM_ASTREAM_REFUSED, WM_CONTROL_CLOSED}, kReplyWaitMs, &reply) ||
      reply.message != WM_ASTREAM_OPENED) {
    std::fprintf(stderr, "error: the camera did not open the audio channel\n");
    return false;
  }
  if (CameraSoundOn(Session::kSlot, sink) != 1 ||
      !session.window().Wait({WM_MIC_PLAY_ACK, WM_MIC_PLAY_NAK, WM_CONTROL_CLOSED}, kReplyWaitMs, &reply) ||
      reply.message != WM_MIC_PLAY_ACK) {
    std::fprintf(stderr, "error: the camera did not start its sound\n");
    return false;
  }
  return true;
}

// Waits until the file holds |seconds| of pictures, a stop signal, the
// camera closing, or no progress: no first picture within the first wait,
// or the pictures lagging the clock by more than the grace (a stall).
// Shows the progress on a terminal. Returns the reason.
enum class EndReason { kDone, kSignal, kClosed, kNoVideo, kStalled };

// How far the written pictures may lag the clock since the first one: the
// render's buffering plus a hiccup.
constexpr int kStallGraceMs = 3000;

EndReason WaitRecording(Session& session, const CountingRecorder& counter, int seconds, bool showProgress) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto firstFrameDeadline = start + std::chrono::milliseconds(kReplyWaitMs * 2);
  const long long wantedMs = static_cast<long long>(seconds) * 1000;
  Clock::time_point recordingSince{};
  ProgressLine progress(showProgress);
  for (;;) {
    if (g_stopSignal.load() != 0) return EndReason::kSignal;
    Message message;
    if (session.window().Wait({WM_CONTROL_CLOSED, WM_CAMERA_CLOSE}, 100, &message)) return EndReason::kClosed;
    const auto now = Clock::now();
    if (recordingSince == Clock::time_point{}) {
      if (counter.Frames() > 0) {
        recordingSince = now;
      } else if (now > firstFrameDeadline) {
        return EndReason::kNoVideo;
      }
      continue;
    }
    const long long written = counter.VideoMs();
    progress.Show("recording: %lld/%d s, %.1f MB, %d frames", written / 1000, seconds,
                  static_cast<double>(counter.Bytes()) / 1e6, counter.Frames());
    if (written >= wantedMs) return EndReason::kDone;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - recordingSince).count();
    if (elapsed > wantedMs + kStallGraceMs) return EndReason::kStalled;
  }
}

}  // namespace

int RunRecord(int argc, char** argv) {
  const Arguments args = ParseArguments(argc, argv, SignInOptionsAnd({"--seconds"}), {"--audio", "--progress"});
  Target target;
  if (!CheckArguments(args, 2) || !ReadTarget(args, 0, &target)) return kBadArguments;
  if (args.positional.size() < 2) {
    std::fprintf(stderr, "error: the output file is missing\n");
    return kBadArguments;
  }
  int seconds = 0;
  if (!args.Has("--seconds") || !ParseInt(args.Get("--seconds"), &seconds) || seconds < 1 ||
      seconds > kMaxSeconds) {
    std::fprintf(stderr, "error: --seconds N (1 to %d) is needed\n", kMaxSeconds);
    return kBadArguments;
  }
  const std::string out = args.positional[1];
  const bool withAudio = args.Has("--audio");
  av_log_set_level(AV_LOG_ERROR);  // the muxer's stream dump is not for the user

  StopSignals signals;
  // The file, the counter, the audio adapter and the render outlive the
  // session: the link stops feeding them when the session closes.
  avxxx file;
  CountingRecorder counter(&file);
  AudioToRecorder audio(&counter);
  BufferSurface surface(kKindRGB32);
  MVideoRender render(&surface);
  render.SetDisplay(0);  // frames are recorded and paced, not shown
  Session session;
  if (const int signedIn = session.SignIn(target); signedIn != kOk) return signedIn;

  VideoFormat format;
  if (!ReadVideoFormat(session, &format)) return kFailed;
  const int codecId = avxxx::CodecIdForVcodec(format.codec);
  if (codecId < 0 || format.width <= 0 || format.height <= 0) {
    std::fprintf(stderr, "error: cannot record VCODEC %d at %dx%d\n", format.codec, format.width,
                 format.height);
    return kFailed;
  }

  Message reply;
  if (OpenVideoStream(Session::kSlot) != 1 ||
      !session.window().Wait({WM_VSTREAM_OPENED, WM_VSTREAM_REFUSED, WM_CONTROL_CLOSED}, kReplyWaitMs, &reply) ||
      reply.message != WM_VSTREAM_OPENED) {
    std::fprintf(stderr, "error: the camera did not open the video channel\n");
    return kFailed;
  }
  if (file.Open(format.height, format.width, out.c_str(), codecId,
                avxxx::BitRateForQuality(format.quality)) != 1) {
    std::fprintf(stderr, "error: cannot create %s\n", out.c_str());
    return kFailed;
  }
  if (render.Start(&format, &session.window()) != 1) {
    std::fprintf(stderr, "error: cannot play VCODEC %d at %dx%d\n", format.codec, format.width,
                 format.height);
    file.Close();
    return kFailed;
  }
  render.SetRecorder(&counter);
  if (withAudio && !StartSound(session, &audio)) {
    render.Stop();
    file.Close();
    return kFailed;
  }
  if (StartVideo(Session::kSlot, render.Queue()) != 1 ||
      !session.window().Wait({WM_VIDEO_PLAY_ACK, WM_VIDEO_PLAY_NAK, WM_CONTROL_CLOSED}, kReplyWaitMs, &reply) ||
      reply.message != WM_VIDEO_PLAY_ACK) {
    std::fprintf(stderr, "error: the camera did not start the video\n");
    render.Stop();
    audio.Disable();
    file.Close();
    return kFailed;
  }
  RequestKeyFrame(Session::kSlot);

  const EndReason reason = WaitRecording(session, counter, seconds, args.Has("--progress"));

  // The render thread ends before the file closes; the audio reader may
  // still deliver a block, which the closed file refuses.
  StopVideo(Session::kSlot);
  if (withAudio) CameraSoundOff(Session::kSlot);
  render.Stop();
  render.SetRecorder(nullptr);
  audio.Disable();
  const int frames = counter.Frames();
  const int blocks = counter.AudioBlocks();
  const double writtenSeconds = static_cast<double>(counter.VideoMs()) / 1000.0;
  file.Close();

  if (frames == 0) {
    std::fprintf(stderr, "error: no video arrived; %s holds no pictures\n", file.Path().c_str());
    return kFailed;
  }
  switch (reason) {
    case EndReason::kClosed:
    case EndReason::kStalled:
      std::fprintf(stderr, "error: %s holds only %.1f of %d s (%d frames): the camera %s\n", file.Path().c_str(),
                   writtenSeconds, seconds, frames,
                   reason == EndReason::kClosed ? "closed the connection" : "stopped sending video");
      return kShort;
    case EndReason::kSignal:
      std::fprintf(stderr, "stopped by signal %d\n", g_stopSignal.load());
      break;
    case EndReason::kNoVideo:
    case EndReason::kDone:
      break;
  }
  std::printf("saved %s: %d frames, %.1f s", file.Path().c_str(), frames, writtenSeconds);
  if (withAudio) std::printf(", %d audio blocks (%.2f s)", blocks, blocks * 0.04);
  std::printf("\n");
  return kOk;
}

}  // namespace cli
