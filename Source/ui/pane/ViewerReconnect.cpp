// The pane's recovery from a lost or stalled connection: the watchdog that
// notices a picture that stopped coming, and the reconnect thread that signs
// in again with the last sign-in's values until the camera plays again or the
// user logs out. One reconnection runs at a time.
#include <QString>

#include "base/base.h"
#include "pane/PaneLink.h"
#include "pane/ViewerSession.h"

void ViewerSession::RestartStallCount() {
  stallCounter_ = 1;
  MFrameQueue* queue = render_.Queue();
  lastFrameCount_ = queue != nullptr ? queue->LastAcceptedSequence() : 0;
}

void ViewerSession::StallWatchdog() {
  // A reconnection under way has its own pace: the watchdog waits for the
  // render it starts (a camera that never acknowledges PLAY must not start a
  // second reconnection over the first).
  if (audio_.VideoPaused() || maintenance_.UpdateInProgress() || reconnecting_.load() != 0) {
    stallCounter_ = 1;
    return;
  }
  if (state_.load() < kPaneVideoOpen) return;
  MFrameQueue* queue = render_.Queue();
  if (queue == nullptr) {
    stallCounter_ = 1;
    return;
  }
  const std::uint32_t last = queue->LastAcceptedSequence();
  if (last == lastFrameCount_) {
    --stallCounter_;
  } else {
    lastFrameCount_ = last;
    stallCounter_ = 1;
  }
  if (stallCounter_ < 0) StartReconnect();
}

void ViewerSession::StartReconnect() {
  // One reconnection at a time: the running one signs in again until the
  // camera answers or the user logs out.
  if (reconnecting_.load() != 0) return;
  const std::uint64_t epoch = epoch_.load();
  SetState(kPaneReconnecting);
  EndConnection(ConnectionEnd::kReconnect);
  StopRender();
  host_->ShowSignInPanel(false);
  {
    std::lock_guard<std::mutex> hold(bannerMutex_);
    banner_ = QStringLiteral("Reconnecting");
  }
  host_->RepaintPane();
  host_->PostToParent(WM_PANE_STATUS, slot_, 0);
  // A previous thread was told to end (reconnecting 0) and ends at its next
  // look; wait for it so that one thread per pane runs.
  if (reconnectThread_.joinable()) reconnectThread_.join();
  reconnecting_.store(1);
  try {
    reconnectThread_ = std::thread(&ViewerSession::ReconnectThread, this, epoch);
  } catch (...) {
    reconnecting_.store(0);
    LogMessage("%s:%d\r\n", LOGPOS);
  }
}

void ViewerSession::ReconnectThread(std::uint64_t epoch) {
  int dots = 0;
  auto current = [this, epoch] { return reconnecting_.load() != 0 && epoch_.load() == epoch; };
  while (current()) {
    if (SignInAgain(epoch) == 1) {
      bool done = false;
      for (int i = 0; i < 5 && !done; ++i) {
        std::this_thread::sleep_for(reconnectStep_);
        const int s = state_.load();
        done = s > kPaneVideoOpen || s == kPaneIdle || !current();
      }
      if (done) break;
    } else {
      if (!current()) break;  // logged out meanwhile: nothing more to show
      {
        std::lock_guard<std::mutex> hold(bannerMutex_);
        banner_ = QStringLiteral("Reconnecting") + QString(dots, QLatin1Char('.'));
      }
      Repaint();
      PostStatus();
      std::this_thread::sleep_for(reconnectStep_);
      dots = (dots + 1) % 5;
    }
  }
  reconnecting_.store(0);
}
