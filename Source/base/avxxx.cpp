#include "base/avxxx.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
}

#include "base/CodecHeaders.h"
#include "base/RecordPaths.h"
#include "base/base.h"

namespace {

constexpr AVRational kClockBase = {1, 100};  // the recorder's clocks: 1/100 s

AVCodecID LibraryCodec(int codecId) {
  switch (codecId) {
    case avxxx::kCodecMjpeg: return AV_CODEC_ID_MJPEG;
    case avxxx::kCodecMpeg4: return AV_CODEC_ID_MPEG4;
    case avxxx::kCodecH264: return AV_CODEC_ID_H264;
    default: return AV_CODEC_ID_NONE;
  }
}

// Containers that want the codec configuration out of band.
bool WantsGlobalHeader(const AVOutputFormat* fmt) {
  const char* n = fmt->name;
  return std::strstr(n, "mp4") != nullptr || std::strstr(n, "mov") != nullptr ||
         std::strstr(n, "3gp") != nullptr;
}

constexpr int kIoBufferSize = 64 * 1024;
// A probe (FileIsBeingWritten) may hold a shared lock on a new file for an
// instant; the recorder's lock waits for it this long in all.
constexpr int kLockTries = 200;
constexpr long kLockRetryNs = 5 * 1000 * 1000;

// The I/O context's callbacks over the recorder's descriptor (opaque points
// at it). They run inside library calls made under the recorder's lock.
int WriteToFile(void* opaque, std::uint8_t* buf, int size) {
  auto* io = static_cast<avxxx::FileIo*>(opaque);
  const int fd = *io->fd;
  int done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, buf + done, static_cast<std::size_t>(size - done));
    if (n < 0 && errno == EINTR) continue;
    const int error = n < 0 ? errno : n == 0 ? EIO : 0;
    if (error != 0) {
      // The first failure is kept (a full disk, a removed drive): the owner
      // stops the recording on it, and no later write is tried.
      int none = 0;
      io->writeErrno->compare_exchange_strong(none, error);
      return AVERROR(error);
    }
    done += static_cast<int>(n);
  }
  return size;
}

std::int64_t SeekInFile(void* opaque, std::int64_t offset, int whence) {
  const int fd = *static_cast<const avxxx::FileIo*>(opaque)->fd;
  if ((whence & AVSEEK_SIZE) != 0) {
    struct stat st{};
    return ::fstat(fd, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : AVERROR(errno);
  }
  const off_t at = ::lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
  return at < 0 ? AVERROR(errno) : static_cast<std::int64_t>(at);
}

// An exclusive lock on a file this process has just created. Nobody else
// writes or repairs a file this new; only a probe's shared lock of an
// instant can stand in the way, so a short wait for it is enough.
bool LockNewFile(int fd) {
  for (int i = 0; i < kLockTries; ++i) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    const timespec pause{0, kLockRetryNs};
    ::nanosleep(&pause, nullptr);
  }
  errno = EWOULDBLOCK;
  return false;
}

}  // namespace

bool FileIsBeingWritten(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  bool busy = false;
  if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
    busy = errno == EWOULDBLOCK;
  } else {
    ::flock(fd, LOCK_UN);
  }
  ::close(fd);
  return busy;
}

int avxxx::CodecIdForVcodec(int vcodec) {
  switch (vcodec) {
    case 0: return kCodecMjpeg;
    case 1: return kCodecMpeg4;
    case 2: return kCodecH264;
    default: return -1;
  }
}

avxxx::~avxxx() { Close(); }

void avxxx::ReleaseAll(bool removeFile) {
  if (ctx_ != nullptr) {
    ctx_->pb = nullptr;  // io_ is the recorder's own, freed below
    avformat_free_context(ctx_);  // frees the streams and their parameters
    ctx_ = nullptr;
  }
  if (io_ != nullptr) {
    av_freep(&io_->buffer);  // the library may have replaced the one given
    avio_context_free(&io_);
  }
  if (fd_ >= 0) {
    // Removed while still locked: nobody else can have taken this name.
    if (removeFile && ::unlink(path_.c_str()) != 0) {
      LogMessage("%s:%d (%d) (%s)\r\n", LOGPOS, errno, path_.c_str());
    }
    if (::close(fd_) != 0) LogMessage("%s:%d (%d) (%s)\r\n", LOGPOS, errno, path_.c_str());
    fd_ = -1;
  }
  if (removeFile) path_.clear();
  fileOpened_ = 0;
  av_packet_free(&packet_);
  delete[] keyBuffer_;
  keyBuffer_ = nullptr;
  keyBufferSize_ = 0;
  videoIndex_ = -1;
  audioIndex_ = -1;
  headerPending_ = false;
  open_.store(false, std::memory_order_relaxed);
}

int avxxx::Open(int height, int width, const char* path, int codecId, int bitRate) {
  TimedLockHolder hold(lock_, kOpenCloseWaitMs, LOGPOS);
  if (!hold.held()) return 0;
  if (ctx_ != nullptr || path == nullptr || width <= 0 || height <= 0) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  fileOpened_ = 0;
  path_.clear();
  openErrno_ = 0;
  writeErrno_.store(0);
  width_ = width;
  height_ = height;
  bitRate_ = bitRate;
  codecId_ = codecId;
  audioClock_ = 0.0;
  videoClock_ = 0.0;
  lastFlush_ = 0.0;
  lastVideoPts_ = -1;
  lastAudioPts_ = -1;
  lostFrames_.store(0, std::memory_order_relaxed);
  framesBeforeKey_.store(0, std::memory_order_relaxed);
  waitingForKey_ = false;

  const AVCodecID videoCodec = LibraryCodec(codecId);
  if (codecId != kCodecNone && videoCodec == AV_CODEC_ID_NONE) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, codecId);
    return 0;
  }

  keyBufferSize_ = width * height * 2;
  keyBuffer_ = new (std::nothrow) std::uint8_t[keyBufferSize_];
  packet_ = av_packet_alloc();
  const AVOutputFormat* fmt = av_guess_format(nullptr, path, nullptr);
  if (fmt == nullptr) fmt = av_guess_format("mpeg", nullptr, nullptr);
  if (keyBuffer_ == nullptr || packet_ == nullptr || fmt == nullptr ||
      avformat_alloc_output_context2(&ctx_, fmt, nullptr, path) < 0 || ctx_ == nullptr) {
    LogMessage("%s:%d\r\n", LOGPOS);
    ReleaseAll(true);
    return 0;
  }
  ctx_->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;

  if (videoCodec != AV_CODEC_ID_NONE) {
    AVStream* st = avformat_new_stream(ctx_, nullptr);
    if (st == nullptr) {
      LogMessage("%s:%d\r\n", LOGPOS);
      ReleaseAll(true);
      return 0;
    }
    st->id = 0;
    st->time_base = kClockBase;
    AVCodecParameters* par = st->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = videoCodec;
    par->bit_rate = bitRate;
    par->width = width;
    par->height = height;
    par->format = AV_PIX_FMT_YUV420P;
    // Containers that keep the configuration out of band get it from the
    // first key frame: the camera's own parameter sets when it carries them,
    // else the built-in header, so the record never contradicts the stream.
    headerPending_ = WantsGlobalHeader(fmt) &&
                     (videoCodec == AV_CODEC_ID_MPEG4 || videoCodec == AV_CODEC_ID_H264);
    videoIndex_ = st->index;
    waitingForKey_ = startWithKeyFrame_.load(std::memory_order_relaxed);
  }

  // The mu-law stream goes into containers that can carry it (AVI, Matroska,
  // QuickTime); an MPEG program stream cannot, so such a file holds video only
  // and the audio blocks are not stored.
  if (avformat_query_codec(fmt, AV_CODEC_ID_PCM_MULAW, FF_COMPLIANCE_NORMAL) == 1) {
    AVStream* ast = avformat_new_stream(ctx_, nullptr);
    if (ast == nullptr) {
      LogMessage("%s:%d\r\n", LOGPOS);
      ReleaseAll(true);
      return 0;
    }
    ast->id = 1;
    ast->time_base = kClockBase;
    AVCodecParameters* apar = ast->codecpar;
    apar->codec_type = AVMEDIA_TYPE_AUDIO;
    apar->codec_id = AV_CODEC_ID_PCM_MULAW;
    apar->bit_rate = 64000;
    apar->sample_rate = 8000;
    apar->ch_layout = AV_CHANNEL_LAYOUT_MONO;
    apar->block_align = 1;
    apar->bits_per_coded_sample = 8;
    audioIndex_ = ast->index;
  } else {
    LogMessage("%s:%d (%s)\r\n", LOGPOS, fmt->name);
  }
  if (ctx_->nb_streams == 0) {
    LogMessage("%s:%d\r\n", LOGPOS);
    ReleaseAll(true);
    return 0;
  }

  if ((fmt->flags & AVFMT_NOFILE) == 0) {
    if (!CreateOutputFile(path)) {
      ReleaseAll(true);
      return 0;
    }
    fileOpened_ = 1;
  }
  av_dump_format(ctx_, 0, path_.empty() ? path : path_.c_str(), 1);
  if (!headerPending_ && !WriteHeader()) {
    ReleaseAll(true);
    return 0;
  }
  open_.store(true, std::memory_order_relaxed);
  return 1;
}

bool avxxx::CreateOutputFile(const char* path) {
  const std::string requested(path);
  std::string name;
  for (int n = 0; n <= kMaxNameSuffix && fd_ < 0; ++n) {
    name = NumberedFilePath(requested, n);
    // O_EXCL: never over a file someone else made (another instance in the
    // same folder at the same second, the hour the clock repeats), and
    // never through a symbolic link.
    do {
      fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0 && errno != EEXIST) {
      openErrno_ = errno;
      LogMessage("%s:%d (%d: %s) (%s)\r\n", LOGPOS, errno, std::strerror(errno), name.c_str());
      return false;
    }
  }
  if (fd_ < 0) {
    openErrno_ = EEXIST;
    LogMessage("%s:%d no free name (%s)\r\n", LOGPOS, path);
    return false;
  }
  path_ = name;  // from here on a failure removes the file again
  if (!LockNewFile(fd_)) {
    LogMessage("%s:%d (%d) (%s)\r\n", LOGPOS, errno, path_.c_str());
    return false;
  }
  auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
  io_ = buffer == nullptr ? nullptr
                          : avio_alloc_context(buffer, kIoBufferSize, 1, &fileIo_, nullptr, WriteToFile, SeekInFile);
  if (io_ == nullptr) {
    av_free(buffer);
    LogMessage("%s:%d\r\n", LOGPOS);
    return false;
  }
  ctx_->pb = io_;
  av_freep(&ctx_->url);  // the name the file really has
  ctx_->url = av_strdup(path_.c_str());
  if (ctx_->url == nullptr) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return false;
  }
  if (path_ != requested) LogMessage("%s:%d %s exists, recording into %s\r\n", LOGPOS, path, path_.c_str());
  return true;
}

bool avxxx::WriteHeader() {
  // The muxer may replace the streams' time bases here (the AVI muxer gives
  // the audio stream 1/8000); the writes rescale from the 1/100 s clocks.
  const int rc = avformat_write_header(ctx_, nullptr);
  if (rc < 0) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, rc);
    return false;
  }
  headerPending_ = false;
  return true;
}

bool avxxx::WriteHeaderFromKeyFrame(const std::uint8_t* data, int size) {
  const auto bytes = static_cast<std::size_t>(size);
  std::uint8_t header[kConfigHeaderScratch] = {};
  const std::uint8_t* config = header;
  std::size_t n = codecId_ == kCodecH264 ? H264FrameConfigLength(data, bytes) : Mpeg4FrameConfigLength(data, bytes);
  if (n > 0) {
    config = data;
  } else if (codecId_ == kCodecH264) {
    n = static_cast<std::size_t>(MakeH264ConfigHeader(width_, header));
  } else {
    n = static_cast<std::size_t>(MakeMpeg4ConfigHeader(width_, height_, header));
  }
  AVCodecParameters* par = ctx_->streams[videoIndex_]->codecpar;
  av_freep(&par->extradata);  // left from a key frame whose header failed
  par->extradata_size = 0;
  if (n > 0) {
    par->extradata = static_cast<std::uint8_t*>(av_mallocz(n + AV_INPUT_BUFFER_PADDING_SIZE));
    if (par->extradata == nullptr) {
      LogMessage("%s:%d\r\n", LOGPOS);
      return false;
    }
    std::memcpy(par->extradata, config, n);
    par->extradata_size = static_cast<int>(n);
  }
  return WriteHeader();
}

void avxxx::LogWriteFailure(int rc) {
  const int error = writeErrno_.load();
  if (error != 0) {
    LogMessage("%s:%d write failed (%d: %s) (%s)\r\n", LOGPOS, error, std::strerror(error), path_.c_str());
  } else {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, rc);
  }
}

void avxxx::FlushIfDue() {
  const double now = videoClock_ > audioClock_ ? videoClock_ : audioClock_;
  if (ctx_->pb != nullptr && now - lastFlush_ >= kFlushInterval) {
    avio_flush(ctx_->pb);
    lastFlush_ = now;
  }
}

int avxxx::WriteVideo(int size, const std::uint8_t* data, int keyFrame, int durationMs) {
  TimedLockHolder hold(lock_, kWriteWaitMs, LOGPOS);
  if (!hold.held()) {
    lostFrames_.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  // After a failed write nothing more goes in (logged once, when it failed).
  if (writeErrno_.load() != 0) return 0;
  if (durationMs >= 1000) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, durationMs);
    lostFrames_.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  if (ctx_ == nullptr) {
    LogMessage("%s:%d\n", LOGPOS);
    return 0;
  }
  if (videoIndex_ < 0 || size < 0 || (size > 0 && data == nullptr)) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, size);
    lostFrames_.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  // A file that starts with a key frame leaves out the frames before it
  // (the rest of a group that began before the file): they cannot be
  // decoded from this file.
  if (waitingForKey_ && keyFrame == 0) {
    framesBeforeKey_.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  if (headerPending_) {
    // The file's configuration comes from the first key frame; frames before
    // it could not be decoded from this file anyway.
    if (keyFrame == 0 || !WriteHeaderFromKeyFrame(data, size)) {
      lostFrames_.fetch_add(1, std::memory_order_relaxed);
      return 0;
    }
  }

  // Pull the video clock 10 ms per frame towards the audio clock, so a
  // drifting camera clock does not desynchronise picture and sound. Within
  // kSyncBand of each other the clocks are left alone: nudging both ways
  // around equality would make every other step 10 ms short, which players
  // see as two frames in one frame interval. A step is shortened only when
  // it is long (50 ms or more), so it never becomes shorter than 40 ms.
  if (audioClock_ != 0.0) {
    const double ahead = audioClock_ - videoClock_;
    if (ahead > kSyncBand) videoClock_ += 1.0;
    else if (-ahead > kSyncBand && durationMs >= 50) videoClock_ -= 1.0;
  }
  waitingForKey_ = false;
  videoClock_ += durationMs / 10.0;
  // Rounded, not cut: a camera whose millisecond stamps jitter by one
  // (39, 41, ...) then keeps even 40 ms steps instead of 30 and 50 ms.
  const auto clockPts = static_cast<std::int64_t>(std::llround(videoClock_));
  AVStream* st = ctx_->streams[videoIndex_];
  const std::int64_t pts = av_rescale_q(clockPts, kClockBase, st->time_base);

  AVPacket* pkt = packet_;
  pkt->stream_index = videoIndex_;
  pkt->pts = pts;
  pkt->dts = pts;
  pkt->duration = 0;
  pkt->pos = -1;
  pkt->flags = 0;
  pkt->data = const_cast<std::uint8_t*>(data);
  pkt->size = size;
  if (keyFrame != 0) {
    pkt->flags = AV_PKT_FLAG_KEY;
    // The built-in configuration header goes in front only of key frames
    // without parameter sets of their own: a camera's own sets describe its
    // stream, and a second, different set in the same key frame contradicts
    // them.
    std::uint8_t header[kConfigHeaderScratch] = {};
    int headerSize = 0;
    const auto bytes = static_cast<std::size_t>(size);
    if (codecId_ == kCodecMpeg4 && !Mpeg4FrameHasVol(data, bytes)) {
      headerSize = MakeMpeg4ConfigHeader(width_, height_, header);
    }
    if (codecId_ == kCodecH264 && !H264FrameHasSps(data, bytes)) {
      headerSize = MakeH264ConfigHeader(width_, header);
    }
    if (headerSize > 0) {
      if (static_cast<std::int64_t>(headerSize) + size > keyBufferSize_) {
        LogMessage("%s:%d (%d)\r\n", LOGPOS, size);
        lostFrames_.fetch_add(1, std::memory_order_relaxed);
        return 0;
      }
      std::memcpy(keyBuffer_, header, headerSize);
      if (size > 0) std::memcpy(keyBuffer_ + headerSize, data, size);
      pkt->data = keyBuffer_;
      pkt->size = headerSize + size;
    }
  }

  // A timestamp at or below the previous one cannot be stored; the frame is
  // lost (the file stays valid) and counted.
  if (pts <= lastVideoPts_) {
    LogMessage("%s:%d (%d) (%d)\r\n", LOGPOS, -1, durationMs);
    lostFrames_.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  const int rc = av_write_frame(ctx_, pkt);
  pkt->data = nullptr;
  pkt->size = 0;
  if (rc != 0) {
    LogWriteFailure(rc);
    lostFrames_.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }
  lastVideoPts_ = pts;
  FlushIfDue();
  return 1;
}

int avxxx::WriteAudio(const std::uint8_t* data, int size) {
  TimedLockHolder hold(lock_, kWriteWaitMs, LOGPOS);
  if (!hold.held()) return 0;
  if (writeErrno_.load() != 0) return 0;
  if (ctx_ == nullptr) {
    LogMessage("%s:%d\n", LOGPOS);
    return 0;
  }
  if (size <= 0 || data == nullptr) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, size);
    return 0;
  }
  if (audioIndex_ < 0) return 0;  // the container holds no audio (logged at Open)
  if (headerPending_ || waitingForKey_) return 0;  // sound starts with the first key frame
  // The sound's clock runs by what was written: 8000 one-byte samples a
  // second, 80 per 1/100 s (a full playback block of 320 bytes is 40 ms; a
  // partial one counts for what it holds, not as a whole block).
  audioClock_ += size / 80.0;
  AVStream* st = ctx_->streams[audioIndex_];
  // In samples, so that short blocks keep distinct stamps.
  const std::int64_t pts =
      av_rescale_q(std::llround(audioClock_ * 80.0), AVRational{1, 8000}, st->time_base);
  if (pts <= lastAudioPts_) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, -1);
    return 0;
  }
  AVPacket* pkt = packet_;
  pkt->stream_index = audioIndex_;
  pkt->pts = pts;
  pkt->dts = pts;
  pkt->duration = 0;
  pkt->pos = -1;
  pkt->flags = AV_PKT_FLAG_KEY;
  pkt->data = const_cast<std::uint8_t*>(data);
  pkt->size = size;
  const int rc = av_write_frame(ctx_, pkt);
  pkt->data = nullptr;
  pkt->size = 0;
  if (rc != 0) {
    LogWriteFailure(rc);
    return 0;
  }
  lastAudioPts_ = pts;
  FlushIfDue();
  return 1;
}

void avxxx::Close() {
  TimedLockHolder hold(lock_, kOpenCloseWaitMs, LOGPOS);
  if (!hold.held()) return;
  // A file that never got a picture (stopped before the first key frame, a
  // camera that sent nothing) cannot be played: it is not left behind.
  const bool empty = ctx_ != nullptr && lastVideoPts_ < 0;
  if (ctx_ != nullptr && empty) {
    LogMessage("%s:%d no picture recorded, file removed (%s)\r\n", LOGPOS, path_.c_str());
  } else if (ctx_ != nullptr) {
    const int rc = av_write_trailer(ctx_);
    if (rc != 0) LogMessage("%s:%d (%d)\r\n", LOGPOS, rc);
    const int lost = lostFrames_.load(std::memory_order_relaxed);
    if (lost > 0) LogMessage("%s:%d (lost=%d)\r\n", LOGPOS, lost);
  }
  if (!empty && io_ != nullptr && io_->error < 0) {
    LogMessage("%s:%d write error (%d) (%s)\r\n", LOGPOS, io_->error, path_.c_str());
  }
  ReleaseAll(empty);
}
