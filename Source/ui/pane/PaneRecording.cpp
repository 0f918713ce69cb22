#include "pane/PaneRecording.h"

#include <cerrno>
#include <cstring>

#include "StringTable.h"

#include "base/MRegistry.h"
#include "base/base.h"
#include "MessageRouter.h"
#include "pane/PaneAudioVideo.h"
#include "pane/PaneConstants.h"
#include "pane/PaneContext.h"
#include "video/MVideoRender.h"

namespace {

constexpr int kStartFailedBox = 20111;
constexpr int kSnapshotSavedBox = 20052;
constexpr int kSnapshotFailedBox = 20053;

}  // namespace

PaneRecording::PaneRecording(PaneContext& pane, PaneAudioVideo& audio, LocalClock clock, FreeSpaceProbe freeSpace)
    : pane_(pane), audio_(audio), recorder_(pane, audio, std::move(clock), std::move(freeSpace)) {}

// The recorder closes whatever file is still open and lets the directory go.
PaneRecording::~PaneRecording() = default;

void PaneRecording::Register(MessageRouter& router) {
  // The saved notice says where the picture went.
  router.Register(WM_SNAPSHOT_DONE, [this](WindowMessageEvent&) {
    pane_.Box(kSnapshotSavedBox, kBoxNotice, true, QString::fromStdString(lastSnapshot_));
  });
  router.Register(WM_SNAPSHOT_FAILED, [this](WindowMessageEvent&) { pane_.Box(kSnapshotFailedBox, kBoxError, true); });
}

bool PaneRecording::ShowsRecording() const {
  const RecordHolder holder = recorder_.Holder();
  return (recording_.load() && (slideInterval_.load() != 0 || holder == RecordHolder::kManual)) ||
         (reservation_.load() && holder == RecordHolder::kReservation);
}

bool PaneRecording::RecordingAny() const {
  return recording_.load() || reservation_.load() || recorder_.Holder() != RecordHolder::kNone;
}

void PaneRecording::ResumeVideo() {
  if (audio_.VideoPaused()) audio_.SetVideoPaused(0);
}

void PaneRecording::PauseVideoIfHidden() {
  if (!pane_.PaneShown() && !RecordingAny()) audio_.SetVideoPaused(1);
}

int PaneRecording::Begin(bool video) {
  if (video) {
    if (!live_) {
      // The file needs the live picture's format.
      LogMessage("%s:%d (not live)\r\n", LOGPOS);
      pane_.Box(kStartFailedBox, kBoxError, false);
      return 0;
    }
    if (recorder_.Open(RecordHolder::kManual) != 1) {
      TellStartFailed();
      return 0;
    }
  }
  if (recorder_.HoldDirectory(RecordHolder::kManual) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    recorder_.Close(RecordHolder::kManual);
    return 0;
  }
  return 1;
}

int PaneRecording::End() {
  recorder_.Close(RecordHolder::kManual);
  if (recorder_.ReleaseDirectory(RecordHolder::kManual) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  return 1;
}

int PaneRecording::SetRecording(int on, int interval, int save) {
  // The user's own start (the stored choice changes with it) always says
  // why it failed; a start the program makes says it once.
  userAsked_ = save != 0;
  if (on && !recording_.load()) {
    // The user's own recording wins: a reservation (running or waiting for
    // its file) and an alarm clip end first.
    if (reservation_.load() && SetReservationRecording(0, 0) != 1) return 0;
    if (TakesOver(RecordHolder::kManual, recorder_.Holder())) pane_.EndAlarmRecording();
    if (Begin(interval == 0) != 1) return 0;
  } else if (!on && recording_.load()) {
    if (End() != 1) return 0;
  }
  if (suspended_ == RecordHolder::kManual) suspended_ = RecordHolder::kNone;
  if (on) told_.clear();
  const bool was = recording_.exchange(on != 0);
  slideInterval_.store(on ? interval : 0);
  if (save) {
    WriteSettingDword(pane_.Settings(), settings::kRecordEnable, on ? 1 : 0);
    WriteSettingDword(pane_.Settings(), settings::kRecordInterval, interval);
  }
  if (on && !was) ResumeVideo();
  if (!on && was) PauseVideoIfHidden();
  return 1;
}

int PaneRecording::OpenReservationFile() {
  userAsked_ = false;
  if (recorder_.Open(RecordHolder::kReservation) != 1) {
    TellStartFailed();
    return 0;
  }
  if (recorder_.HoldDirectory(RecordHolder::kReservation) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    recorder_.Close(RecordHolder::kReservation);
    return 0;
  }
  ResumeVideo();
  return 1;
}

void PaneRecording::CloseReservationFile() {
  recorder_.Close(RecordHolder::kReservation);
  if (recorder_.ReleaseDirectory(RecordHolder::kReservation) != 1) LogMessage("%s:%d\r\n", LOGPOS);
}

int PaneRecording::SetReservationRecording(int on, int save) {
  if (on && !reservation_.load()) {
    if (recording_.load()) {
      LogMessage("%s:%d (manual recording runs)\r\n", LOGPOS);
      return 0;
    }
    if (recorder_.Holder() == RecordHolder::kAlarm) {
      // The clip keeps its file; the next minute's check tries again.
      LogMessage("%s:%d (alarm clip runs)\r\n", LOGPOS);
      return 0;
    }
    // Not live: the file opens at the next live start, with that picture's
    // format.
    if (live_ && OpenReservationFile() != 1) return 0;
  } else if (!on && reservation_.load()) {
    recorder_.Close(RecordHolder::kReservation);
    if (recorder_.ReleaseDirectory(RecordHolder::kReservation) != 1) {
      LogMessage("%s:%d\r\n", LOGPOS);
      return 0;
    }
  }
  if (suspended_ == RecordHolder::kReservation) suspended_ = RecordHolder::kNone;
  const bool was = reservation_.exchange(on != 0);
  if (!recording_.load()) slideInterval_.store(0);
  if (save) WriteSettingDword(pane_.Settings(), settings::kRecordInterval, 0);
  if (!on && was) PauseVideoIfHidden();
  return 1;
}

PaneRecording::ClipStart PaneRecording::StartAlarmFile() {
  // A manual recording or a reservation keeps its file.
  if (recording_.load() || reservation_.load() || recorder_.FileOpen()) return ClipStart::kRefused;
  if (recorder_.HoldDirectory(RecordHolder::kAlarm) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return ClipStart::kNoDirectory;
  }
  if (recorder_.Open(RecordHolder::kAlarm) != 1) {
    userAsked_ = false;
    TellStartFailed();
    return ClipStart::kNoFile;
  }
  // A clip of a minimised program still needs its pictures.
  ResumeVideo();
  return ClipStart::kStarted;
}

void PaneRecording::EndAlarmFile() {
  recorder_.Close(RecordHolder::kAlarm);
  if (recorder_.ReleaseDirectory(RecordHolder::kAlarm) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return;
  }
  // The program went to the tray during the clip: its pictures pause again
  // like the other panes'.
  PauseVideoIfHidden();
}

void PaneRecording::Abandon(RecordHolder who) {
  if (who == RecordHolder::kManual) {
    recording_.store(false);
    recorder_.ReleaseDirectory(RecordHolder::kManual);
  } else if (who == RecordHolder::kReservation) {
    // The scheduler sees it stopped and starts it again at the next check.
    reservation_.store(false);
    recorder_.ReleaseDirectory(RecordHolder::kReservation);
  } else if (who == RecordHolder::kAlarm) {
    pane_.EndAlarmRecording();
  }
  userAsked_ = false;
  TellStartFailed();
  pane_.PostStatus();
}

void PaneRecording::TellStartFailed() {
  // The folder and, where the system said, why.
  QString detail = QString::fromStdString(recorder_.PaneDir());
  if (recorder_.OpenError() != 0) detail += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(recorder_.OpenError()));
  if (!userAsked_ && detail == told_) return;  // said once already
  told_ = detail;
  pane_.Box(kStartFailedBox, kBoxError, false, detail);
}

void PaneRecording::CheckDisk() {
  const RecordHolder holder = recorder_.Holder();
  if (holder == RecordHolder::kNone) return;
  const int writeError = recorder_.WriteError();
  if (writeError == 0 && recorder_.FreeBytes() >= PaneRecorder::kDiskReserveBytes) return;
  Suspend(holder, writeError != 0 ? writeError : ENOSPC);
}

void PaneRecording::Suspend(RecordHolder holder, int error) {
  const std::string dir = recorder_.PaneDir();
  LogMessage("%s:%d recording stopped (%d: %s) (%s)\r\n", LOGPOS, error, std::strerror(error), dir.c_str());
  if (holder == RecordHolder::kAlarm) {
    pane_.EndAlarmRecording();  // closes the clip's own file
  } else {
    recorder_.Close(holder);
    suspended_ = holder;
  }
  if (!toldSuspended_) {
    toldSuspended_ = true;
    const UiText text = error == ENOSPC || error == EDQUOT ? UiText::kRecordingDiskFull : UiText::kRecordingWriteFailed;
    pane_.Box(0, kBoxError, false, QString::fromUtf8(UiString(text)) + QLatin1Char('\n') + QString::fromStdString(dir));
  }
  pane_.PostStatus();
}

void PaneRecording::TryResume(const LocalTime& now, int period) {
  const bool wanted = suspended_ == RecordHolder::kManual ? recording_.load() && slideInterval_.load() == 0
                                                          : reservation_.load();
  if (!wanted || !live_) {
    suspended_ = RecordHolder::kNone;
    return;
  }
  // At the next period's first second, and only with room for a file.
  if (now.second != 0 || !PeriodSplitDue(recorder_.FileStart(), now, period)) return;
  if (recorder_.FreeBytes() < PaneRecorder::kDiskResumeBytes) return;
  if (recorder_.Open(suspended_) != 1) return;
  LogMessage("%s:%d recording resumed (%s)\r\n", LOGPOS, recorder_.CurrentFile().c_str());
  suspended_ = RecordHolder::kNone;
  toldSuspended_ = false;
  pane_.PostStatus();
}

void PaneRecording::CheckRecordPeriod(int tickCounter) {
  // The file a split replaced closes once the next one took over; a file is
  // closed while still whole when the disk fills or a write fails.
  recorder_.Poll();
  CheckDisk();
  if (!recording_.load() && !reservation_.load()) return;
  const int interval = slideInterval_.load();
  if (recording_.load() && interval != 0) {
    if (SlideDue(tickCounter, interval)) SaveSlide(recorder_.Now());
    return;
  }
  const LocalTime now = recorder_.Now();
  if (suspended_ != RecordHolder::kNone) {
    bool adjusted = false;
    TryResume(now, RecordPeriodMinutes(ReadSettingDword(pane_.Settings(), settings::kRecordPeriod), &adjusted));
    return;
  }
  // Only a file of the manual recording or of the reservation is split; a
  // reservation waiting for the live picture has none.
  const RecordHolder holder = recorder_.Holder();
  if (holder != RecordHolder::kManual && holder != RecordHolder::kReservation) return;
  const LocalTime& start = recorder_.FileStart();
  if (now.minute == start.minute && now.hour == start.hour && now.day == start.day) return;
  bool adjusted = false;
  const int period = RecordPeriodMinutes(ReadSettingDword(pane_.Settings(), settings::kRecordPeriod), &adjusted);
  if (adjusted) LogMessage("%s:%d (period %d)\r\n", LOGPOS, period);
  if (!PeriodSplitDue(start, now, period)) return;
  // The holder's next file replaces its own; the directory stays registered.
  // A disk too full for the next file suspends the recording until there
  // is room again.
  if (recorder_.Open(holder) != 1) {
    if (recorder_.OpenError() == ENOSPC) {
      Suspend(holder, ENOSPC);
    } else {
      Abandon(holder);
    }
  }
}

void PaneRecording::SaveSlide(const LocalTime& t) {
  const std::string hourDir = HourDir(PaneRecordDir(recorder_.RecordDir(), pane_.Slot()), t);
  CreateDirectories(hourDir);
  pane_.Render().RequestSnapshot(SlideFilePath(hourDir, t), 0);
}

int PaneRecording::CaptureSnapshot() {
  const LocalTime t = recorder_.Now();
  lastSnapshot_ = SnapshotFilePath(recorder_.CaptureDir(), pane_.Slot(), t);
  pane_.Render().RequestSnapshot(lastSnapshot_, 1);
  return 1;
}

void PaneRecording::OnListeningChanged() {
  const RecordHolder holder = recorder_.Holder();
  if (holder == RecordHolder::kNone) return;
  if (recorder_.Reopen() != 1) Abandon(holder);
}

void PaneRecording::OnLive() {
  live_ = true;
  int on = ReadSettingDword(pane_.Settings(), settings::kRecordEnable);
  int interval = ReadSettingDword(pane_.Settings(), settings::kRecordInterval);
  if (interval < 0 || interval > 60) {
    LogMessage("%s:%d (interval %d)\r\n", LOGPOS, interval);
    interval = ClampSlidePeriod(interval);  // a slide period the choice box could have stored
  }
  if (pane_.MotionDetectionOn() && pane_.Group() == 0) on = 0;
  SetRecording(on, interval, 0);
  if (reservation_.load() && recorder_.Holder() != RecordHolder::kReservation && OpenReservationFile() != 1) {
    // The scheduler sees it stopped and starts it again at the next check.
    reservation_.store(false);
    pane_.PostStatus();
  }
}

void PaneRecording::OnConnectionEnded(ConnectionEnd) {
  live_ = false;
  suspended_ = RecordHolder::kNone;
  // The manual recording stops without changing the stored switch; the
  // reservation stays on without a file until the next live start.
  SetRecording(0, 0, 0);
  if (reservation_.load()) CloseReservationFile();
}
