#include "pane/PaneRecorder.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/HDDManager.h"
#include "base/MRegistry.h"
#include "base/base.h"
#include "pane/PaneAudioVideo.h"
#include "pane/PaneContext.h"
#include "pane/PaneLink.h"
#include "video/MVideoRender.h"
#include "video/VideoFormat.h"

namespace {

constexpr int kPathCapacity = 260;

unsigned Bit(RecordHolder who) { return 1u << static_cast<int>(who); }

const char* HolderName(RecordHolder who) {
  switch (who) {
    case RecordHolder::kManual: return "manual";
    case RecordHolder::kReservation: return "reservation";
    case RecordHolder::kAlarm: return "alarm";
    case RecordHolder::kNone: break;
  }
  return "none";
}

}  // namespace

bool TakesOver(RecordHolder asking, RecordHolder holding) {
  return asking == RecordHolder::kManual && holding != RecordHolder::kNone && holding != RecordHolder::kManual;
}

std::uint64_t FileSystemFreeBytes(const std::string& dir) {
  std::error_code error;
  const std::filesystem::space_info space = std::filesystem::space(dir, error);
  if (error) return UINT64_MAX;
  return static_cast<std::uint64_t>(space.available);
}

PaneRecorder::PaneRecorder(PaneContext& pane, PaneAudioVideo& audio, LocalClock clock, FreeSpaceProbe freeSpace)
    : pane_(pane),
      audio_(audio),
      clock_(clock ? std::move(clock) : LocalClock(SystemLocalTime)),
      freeSpace_(freeSpace ? std::move(freeSpace) : FreeSpaceProbe(FileSystemFreeBytes)) {
  // Every file is readable from its first frame on.
  for (avxxx& r : recorders_) r.SetStartWithKeyFrame(true);
}

PaneRecorder::~PaneRecorder() {
  CloseFile();
  if (registered_) UnregisterDirectory();
}

std::string PaneRecorder::DirectoryOf(const settings::TextSetting& setting) {
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

std::string PaneRecorder::StoredPaneDir() const {
  QString dir;
  const int read = ReadSettingString(pane_.Settings(), settings::kRecordDir, kPathCapacity, &dir);
  const bool unset = read != 1 || dir.isEmpty() || dir == QLatin1String(settings::kUnknownDirectory);
  return PaneRecordDir(unset ? DefaultDirectory() : dir.toStdString(), pane_.Slot());
}

std::string PaneRecorder::RecordDir() { return DirectoryOf(settings::kRecordDir); }
std::string PaneRecorder::PaneDir() { return PaneRecordDir(RecordDir(), pane_.Slot()); }

std::uint64_t PaneRecorder::FreeBytes() {
  // The pane directory may not exist yet; its record folder then tells. An
  // unknown answer is not ours to judge: the open tells.
  const std::string paneDir = PaneDir();
  std::error_code error;
  return freeSpace_(std::filesystem::is_directory(paneDir, error) ? paneDir : RecordDir());
}
std::string PaneRecorder::CaptureDir() { return DirectoryOf(settings::kCaptureDir); }

int PaneRecorder::Open(RecordHolder who) {
  const RecordHolder holding = holder_.load();
  if (holding != RecordHolder::kNone && holding != who) {
    LogMessage("%s:%d (%s file open, %s refused)\r\n", LOGPOS, HolderName(holding), HolderName(who));
    return 0;
  }
  // The holder's own file open: the next file takes over at the next key
  // frame (a split), so no frame falls between the two. Else a fresh start.
  const bool split = holding == who;
  if (split) {
    FinishSplit(true);  // an earlier split still waiting ends now
  } else {
    CloseFile();
  }
  openError_ = 0;
  fileStart_ = clock_();
  avxxx& next = recorders_[split ? 1 - active_ : active_];
  // A file started on a full disk could hold nothing: none is made.
  if (FreeBytes() < kDiskReserveBytes) {
    openError_ = ENOSPC;
    LogMessage("%s:%d (%s: %s)\r\n", LOGPOS, PaneDir().c_str(), std::strerror(ENOSPC));
    CloseFile();
    return 0;
  }
  const std::string hourDir = HourDir(PaneDir(), fileStart_);
  CreateDirectories(hourDir);  // a failure shows as the open failing
  const std::string path = AviFilePath(hourDir, who == RecordHolder::kAlarm, fileStart_);
  const VideoFormat& format = pane_.Format();
  const int codecId = avxxx::CodecIdForVcodec(format.codec);
  if (codecId < 0 ||
      next.Open(format.height, format.width, path.c_str(), codecId, avxxx::BitRateForQuality(format.quality)) != 1) {
    openError_ = next.OpenErrno();
    LogMessage("%s:%d (%s)\r\n", LOGPOS, path.c_str());
    CloseFile();
    return 0;
  }
  holder_.store(who);
  fileCodec_ = format.codec;
  fileWidth_ = format.width;
  currentFile_ = next.Path();  // another writer's file of the same name keeps its name
  if (split) {
    active_ = 1 - active_;
    splitter_.SplitAtKeyFrame(&next);
    splitSince_ = std::chrono::steady_clock::now();
  } else {
    splitter_.Reset(&next);
    pane_.Render().SetRecorder(&splitter_);
  }
  if (audio_.MicOn()) {
    audio_.Player().SetRecorder(&splitter_);
    audio_.Player().SetRecording(1);
  }
  // The file must begin with a key frame.
  if ((format.codec == kCodecMpeg4 || format.codec == kCodecH264) &&
      pane_.Link().RequestKeyFrame(pane_.Slot()) != 1) {
    LogMessage("%s:%d\r\n", LOGPOS);
    CloseFile();
    return 0;
  }
  return 1;
}

void PaneRecorder::Close(RecordHolder who) {
  if (holder_.load() != who) return;  // not this holder's file
  CloseFile();
}

void PaneRecorder::FinishSplit(bool now) {
  if (!splitter_.SplitPending() && !recorders_[1 - active_].IsOpen()) return;
  // A camera that does not send the key frame asked for: the next file
  // takes over anyway (it leaves out what comes before its first key frame).
  if (splitter_.SplitPending() && (now || std::chrono::steady_clock::now() - splitSince_ > kSplitWait)) {
    splitter_.ForceSplit();
  }
  if (!splitter_.SplitDone()) return;
  recorders_[1 - active_].Close();  // no thread writes into it any more
}

void PaneRecorder::Poll() { FinishSplit(false); }

void PaneRecorder::CloseFile() {
  // The threads let go of the files before they close; each hand-over
  // returns only once its thread no longer writes into the recorder.
  audio_.Player().SetRecording(0);
  audio_.Player().SetRecorder(nullptr);
  pane_.Render().SetRecorder(nullptr);
  splitter_.Reset(nullptr);
  recorders_[0].Close();
  recorders_[1].Close();
  currentFile_.clear();
  holder_.store(RecordHolder::kNone);
}

int PaneRecorder::Reopen() {
  const RecordHolder who = holder_.load();
  if (who == RecordHolder::kNone) return 1;
  return Open(who);
}

int PaneRecorder::HoldDirectory(RecordHolder who) {
  if (RegisterDirectory() != 1) return 0;
  directoryHolders_ |= Bit(who);
  return 1;
}

int PaneRecorder::ReleaseDirectory(RecordHolder who) {
  if ((directoryHolders_ & Bit(who)) == 0) return 1;  // nothing of this holder's to let go of
  directoryHolders_ &= ~Bit(who);
  if (directoryHolders_ != 0) return 1;  // another recording still needs it
  return UnregisterDirectory();
}

int PaneRecorder::RegisterDirectory() {
  const std::string dir = PaneDir();
  if (registered_ && dir == paneDir_) return 1;
  if (registered_) UnregisterDirectory();  // the setting moved
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

int PaneRecorder::UnregisterDirectory() {
  if (!registered_) return 1;
  if (HDDManager::Instance().UnregisterDirectory(paneDir_) != 1) {
    LogMessage("%s:%d (%s)\r\n", LOGPOS, paneDir_.c_str());
    return 0;
  }
  registered_ = false;
  return 1;
}
