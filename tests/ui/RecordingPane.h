// A live pane on a fake link and a fake clock recording into a test's
// folder, for the recording tests: the clock moves only when the test says,
// and Run() advances it second by second with the pane's tick.
#pragma once

#include <memory>
#include <string>

#include "FakePaneLink.h"
#include "base/HDDManager.h"
#include "base/Schedule.h"
#include "pane/ViewerSession.h"
#include "video/Convert.h"
#include "video/VideoSurface.h"

// A clock the test sets.
struct FakeClock {
  LocalTime now{2009, 10, 21, 13, 56, 56};
  LocalClock Clock() {
    return [this] { return now; };
  }
};

inline bool RegisteredWithDiskManager(const std::string& dir) {
  for (int i = 0; i < HDDManager::kEntries; ++i) {
    const HDDManager::EntryView e = HDDManager::Instance().Entry(i);
    if (e.inUse && e.dir == dir) return true;
  }
  return false;
}

struct RecordingPane {
  FakePaneLink link;
  FakeClock clock;
  BufferSurface surface{kKindRGB32};
  std::unique_ptr<ViewerSession> s;
  // Bytes the fake disk has free.
  std::uint64_t freeBytes = std::uint64_t{1} << 40;
  explicit RecordingPane(const std::string& records, int settingsIndex = 0, ViewerHost* host = nullptr) {
    SessionOptions o;
    o.link = &link;
    o.clock = clock.Clock();
    o.freeSpace = [this](const std::string&) { return freeBytes; };
    o.realClock = [this] {
      return (LocalToFiletime(clock.now) - LocalToFiletime({1970, 1, 1, 0, 0, 0})) / 10000000;
    };
    s = std::make_unique<ViewerSession>(0, settingsIndex, &surface, host, nullptr, o);
    WriteSettingString(s->Settings(), settings::kRecordDir, QString::fromStdString(records));
  }
  PaneRecording& Rec() { return s->Recording(); }
  // The next |seconds| seconds of the fake clock: the pane's once-a-second
  // tick, or only the recording's part of it (the fake camera sends no
  // pictures, so more than 9 ticks would reconnect the pane).
  int tick = 0;
  void Run(int seconds, bool wholeTick = false) {
    for (int i = 0; i < seconds; ++i) {
      LocalTime& t = clock.now;
      if (++t.second == 60) {
        t.second = 0;
        if (++t.minute == 60) {
          t.minute = 0;
          ++t.hour;
        }
      }
      tick = (tick + 1) % 60;
      if (wholeTick) {
        s->Tick();
      } else {
        Rec().CheckRecordPeriod(tick);
      }
    }
  }
};
