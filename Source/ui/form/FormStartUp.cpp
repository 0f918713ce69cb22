#include "form/FormStartUp.h"

#include <QGuiApplication>
#include <exception>
#include <mutex>

#include "base/CAMManager.h"
#include "base/HDDManager.h"
#include "base/base.h"
#include "video/Convert.h"

int StartVideoFramework() {
  GetColourTables();  // built once, before the first picture is converted
  if (QGuiApplication::primaryScreen() == nullptr) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  return 1;
}

void StartDiskSpaceManager() {
  try {
    HDDManager::Instance().StartDiskManager();
  } catch (const std::exception&) {
    LogMessage("%s:%d\r\n", LOGPOS);  // no housekeeping runs
  }
}

CAMManager& LanSearch() {
  static CAMManager manager;
  return manager;
}

int StartLanSearch() {
  static std::once_flag once;
  static int started = 0;
  std::call_once(once, [] {
    started = LanSearch().Start();
    if (started != 1) LogMessage("%s:%d\r\n", LOGPOS);
  });
  return started;
}

bool AutoSignInThread::Start(std::vector<int> panes, std::chrono::milliseconds step, Hooks hooks) {
  try {
    thread_ = std::thread(&AutoSignInThread::Run, this, std::move(panes), step, std::move(hooks));
  } catch (const std::exception&) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return false;
  }
  return true;
}

void AutoSignInThread::Stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void AutoSignInThread::Run(std::vector<int> panes, std::chrono::milliseconds step, Hooks hooks) {
  bool first = true;
  for (int pane : panes) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (stop_) return;
    }
    if (first && hooks.openNotice) hooks.openNotice();
    first = false;
    if (hooks.signIn) hooks.signIn(pane);
    std::unique_lock<std::mutex> hold(lock_);
    if (wake_.wait_for(hold, step, [this] { return stop_; })) return;
  }
  if (hooks.finish) hooks.finish();
}
