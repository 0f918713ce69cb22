#include "pane/PaneRecording.h"

#include "base/HDDManager.h"
#include "base/MRegistry.h"
#include "base/base.h"
#include "MessageRouter.h"
#include "pane/PaneAudioVideo.h"
#include "pane/PaneContext.h"
#include "pane/PaneLink.h"
#include "pane/ViewerSession.h"
#include "video/MVideoRender.h"
#include "video/VideoFormat.h"

namespace {

constexpr int kPathCapacity = 260;
constexpr int kStartFailedBox = 20111;
constexpr int kSnapshotSavedBox = 20052;
constexpr int kSnapshotFailedBox = 20053;

}  // namespace

PaneRecording::PaneRecording(PaneContext& pane, PaneAudioVideo& audio, LocalClock clock)
    : pane_(pane), audio_(audio), clock_(clock ? std::move(clock) : LocalClock(SystemLocalTime)) {
  // Every file is readable from its first frame on.
  recorder_.SetStartWithKeyFrame(true);
}

PaneRecording::~PaneRecording() {
  StopAviFile();
  RegisterRecordDir(false);
}

void PaneRecording::Register(MessageRouter& router) {
  router.Register(WM_SNAPSHOT_DONE, [this](WindowMessageEvent&) { pane_.Box(kSnapshotSavedBox, kBoxNotice, true); });
  router.Register(WM_SNAPSHOT_FAILED, [this](WindowMessageEvent&) { pane_.Box(kSnapshotFailedBox, kBoxError, true); });
}

std::string PaneRecording::DirectoryOf(const settings::TextSetting& setting) {
  QString dir;
  const int read = ReadSettingString(pane_.Settings(), setting, kPathCapacity, &dir);
  if (read != 1 || dir.isEmpty() || dir == QLatin1String(settings::kUnknownDirectory)) {
    const std::string fallback = DefaultDirectory();
    WriteSettingString(pane_.Settings(), setting, QString::fromStdString(fallback));
    if (!CreateDirectories(fallback)) LogMessage("%s:%d (%s)\r\n", LOGPOS, fallback.c_str());
    return fallback;
  }
  return dir.toStdString();
}

std::string PaneRecording::StoredPaneDir() const {
  QString dir;
  const int read = ReadSettingString(pane_.Settings(), settings::kRecordDir, kPathCapacity, &dir);
  const bool unset = read != 1 || dir.isEmpty() || dir == QLatin1String(settings::kUnknownDirectory);
  return PaneRecordDir(unset ? DefaultDirectory() : dir.toStdString(), pane_.Slot());
}

std::string PaneRecording::RecordDir() { return DirectoryOf(settings::kRecordDir); }
std::string PaneRecording::CaptureDir() { return DirectoryOf(settings::kCaptureDir); }

int PaneRecording::RegisterRecordDir(bool on) {
  if (!on) {
    if (!registered_) return 1;  // nothing of ours to let go of
    if (HDDManager::Instance().UnregisterDirectory(paneDir_) != 1) {
      LogMessage("%s:%d (%s)\r\n", LOGPOS, paneDir_.c_str());
      return 0;
    }
    registered_ = false;
    return 1;
  }
  const std::string dir = PaneRecordDir(RecordDir(), pane_.Slot());
  if (registered_ && dir == paneDir_) return 1;
  if (registered_) RegisterRecordDir(false);  // the setting moved
  const unsigned capacityMB =
      ReadSettingDword(pane_.Settings(), settings::kRecordUseAllFreeSpace) != 0
          ? 0u
          : static_cast<unsigned>(ReadSettingDword(pane_.Settings(), settings::kRecordCapacity)) * 1024u;
  if (HDDManager::Instance().RegisterDirectory(dir, capacityMB) != 1) {
    LogMessage("%s:%d (%s)\r\n", LOGPOS, dir.c_str());
    return 0;
  }
  paneDir_ = dir;
  registered_ = true;
  return 1;
}

int PaneRecording::StartAviFile(bool alarm) {
  // Never a second file over one still open.
  if (recorder_.IsOpen()) StopAviFile();
  fileStart_ = clock_();
  const std::string hourDir = HourDir(PaneRecordDir(RecordDir(), pane_.Slot()), fileStart_);
  CreateDirectories(hourDir);  // a failure shows as the open failing
  const std::string path = AviFilePath(hourDir, alarm, fileStart_);
  const VideoFormat& format = pane_.Format();
  const int codecId = avxxx::CodecIdForVcodec(format.codec);
  if (codecId < 0 ||
      recorder_.Open(format.height, format.width, path.c_str(), codecId, avxxx::BitRateForQuality(format.quality)) != 1) {
    LogMessage("%s:%d (%s)\r\n", LOGPOS, path.c_str());
    return 0;
  }
  pane_.Render().SetRecorder(&recorder_);
  if (audio_.MicOn()) {
    audio_.Player().SetRecorder(&recorder_);
    audio_.Player().SetRecording(1);
  }
  currentFile_ = path;
  // The file must begin with a key frame.
  if ((format.codec == kCodecMpeg4 || format.codec == kCodecH264) &&
      pane_.Link().RequestKeyFrame(pane_.Slot()) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    StopAviFile();
    return 0;
  }
  return 1;
}

void PaneRecording::StopAviFile() {
  // The threads let go of the file before it closes.
  audio_.Player().SetRecording(0);
  audio_.Player().SetRecorder(nullptr);
  pane_.Render().SetRecorder(nullptr);
  recorder_.Close();
  currentFile_.clear();
}

int PaneRecording::Begin(bool video) {
  if (video && StartAviFile(false) != 1) {
    pane_.Box(kStartFailedBox, kBoxError, false);
    return 0;
  }
  if (RegisterRecordDir(true) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    StopAviFile();
    return 0;
  }
  return 1;
}

int PaneRecording::End() {
  StopAviFile();
  if (RegisterRecordDir(false) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  return 1;
}

int PaneRecording::SetRecording(int on, int interval, int save) {
  if (on && !recording_.load()) {
    if (Begin(interval == 0) != 1) return 0;
  } else if (!on && recording_.load()) {
    if (End() != 1) return 0;
  }
  recording_.store(on != 0);
  slideInterval_.store(on ? interval : 0);
  if (save) {
    WriteSettingDword(pane_.Settings(), settings::kRecordEnable, on ? 1 : 0);
    WriteSettingDword(pane_.Settings(), settings::kRecordInterval, interval);
  }
  return 1;
}

int PaneRecording::SetReservationRecording(int on, int save) {
  if (on && !reservation_.load()) {
    if (Begin(true) != 1) return 0;
  } else if (!on && reservation_.load()) {
    if (End() != 1) return 0;
  }
  reservation_.store(on != 0);
  slideInterval_.store(0);
  if (save) WriteSettingDword(pane_.Settings(), settings::kRecordInterval, 0);
  return 1;
}

void PaneRecording::CheckRecordPeriod(int tickCounter) {
  if (!recording_.load() && !reservation_.load()) return;
  const int interval = slideInterval_.load();
  if (interval != 0) {
    if (SlideDue(tickCounter, interval)) SaveSlide(clock_());
    return;
  }
  const LocalTime now = clock_();
  if (now.minute == fileStart_.minute && now.hour == fileStart_.hour && now.day == fileStart_.day) return;
  bool adjusted = false;
  const int period = RecordPeriodMinutes(ReadSettingDword(pane_.Settings(), settings::kRecordPeriod), &adjusted);
  if (adjusted) LogMessage("%s:%d (period %d)\r\n", LOGPOS, period);
  if (!PeriodSplitDue(fileStart_, now, period)) return;
  if (reservation_.load()) {
    if (SetReservationRecording(0, 0) == 1) SetReservationRecording(1, 0);
    return;
  }
  if (SetRecording(0, 0, 0) != 1) return;
  if (StartAviFile(false) != 1) {
    pane_.Box(kStartFailedBox, kBoxError, false);
    return;
  }
  if (RegisterRecordDir(true) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    StopAviFile();
    return;
  }
  slideInterval_.store(0);
  recording_.store(true);
}

void PaneRecording::SaveSlide(const LocalTime& t) {
  const std::string hourDir = HourDir(PaneRecordDir(RecordDir(), pane_.Slot()), t);
  CreateDirectories(hourDir);
  pane_.Render().RequestSnapshot(SlideFilePath(hourDir, t), 0);
}

int PaneRecording::CaptureSnapshot() {
  const LocalTime t = clock_();
  pane_.Render().RequestSnapshot(SnapshotFilePath(CaptureDir(), pane_.Slot(), t), 1);
  return 1;
}

void PaneRecording::OnListeningChanged() {
  const bool video = (recording_.load() && slideInterval_.load() == 0) || reservation_.load();
  if (!video || !recorder_.IsOpen()) return;
  StopAviFile();
  if (StartAviFile(false) != 1) {
    // The recording cannot go on without a file.
    RegisterRecordDir(false);
    recording_.store(false);
    reservation_.store(false);
    pane_.Box(kStartFailedBox, kBoxError, false);
  }
}

void PaneRecording::StopForConnection() { SetRecording(0, 0, 0); }

void PaneRecording::OnLiveStart(bool motionDetectionOn) {
  int on = ReadSettingDword(pane_.Settings(), settings::kRecordEnable);
  int interval = ReadSettingDword(pane_.Settings(), settings::kRecordInterval);
  if (interval < 0 || interval > 60) {
    LogMessage("%s:%d (interval %d)\r\n", LOGPOS, interval);
    interval = ClampSlidePeriod(interval);  // a slide period the choice box could have stored
  }
  if (motionDetectionOn && pane_.Group() == 0) on = 0;
  SetRecording(on, interval, 0);
}
