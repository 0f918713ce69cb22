#include "base/AviRepair.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "base/base.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kSizePlaceholder = 0xFFFFFFFFu;
// The recorder's header ('hdrl' with its reserved room) takes about 9 KiB;
// the first frames follow it. 64 KiB covers the header and the first chunk.
constexpr std::size_t kHeaderArea = 64 * 1024;
constexpr std::size_t kMainHeaderSize = 56;  // 'avih'
constexpr std::size_t kTotalFramesOffset = 16;
// Names beside a file under repair: the new file until it takes the
// original's name; and the original moved aside, which only repairs of
// earlier builds did (they replaced the file in two renames) and a repair
// cut short between them left behind.
constexpr const char* kTempSuffix = ".repair";
constexpr const char* kBrokenSuffix = ".broken";

std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool Is(const std::uint8_t* p, const char* fourcc) { return std::memcmp(p, fourcc, 4) == 0; }

// A chunk of a stream inside 'movi': two digits (stream number) and a
// two-letter type ("00dc", "01wb"), or a standard index chunk ("ix00").
bool IsStreamChunkId(const std::uint8_t* p) {
  const auto digit = [](std::uint8_t c) { return std::isxdigit(c) != 0; };
  const auto alpha = [](std::uint8_t c) { return std::isalpha(c) != 0; };
  if (digit(p[0]) && digit(p[1]) && alpha(p[2]) && alpha(p[3])) return true;
  return p[0] == 'i' && p[1] == 'x' && digit(p[2]) && digit(p[3]);
}

// The end of a chunk that starts at |pos| with |size| bytes of data, padded
// to an even offset. 64-bit: no size field can overflow it.
std::uint64_t ChunkEnd(std::uint64_t pos, std::uint32_t size) {
  return pos + 8 + size + (size & 1u);
}

// Walks the chunks of 'hdrl' (|begin| to |end| in |data|) for 'avih'.
void ParseHeaderList(AviHeaderInfo* info, const std::uint8_t* data, std::uint64_t begin,
                     std::uint64_t end) {
  std::uint64_t pos = begin;
  while (pos + 8 <= end) {
    const std::uint32_t size = Le32(data + pos + 4);
    if (Is(data + pos, "avih")) {
      if (size >= kMainHeaderSize && pos + 8 + kMainHeaderSize <= end) {
        info->hasMainHeader = true;
        info->totalFrames = Le32(data + pos + 8 + kTotalFramesOffset);
      }
      return;
    }
    pos = ChunkEnd(pos, size);
  }
}

struct FileReader {
  std::ifstream in;
  std::uint64_t size = 0;

  explicit FileReader(const std::string& path) : in(fs::path(path), std::ios::binary) {
    std::error_code ec;
    const auto n = fs::file_size(fs::path(path), ec);
    if (!ec) size = n;
  }
  // Up to |count| bytes at |offset|; fewer at the end of the file.
  std::vector<std::uint8_t> Read(std::uint64_t offset, std::size_t count) {
    std::vector<std::uint8_t> buf;
    if (!in || offset >= size) return buf;
    const std::uint64_t n = std::min<std::uint64_t>(count, size - offset);
    buf.resize(static_cast<std::size_t>(n));
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(buf.data()), static_cast<std::streamsize>(n));
    buf.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return buf;
  }
};

// The header area of |path| and, when they lie beyond it, the few bytes
// where the index and a following RIFF would start.
AviHeaderInfo ReadHeaderInfo(const std::string& path) {
  FileReader file(path);
  const std::vector<std::uint8_t> head = file.Read(0, kHeaderArea);
  AviHeaderInfo info = InspectAviHeader(head.data(), head.size());
  if (!info.isAvi) return info;
  for (const std::uint64_t at : {info.moviEnd, info.riffEnd}) {
    if (at == 0 || at + 12 <= head.size()) continue;
    const std::vector<std::uint8_t> tail = file.Read(at, 12);
    InspectAviTail(&info, at, tail.data(), tail.size());
  }
  return info;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

bool EndsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// "<dir>/<stem><suffix><extension>" beside |path|, byte for byte (UTF-8
// stays UTF-8): "05_00.avi" -> "05_00.repair.avi".
std::string Beside(const std::string& path, const char* suffix) {
  const fs::path p(path);
  return (p.parent_path() / (p.stem().string() + suffix + p.extension().string())).string();
}

// An exclusive advisory lock on a file, held while the object lives. The
// recorder holds the same lock on the file it writes from creation to
// close, and two instances of the program started together walk the same
// directories: a file whose lock is taken is being recorded or repaired and
// is left alone. The lock belongs to the open file, so it follows the file
// through renames and ends with the process.
class FileLock {
 public:
  explicit FileLock(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) {
      error_ = errno;
      return;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      error_ = errno;
      busy_ = error_ == EWOULDBLOCK;
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool held() const { return fd_ >= 0; }
  bool busy() const { return busy_; }  // another holder has it
  int error() const { return error_; }
  // Whether |path| still names the locked file (not replaced meanwhile).
  bool Names(const std::string& path) const {
    struct stat locked{};
    struct stat named{};
    return fd_ >= 0 && ::fstat(fd_, &locked) == 0 && ::stat(path.c_str(), &named) == 0 &&
           locked.st_dev == named.st_dev && locked.st_ino == named.st_ino;
  }

 private:
  int fd_ = -1;
  int error_ = 0;
  bool busy_ = false;
};

// Pushes a file, or a directory's entries, to the disk. Logs failures.
bool SyncPath(const std::string& path, bool directory) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | (directory ? O_DIRECTORY : 0));
  if (fd < 0) {
    LogMessage("%s:%d (%d) %s\r\n", LOGPOS, errno, path.c_str());
    return false;
  }
  const bool ok = ::fsync(fd) == 0;
  if (!ok) LogMessage("%s:%d (%d) %s\r\n", LOGPOS, errno, path.c_str());
  ::close(fd);
  return ok;
}

std::string FolderOf(const std::string& path) {
  const fs::path parent = fs::path(path).parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

void RemoveQuietly(const std::string& path) {
  std::error_code ec;
  fs::remove(fs::path(path), ec);
}

struct InputFile {
  AVFormatContext* ctx = nullptr;
  ~InputFile() { avformat_close_input(&ctx); }
};

struct OutputFile {
  AVFormatContext* ctx = nullptr;
  bool opened = false;
  ~OutputFile() {
    if (ctx == nullptr) return;
    if (opened) avio_closep(&ctx->pb);
    avformat_free_context(ctx);
  }
};

struct PacketHolder {
  AVPacket* pkt = av_packet_alloc();
  ~PacketHolder() { av_packet_free(&pkt); }
};

// Opens |path| as AVI with its stream information. Logs failures.
bool OpenInput(InputFile* in, const std::string& path) {
  in->ctx = avformat_alloc_context();
  if (in->ctx == nullptr) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return false;
  }
  // Without an index the demuxer still knows each chunk's place in its
  // stream; timestamps it cannot give are generated.
  in->ctx->flags |= AVFMT_FLAG_GENPTS;
  int rc = avformat_open_input(&in->ctx, path.c_str(), av_find_input_format("avi"), nullptr);
  if (rc < 0) {
    LogMessage("%s:%d (%d) %s\r\n", LOGPOS, rc, path.c_str());
    return false;
  }
  rc = avformat_find_stream_info(in->ctx, nullptr);
  if (rc < 0) {
    LogMessage("%s:%d (%d) %s\r\n", LOGPOS, rc, path.c_str());
    return false;
  }
  return true;
}

// Copies the video stream and the audio streams of |src| into a new AVI
// |dst| without decoding; the muxer writes the index and the header values.
// Chunks cut short by the kill and chunks whose timestamps go backwards are
// dropped. Returns the video frames written, or -1.
int Remux(const std::string& src, const std::string& dst) {
  InputFile in;
  if (!OpenInput(&in, src)) return -1;
  OutputFile out;
  if (avformat_alloc_output_context2(&out.ctx, nullptr, "avi", dst.c_str()) < 0 ||
      out.ctx == nullptr) {
    LogMessage("%s:%d %s\r\n", LOGPOS, dst.c_str());
    return -1;
  }
  out.ctx->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;

  std::vector<int> map(in.ctx->nb_streams, -1);
  int videoOut = -1;
  for (unsigned i = 0; i < in.ctx->nb_streams; ++i) {
    const AVStream* ist = in.ctx->streams[i];
    const AVMediaType type = ist->codecpar->codec_type;
    if (!(type == AVMEDIA_TYPE_VIDEO && videoOut < 0) && type != AVMEDIA_TYPE_AUDIO) continue;
    AVStream* ost = avformat_new_stream(out.ctx, nullptr);
    if (ost == nullptr || avcodec_parameters_copy(ost->codecpar, ist->codecpar) < 0) {
      LogMessage("%s:%d\r\n", LOGPOS);
      return -1;
    }
    ost->codecpar->codec_tag = 0;  // the muxer picks the tag for the codec
    ost->time_base = ist->time_base;
    map[i] = ost->index;
    if (type == AVMEDIA_TYPE_VIDEO) videoOut = ost->index;
  }
  if (videoOut < 0) {
    LogMessage("%s:%d no video stream: %s\r\n", LOGPOS, src.c_str());
    return -1;
  }
  if (avio_open(&out.ctx->pb, dst.c_str(), AVIO_FLAG_WRITE) < 0) {
    LogMessage("%s:%d %s\r\n", LOGPOS, dst.c_str());
    return -1;
  }
  out.opened = true;
  int rc = avformat_write_header(out.ctx, nullptr);
  if (rc < 0) {
    LogMessage("%s:%d (%d) %s\r\n", LOGPOS, rc, dst.c_str());
    return -1;
  }

  std::vector<std::int64_t> lastDts(out.ctx->nb_streams, std::numeric_limits<std::int64_t>::min());
  PacketHolder holder;
  AVPacket* pkt = holder.pkt;
  if (pkt == nullptr) return -1;
  int frames = 0;
  int dropped = 0;
  while ((rc = av_read_frame(in.ctx, pkt)) >= 0) {
    const int si = pkt->stream_index;
    const int oi = si >= 0 && static_cast<unsigned>(si) < map.size() ? map[si] : -1;
    if (pkt->dts == AV_NOPTS_VALUE) pkt->dts = pkt->pts;
    // Empty chunks only keep the pace; the muxer writes them again from the
    // timestamps.
    if (oi < 0 || pkt->size <= 0 || (pkt->flags & AV_PKT_FLAG_CORRUPT) != 0 ||
        pkt->dts == AV_NOPTS_VALUE) {
      if (oi >= 0 && pkt->size > 0) ++dropped;
      av_packet_unref(pkt);
      continue;
    }
    if (pkt->pts == AV_NOPTS_VALUE) pkt->pts = pkt->dts;
    av_packet_rescale_ts(pkt, in.ctx->streams[si]->time_base, out.ctx->streams[oi]->time_base);
    pkt->stream_index = oi;
    pkt->pos = -1;
    if (pkt->dts <= lastDts[oi]) {
      ++dropped;
      av_packet_unref(pkt);
      continue;
    }
    lastDts[oi] = pkt->dts;
    const bool video = oi == videoOut;
    rc = av_interleaved_write_frame(out.ctx, pkt);  // takes the packet's data
    if (rc < 0) {
      LogMessage("%s:%d (%d) %s\r\n", LOGPOS, rc, dst.c_str());
      return -1;
    }
    if (video) ++frames;
  }
  if (rc != AVERROR_EOF) {
    // A chunk cut short ends the readable part; what came before is kept.
    LogMessage("%s:%d (%d) read stops: %s\r\n", LOGPOS, rc, src.c_str());
  }
  if (dropped > 0) LogMessage("%s:%d (dropped=%d) %s\r\n", LOGPOS, dropped, src.c_str());
  rc = av_write_trailer(out.ctx);
  if (rc < 0) {
    LogMessage("%s:%d (%d) %s\r\n", LOGPOS, rc, dst.c_str());
    return -1;
  }
  rc = avio_closep(&out.ctx->pb);
  out.opened = false;
  if (rc < 0) {
    LogMessage("%s:%d (%d) %s\r\n", LOGPOS, rc, dst.c_str());
    return -1;
  }
  return frames;
}

// The repaired file must be a finished AVI (header values and index) whose
// video stream holds the frames written and has a length.
bool Verify(const std::string& path, int frames, AviRepairStats* stats) {
  const AviHeaderInfo info = ReadHeaderInfo(path);
  if (!info.isAvi || !info.hasMainHeader || info.totalFrames == 0 || !info.hasIndex ||
      info.riffSizePlaceholder) {
    LogMessage("%s:%d header not finished: %s\r\n", LOGPOS, path.c_str());
    return false;
  }
  InputFile in;
  if (!OpenInput(&in, path)) return false;
  const int video = av_find_best_stream(in.ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (video < 0) {
    LogMessage("%s:%d no video stream: %s\r\n", LOGPOS, path.c_str());
    return false;
  }
  const double seconds =
      in.ctx->duration > 0 ? static_cast<double>(in.ctx->duration) / AV_TIME_BASE : 0.0;
  PacketHolder holder;
  if (holder.pkt == nullptr) return false;
  int read = 0;
  while (av_read_frame(in.ctx, holder.pkt) >= 0) {
    if (holder.pkt->stream_index == video && holder.pkt->size > 0) ++read;
    av_packet_unref(holder.pkt);
  }
  if (read != frames || read <= 0 || seconds <= 0.0) {
    LogMessage("%s:%d (frames=%d/%d) (%.2f s) %s\r\n", LOGPOS, read, frames, seconds,
               path.c_str());
    return false;
  }
  if (stats != nullptr) {
    stats->frames = read;
    stats->seconds = seconds;
  }
  return true;
}

}  // namespace

bool AviHeaderInfo::Unfinished() const {
  if (!isAvi || !hasMainHeader || !hasMovi || !moviHasChunk) return false;
  // Past the first gigabyte the muxer closes the first RIFF (size and index
  // written) and goes on in 'AVIX'; the frame count still waits for Close.
  if (totalFrames == 0 && hasExtension) return true;
  return (totalFrames == 0 || riffSizePlaceholder) && !hasIndex;
}

AviHeaderInfo InspectAviHeader(const std::uint8_t* data, std::size_t size) {
  AviHeaderInfo info;
  if (data == nullptr || size < 12 || !Is(data, "RIFF") || !Is(data + 8, "AVI ")) return info;
  info.isAvi = true;
  const std::uint32_t riffSize = Le32(data + 4);
  info.riffSizePlaceholder = riffSize == kSizePlaceholder;
  if (!info.riffSizePlaceholder) info.riffEnd = ChunkEnd(0, riffSize);

  std::uint64_t pos = 12;
  while (pos + 8 <= size) {
    const std::uint8_t* chunk = data + pos;
    const std::uint32_t chunkSize = Le32(chunk + 4);
    const bool sizeKnown = chunkSize != kSizePlaceholder;
    if (Is(chunk, "idx1")) {
      info.hasIndex = true;
    } else if (Is(chunk, "LIST") && pos + 12 <= size && chunkSize >= 4) {
      const std::uint64_t listEnd = std::min<std::uint64_t>(ChunkEnd(pos, chunkSize), size);
      if (Is(chunk + 8, "hdrl") && !info.hasMainHeader) {
        ParseHeaderList(&info, data, pos + 12, listEnd);
      } else if (Is(chunk + 8, "movi") && !info.hasMovi) {
        info.hasMovi = true;
        if (sizeKnown) info.moviEnd = ChunkEnd(pos, chunkSize);
        const std::uint64_t first = pos + 12;
        info.moviHasChunk = first + 8 <= size && (!sizeKnown || first + 8 <= ChunkEnd(pos, chunkSize)) &&
                            IsStreamChunkId(data + first);
      }
    }
    if (!sizeKnown) break;
    pos = ChunkEnd(pos, chunkSize);
  }
  InspectAviTail(&info, 0, data, size);
  return info;
}

void InspectAviTail(AviHeaderInfo* info, std::uint64_t offset, const std::uint8_t* data,
                    std::size_t size) {
  if (info == nullptr || data == nullptr) return;
  const auto at = [&](std::uint64_t where, std::size_t n) -> const std::uint8_t* {
    if (where == 0 || where < offset || where - offset > size || size - (where - offset) < n) {
      return nullptr;
    }
    return data + (where - offset);
  };
  if (const std::uint8_t* p = at(info->moviEnd, 4); p != nullptr && Is(p, "idx1")) {
    info->hasIndex = true;
  }
  if (const std::uint8_t* p = at(info->riffEnd, 12); p != nullptr && Is(p, "RIFF") && Is(p + 8, "AVIX")) {
    info->hasExtension = true;
  }
}

bool AviNeedsRepair(const std::string& path) { return ReadHeaderInfo(path).Unfinished(); }

AviRepairResult RepairAvi(const std::string& path, AviRepairStats* stats) {
  if (!AviNeedsRepair(path)) return AviRepairResult::kNotNeeded;
  const FileLock lock(path);
  if (!lock.held()) {
    if (lock.busy()) {
      LogMessage("%s:%d AVI repair skipped, %s is locked (being recorded or repaired)\r\n", LOGPOS,
                 path.c_str());
      return AviRepairResult::kBusy;
    }
    LogMessage("%s:%d (%d) AVI repair skipped, %s cannot be opened\r\n", LOGPOS, lock.error(),
               path.c_str());
    return AviRepairResult::kFailed;
  }
  // Another instance may have replaced the file before the lock was taken.
  if (!lock.Names(path) || !AviNeedsRepair(path)) return AviRepairResult::kNotNeeded;
  const std::string temp = Beside(path, kTempSuffix);
  const std::string broken = Beside(path, kBrokenSuffix);
  std::error_code ec;
  if (fs::exists(fs::path(broken), ec)) {
    // Left by a repair that was itself cut short; it may be the only copy.
    LogMessage("%s:%d AVI repair skipped, %s exists\r\n", LOGPOS, broken.c_str());
    return AviRepairResult::kFailed;
  }
  const auto started = std::chrono::steady_clock::now();
  RemoveQuietly(temp);  // a temporary file of an earlier, interrupted repair
  AviRepairStats result;
  const int frames = Remux(path, temp);
  // The repaired file and its name reach the disk before it replaces the
  // original: a crash then leaves either the original or the whole
  // repaired file under the name, never a part of one.
  const std::string folder = FolderOf(path);
  if (frames <= 0 || !Verify(temp, frames, &result) || !SyncPath(temp, false) ||
      !SyncPath(folder, true)) {
    RemoveQuietly(temp);
    LogMessage("%s:%d AVI repair failed, original kept: %s\r\n", LOGPOS, path.c_str());
    return AviRepairResult::kFailed;
  }
  if (!lock.Names(path)) {
    RemoveQuietly(temp);
    LogMessage("%s:%d AVI repair abandoned, %s was replaced meanwhile\r\n", LOGPOS, path.c_str());
    return AviRepairResult::kFailed;
  }
  // One rename puts the repaired file in the original's place: the name
  // never goes missing, so no recorder can create a new file under it in
  // between (and see it replaced).
  fs::rename(fs::path(temp), fs::path(path), ec);
  if (ec) {
    RemoveQuietly(temp);
    LogMessage("%s:%d (%d) AVI repair failed, original kept: %s\r\n", LOGPOS, ec.value(),
               path.c_str());
    return AviRepairResult::kFailed;
  }
  SyncPath(folder, true);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                              started).count();
  LogMessage("%s:%d AVI repaired: %s (frames=%d) (%.2f s) (%.0f ms)\r\n", LOGPOS, path.c_str(),
             result.frames, result.seconds, ms);
  if (stats != nullptr) *stats = result;
  return AviRepairResult::kRepaired;
}

AviRepairService::~AviRepairService() { Stop(); }

bool AviRepairService::Start(std::vector<std::string> directories, int minAgeSeconds) {
  if (worker_.joinable()) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return false;
  }
  stop_.store(false);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = false;
  }
  worker_ = std::thread(&AviRepairService::Run, this, std::move(directories), minAgeSeconds);
  return true;
}

void AviRepairService::Stop() {
  stop_.store(true);
  if (worker_.joinable()) worker_.join();
}

bool AviRepairService::Wait(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return doneChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return done_; });
}

void AviRepairService::Run(std::vector<std::string> directories, int minAgeSeconds) {
  for (const std::string& dir : directories) {
    if (stop_.load()) break;
    std::error_code ec;
    // Directory symbolic links are not followed (the default), unreadable
    // directories are passed over.
    fs::recursive_directory_iterator it(fs::path(dir), fs::directory_options::skip_permission_denied,
                                        ec);
    // A pane's folder that was never made (nothing recorded yet) holds
    // nothing to repair: not worth a line in the log.
    if (ec == std::errc::no_such_file_or_directory) continue;
    if (ec) {
      LogMessage("%s:%d (%d) %s\r\n", LOGPOS, ec.value(), dir.c_str());
      continue;
    }
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (ec) {
        LogMessage("%s:%d (%d) %s\r\n", LOGPOS, ec.value(), dir.c_str());
        break;
      }
      if (stop_.load()) break;
      std::error_code st;
      if (it->is_symlink(st) || !it->is_regular_file(st)) continue;
      const std::string name = Lower(it->path().filename().string());
      if (!EndsWith(name, ".avi") || EndsWith(name, std::string(kTempSuffix) + ".avi")) continue;
      if (EndsWith(name, std::string(kBrokenSuffix) + ".avi")) {
        HandleLeftover(it->path().string(), minAgeSeconds);
      } else {
        HandleFile(it->path().string(), minAgeSeconds);
      }
    }
    if (ec) LogMessage("%s:%d (%d) %s\r\n", LOGPOS, ec.value(), dir.c_str());
  }
  LogMessage("%s:%d AVI repair done: (checked=%d) (repaired=%d) (failed=%d) (recent=%d) (locked=%d)\r\n",
             LOGPOS, Checked(), Repaired(), Failed(), SkippedRecent(), SkippedBusy());
  std::lock_guard<std::mutex> lock(mutex_);
  done_ = true;
  doneChanged_.notify_all();
}

void AviRepairService::HandleFile(const std::string& path, int minAgeSeconds) {
  checked_.fetch_add(1, std::memory_order_relaxed);
  std::error_code ec;
  const auto written = fs::last_write_time(fs::path(path), ec);
  if (ec) {
    LogMessage("%s:%d (%d) %s\r\n", LOGPOS, ec.value(), path.c_str());
    return;
  }
  if (fs::file_time_type::clock::now() - written < std::chrono::seconds(minAgeSeconds)) {
    skippedRecent_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  switch (RepairAvi(path)) {
    case AviRepairResult::kRepaired: repaired_.fetch_add(1, std::memory_order_relaxed); break;
    case AviRepairResult::kFailed: failed_.fetch_add(1, std::memory_order_relaxed); break;
    case AviRepairResult::kBusy: skippedBusy_.fetch_add(1, std::memory_order_relaxed); break;
    case AviRepairResult::kNotNeeded: break;
  }
}

void AviRepairService::HandleLeftover(const std::string& broken, int minAgeSeconds) {
  // "<stem>.broken<ext>": the original of a two-rename repair (earlier
  // builds) that was cut short between its renames (or before removing it).
  const fs::path p(broken);
  const std::string stem = p.stem().string();
  const std::size_t cut = stem.size() - std::strlen(kBrokenSuffix);
  const std::string original =
      (p.parent_path() / (stem.substr(0, cut) + p.extension().string())).string();
  bool restored = false;
  {
    const FileLock lock(broken);
    if (!lock.held()) return;  // another instance is between its renames
    std::error_code ec;
    if (!fs::exists(fs::path(original), ec) && !ec) {
      // The repaired file never took the name: the original goes back and
      // is repaired again (after the lock is released: the repair takes
      // its own).
      // Never over a file a recorder created under the name meanwhile.
      int rc = ::renameat2(AT_FDCWD, broken.c_str(), AT_FDCWD, original.c_str(), RENAME_NOREPLACE);
      if (rc != 0 && errno == EINVAL) rc = ::rename(broken.c_str(), original.c_str());  // no support
      const int error = rc == 0 ? 0 : errno;
      LogMessage("%s:%d (%d) AVI repair left unfinished, original restored: %s\r\n", LOGPOS, error,
                 original.c_str());
      restored = rc == 0;
    } else {
      const AviHeaderInfo info = ReadHeaderInfo(original);
      if (info.isAvi && info.hasMainHeader && info.totalFrames > 0 && info.hasIndex &&
          !info.riffSizePlaceholder) {
        // The verified file has its name; removing the original was the
        // step left to do.
        fs::remove(fs::path(broken), ec);
        LogMessage("%s:%d (%d) AVI repair completed, original removed: %s\r\n", LOGPOS,
                   ec.value(), broken.c_str());
      } else {
        LogMessage("%s:%d AVI repair left %s beside an unfinished file, both kept\r\n", LOGPOS,
                   broken.c_str());
      }
    }
  }
  if (restored) HandleFile(original, minAgeSeconds);
}
