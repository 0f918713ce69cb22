// bench_viewer: the viewer's main window as tessora-viewer starts it, plus
// the counters the whole-viewer benchmark reads. It takes the surface family
// on its command line and answers on standard output, one line each:
//
//   cell I X Y W H   where pane I's picture is on the screen (once shown)
//   live SECONDS     every pane is live (once, seconds since start)
//   mark ...         on SIGUSR1: the counters so far (see PrintCounters)
//   record on=N      with --record DIR: every pane live, each pane's record
//                    directory set to DIR and its manual recording started
//                    (N panes writing a file); SIGUSR2 stops the recordings
//                    ("record off=N", N panes still writing) and starts them
//                    again, in turn
//   final ...        on SIGTERM or SIGINT (recordings stopped first, so their
//                    files are complete), then the program ends
//
// Counters, summed over the panes. The frame counts are the queues' and
// renders' own running totals; the UI thread samples every 40 ms only for
// the deepest queue and for when every pane is live.
//   sent      camera frames that reached the panes' queues: queued, dropped
//             because the queue was full, or discarded for a broken stream
//   accepted  frames queued
//   taken     frames the render threads took out of the queues
//   presented pictures the render threads converted and handed to the
//             surface
//   skipped   frames taken but not presented (decode failed, no picture
//             from the decoder yet, display off)
//   shown     pictures that reached the screen: repaints of the pane's view
//             for the RGB kinds, frames given to the video widget's sink for
//             the YUV kinds (pictures handed over while the previous one is
//             still pending share its repaint, so they count once)
//   overflow  frames dropped because a queue was full
//   discarded frames dropped while waiting for a key frame or out of sequence
//   keywait   times a live queue fell back to waiting for a key frame
//   yuv       panes whose pictures go through the video widget
//   kind      the surface kind every pane used last (0 none yet, -1 mixed)
//   depth     the deepest queue seen
//   recording panes writing a file (the manual recording)
// Message boxes are answered at once (logged on standard error): the
// benchmark runs without a sound server, as mpv runs without sound.
#include <QApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QTimer>
#include <QVideoSink>
#include <QVideoWidget>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include <sys/socket.h>
#include <unistd.h>

#include "InstanceRegistry.h"
#include "form/MFormView.h"
#include "pane/MViewer.h"
#include "MainWindow.h"
#include "controls/MessageBoxes.h"
#include "StartUp.h"
#include "pane/ViewerSession.h"
#include "base/MRegistry.h"
#include "base/base.h"
#include "video/MFrameQueue.h"
#include "video/MVideoRender.h"

// Set by the build when the panes choose their surfaces by family.
#ifdef BENCH_SURFACE_FAMILIES
#include "video/SurfaceChoice.h"
#endif

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int sig) {
  const char c = static_cast<char>(sig);
  [[maybe_unused]] const ssize_t n = write(g_signalPipe[1], &c, 1);
}

// Counts the repaints of pane views that show RGB pictures.
class PaintCounter : public QObject {
 public:
  using QObject::QObject;
  long paints = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      auto* view = qobject_cast<VideoView*>(watched);
      if (view != nullptr && !view->ShowsYuv()) ++paints;
    }
    return QObject::eventFilter(watched, event);
  }
};

// Answers every box at once with its first button and logs it.
class AnsweringPresenter : public BoxPresenter {
 public:
  int Present(const BoxRequest& request, QWidget*) override {
    std::fprintf(stderr, "bench_viewer: box %d answered\n", request.messageId);
    return 1;
  }
};

struct Totals {
  std::uint64_t sent = 0, accepted = 0, taken = 0, presented = 0, skipped = 0;
  std::uint64_t overflows = 0, discarded = 0, keyWaits = 0;
  int kind = 0;
};

class Counters : public QObject {
 public:
  // |recordDir| not empty: once every pane is live, each records into it.
  Counters(MFormView* form, std::chrono::steady_clock::time_point start, std::string recordDir)
      : form_(form), start_(start), recordDir_(std::move(recordDir)) {
    for (int i = 0; i < form_->PaneCount(); ++i) form_->Pane(i)->View()->installEventFilter(&paints_);
    connect(&sample_, &QTimer::timeout, this, [this] { Sample(); });
    sample_.start(40);
  }

  void PrintCells() {
    for (int i = 0; i < form_->PaneCount(); ++i) {
      QWidget* v = form_->Pane(i)->View();
      const QPoint at = v->mapToGlobal(QPoint(0, 0));
      std::printf("cell %d %d %d %d %d\n", i, at.x(), at.y(), v->width(), v->height());
    }
    std::fflush(stdout);
  }

  void Print(const char* what) {
    Sample();
    const Totals t = Sum();
    long yuv = 0;
    for (int i = 0; i < form_->PaneCount(); ++i) yuv += form_->Pane(i)->View()->ShowsYuv() ? 1 : 0;
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::printf("%s time=%.3f panes=%d live=%d yuv=%ld kind=%d sent=%llu accepted=%llu taken=%llu presented=%llu "
                "skipped=%llu shown=%ld overflow=%llu discarded=%llu keywait=%llu depth=%d recording=%d\n",
                what, secs, form_->PaneCount(), LivePanes(), yuv, t.kind, U(t.sent), U(t.accepted), U(t.taken),
                U(t.presented), U(t.skipped), paints_.paints + sinkFrames_, U(t.overflows), U(t.discarded),
                U(t.keyWaits), depth_, FilesOpen());
    std::fflush(stdout);
  }

  // Starts (|on|) or stops every pane's manual recording of video files, as
  // the pane's record button does without storing the choice, and says how
  // many panes write a file afterwards.
  void SetRecording(bool on) {
    if (recordDir_.empty() || on == recordOn_) return;
    recordOn_ = on;
    for (int i = 0; i < form_->PaneCount(); ++i) {
      PaneRecording& recording = form_->Pane(i)->Session().Recording();
      if (recording.SetRecording(on ? 1 : 0, 0, 0) != 1) {
        std::fprintf(stderr, "bench_viewer: pane %d did not %s recording\n", i, on ? "start" : "stop");
      }
    }
    std::printf("record %s=%d\n", on ? "on" : "off", FilesOpen());
    std::fflush(stdout);
  }
  void ToggleRecording() { SetRecording(!recordOn_); }

 private:
  static unsigned long long U(std::uint64_t v) { return static_cast<unsigned long long>(v); }

  Totals Sum() {
    Totals t;
    for (int i = 0; i < form_->PaneCount(); ++i) {
      MVideoRender& render = form_->Pane(i)->Session().Render();
      const int kind = render.SurfaceKind();
      if (i == 0) {
        t.kind = kind;
      } else if (kind != t.kind) {
        t.kind = -1;
      }
      t.presented += render.FramesPresented();
      t.skipped += render.FramesSkipped();
      const MFrameQueue* queue = render.Queue();
      if (queue == nullptr) continue;
      t.accepted += queue->FramesAccepted();
      t.taken += queue->FramesTaken();
      t.overflows += queue->Overflows();
      t.discarded += queue->FramesDiscarded();
      t.keyWaits += queue->KeyFrameWaits();
    }
    t.sent = t.accepted + t.overflows + t.discarded;
    return t;
  }

  int FilesOpen() const {
    int open = 0;
    for (int i = 0; i < form_->PaneCount(); ++i) open += form_->Pane(i)->Session().Recording().FileOpen() ? 1 : 0;
    return open;
  }

  int LivePanes() const {
    int live = 0;
    for (int i = 0; i < form_->PaneCount(); ++i) {
      if (form_->Pane(i)->Session().State() >= kPaneLive) ++live;
    }
    return live;
  }

  // The video widget of a view is made when its first YUV surface is.
  void WatchSinks() {
    for (int i = 0; i < form_->PaneCount(); ++i) {
      for (QVideoWidget* w : form_->Pane(i)->View()->findChildren<QVideoWidget*>()) {
        QVideoSink* sink = w->videoSink();
        if (sink == nullptr || std::find(sinks_.begin(), sinks_.end(), sink) != sinks_.end()) continue;
        sinks_.push_back(sink);
        connect(sink, &QVideoSink::videoFrameChanged, this, [this](const QVideoFrame& frame) {
          if (frame.isValid()) ++sinkFrames_;
        });
      }
    }
  }

  void Sample() {
    WatchSinks();
    for (int i = 0; i < form_->PaneCount(); ++i) {
      const MFrameQueue* queue = form_->Pane(i)->Session().Render().Queue();
      if (queue != nullptr) depth_ = std::max(depth_, queue->Count());
    }
    if (!liveSaid_ && form_->PaneCount() > 0 && LivePanes() == form_->PaneCount()) {
      liveSaid_ = true;
      const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
      std::printf("live %.3f\n", secs);
      std::fflush(stdout);
      if (!recordDir_.empty()) {
        const QString dir = QString::fromStdString(recordDir_);
        for (int i = 0; i < form_->PaneCount(); ++i) {
          if (WriteSettingString(form_->Pane(i)->Session().Settings(), settings::kRecordDir, dir) != 1) {
            std::fprintf(stderr, "bench_viewer: pane %d: record directory not stored\n", i);
          }
        }
        SetRecording(true);
      }
    }
  }

  MFormView* form_;
  std::chrono::steady_clock::time_point start_;
  PaintCounter paints_;
  std::vector<QVideoSink*> sinks_;
  long sinkFrames_ = 0;
  int depth_ = 0;
  QTimer sample_;
  bool liveSaid_ = false;
  const std::string recordDir_;
  bool recordOn_ = false;  // the panes were last told to record
};

int Usage() {
  std::fprintf(stderr, "usage: bench_viewer [--surface rgb|yuv|designed] [--probe] [--record DIR]\n"
                       "  --probe       exit 0 when this build has the family, 3 when not\n"
                       "  --record DIR  once every pane is live, every pane records video files into DIR;\n"
                       "                SIGUSR2 stops and restarts the recordings in turn\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const auto start = std::chrono::steady_clock::now();
  const char* surface = "designed";
  bool probe = false;  // only tell (by the exit status) whether the family exists
  std::string recordDir;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--surface") == 0 && i + 1 < argc) {
      surface = argv[++i];
    } else if (std::strcmp(argv[i], "--record") == 0 && i + 1 < argc && argv[i + 1][0] != '\0') {
      recordDir = argv[++i];
    } else if (std::strcmp(argv[i], "--probe") == 0) {
      probe = true;
    } else {
      return Usage();
    }
  }
#ifdef BENCH_SURFACE_FAMILIES
  if (std::strcmp(surface, "rgb") == 0) {
    SetSurfaceFamily(SurfaceFamily::RgbOnly);
  } else if (std::strcmp(surface, "yuv") == 0) {
    SetSurfaceFamily(SurfaceFamily::YuvOnly);
  } else if (std::strcmp(surface, "designed") == 0) {
    SetSurfaceFamily(SurfaceFamily::Designed);
  } else {
    return Usage();
  }
#else
  // Only the RGB surfaces exist in this build.
  if (std::strcmp(surface, "yuv") == 0) {
    std::fprintf(stderr, "bench_viewer: this build has no YUV surfaces\n");
    return 3;
  }
  if (std::strcmp(surface, "rgb") != 0 && std::strcmp(surface, "designed") != 0) return Usage();
#endif
  if (probe) return 0;
  std::printf("surface %s\n", surface);

  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);

  if (socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) return 1;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGUSR1, &sa, nullptr);
  sigaction(SIGUSR2, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);

  AnsweringPresenter presenter;
  SetBoxPresenter(&presenter);

  // As tessora-viewer starts.
  InstanceRegistry registry;
  const StartDecision decision = DecideInstance(registry);
  if (!decision.start) return 1;
  const GlobalSettings settings = StartProcess(decision.instance);

  // Panes sign in a quarter of a second apart (the viewer waits longer);
  // the measured window starts once every pane is live.
  FormOptions options;
  options.autoSignInStep = std::chrono::milliseconds(250);
  auto window = std::make_unique<MainWindow>(decision.instance, settings, options);
  window->show();

  Counters counters(window->Form(), start, recordDir);
  QTimer::singleShot(500, &counters, [&counters] { counters.PrintCells(); });

  QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
    char c = 0;
    if (read(g_signalPipe[0], &c, 1) != 1) return;
    if (c == SIGUSR1) {
      counters.Print("mark");
      return;
    }
    if (c == SIGUSR2) {
      counters.ToggleRecording();
      return;
    }
    // Recordings end before the counters, so every file is closed when the
    // benchmark reads them.
    counters.SetRecording(false);
    counters.Print("final");
    app.quit();
  });
  const int rc = app.exec();
  window.reset();
  SetBoxPresenter(nullptr);
  return rc;
}
