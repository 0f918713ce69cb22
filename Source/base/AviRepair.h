// Repair of AVI recordings that a killed process left unfinished. The
// recorder writes the RIFF header with placeholders (RIFF size, total frame
// count) and the frames after it, flushing every second; only Close writes
// the index ('idx1') and the real header values. A file cut off before that
// decodes but claims no length. Repair remuxes the frames (no re-encoding)
// into a new file with the same libraries, verifies it, and only then puts
// it in place of the original.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What the RIFF header area of a file says. Every field is filled from the
// bytes handed in only; nothing is assumed about the rest of the file.
struct AviHeaderInfo {
  bool isAvi = false;           // "RIFF" .... "AVI "
  bool hasMainHeader = false;   // 'avih' found whole inside 'hdrl'
  bool riffSizePlaceholder = false;  // RIFF size still 0xFFFFFFFF
  std::uint32_t totalFrames = 0;     // from 'avih' (0 until Close)
  bool hasMovi = false;         // the 'movi' list header was found
  bool moviHasChunk = false;    // at least one whole chunk header after it
  bool hasIndex = false;        // 'idx1' seen where the buffer shows it
  bool hasExtension = false;    // a second RIFF ('AVIX') after the first
  // Where 'idx1' would start (just past the 'movi' list), when the list's
  // size is known; 0 when the size is still the placeholder.
  std::uint64_t moviEnd = 0;
  // Where a following 'AVIX' RIFF would start, when the RIFF size is known.
  std::uint64_t riffEnd = 0;

  // Header never completed, frames present: the file wants repair.
  bool Unfinished() const;
};

// Parses the first |size| bytes of a file. Never reads past |size| and never
// trusts a size field: safe on arbitrary bytes.
AviHeaderInfo InspectAviHeader(const std::uint8_t* data, std::size_t size);
// Completes |info| from |size| bytes read at |offset| of the file: marks the
// index when 'idx1' starts at info->moviEnd, the extension when 'RIFF'
// 'AVIX' starts at info->riffEnd. Bytes at other offsets are ignored.
void InspectAviTail(AviHeaderInfo* info, std::uint64_t offset, const std::uint8_t* data,
                    std::size_t size);

// Reads the header area of |path| (bounded reads) and says whether it is an
// AVI that a killed process left unfinished. False for a finished file, a
// file that is no AVI, a truncated header or a file that cannot be read.
bool AviNeedsRepair(const std::string& path);

enum class AviRepairResult {
  kRepaired,
  kNotNeeded,
  kFailed,
  kBusy,  // locked by a recorder writing it or by another repair
};

struct AviRepairStats {
  int frames = 0;        // video frames in the repaired file
  double seconds = 0.0;  // its duration
};

// Repairs |path| (UTF-8) in place when AviNeedsRepair says so: remux into
// "<name>.repair.avi" beside it, verify, push it and the folder to the
// disk, then rename it over the original in one step (the name never goes
// missing). On any failure the original is left as it was and the
// temporary file is removed. Logs every outcome. Blocking; any thread. An
// exclusive lock on the file (flock) keeps a second caller or a second
// instance of the program off it, and the recorder holds the same lock
// while it writes: a file whose lock is taken gives kBusy and is not
// touched. A "<name>.broken.avi" already beside the file (a repair of an
// earlier build cut short; maybe the only copy) makes it fail without
// touching anything.
AviRepairResult RepairAvi(const std::string& path, AviRepairStats* stats = nullptr);

// Repairs unfinished recordings under a set of directories on a worker
// thread of its own.
//
// Threads: Start, Stop, Wait and the destructor are called by the owner's
// thread (one thread); the worker thread walks the directories and repairs.
// The directory list is copied into the worker at Start and not shared. The
// counters are atomics, readable from any thread. mutex_ guards done_ only.
class AviRepairService {
 public:
  static constexpr int kDefaultMinAgeSeconds = 30;

  AviRepairService() = default;
  ~AviRepairService();  // Stop()
  AviRepairService(const AviRepairService&) = delete;
  AviRepairService& operator=(const AviRepairService&) = delete;

  // Starts the worker over |directories| (walked recursively, symbolic links
  // not followed). Files modified less than |minAgeSeconds| ago are skipped:
  // another running instance may still be recording into them; files a
  // recorder or another repair holds locked are skipped too. A
  // "<name>.broken.avi" left by a repair cut short goes back to its name and
  // is repaired again when the repaired file never took that name, and is
  // removed when the finished repaired file did. Returns false when a worker
  // is already running.
  bool Start(std::vector<std::string> directories, int minAgeSeconds = kDefaultMinAgeSeconds);
  // Asks the worker to end after the file in hand and joins it.
  void Stop();
  // Waits up to |timeoutMs| for the worker to finish its walk; true when it has.
  bool Wait(int timeoutMs);

  int Checked() const { return checked_.load(std::memory_order_relaxed); }
  int Repaired() const { return repaired_.load(std::memory_order_relaxed); }
  int Failed() const { return failed_.load(std::memory_order_relaxed); }
  int SkippedRecent() const { return skippedRecent_.load(std::memory_order_relaxed); }
  int SkippedBusy() const { return skippedBusy_.load(std::memory_order_relaxed); }

 private:
  void Run(std::vector<std::string> directories, int minAgeSeconds);
  void HandleFile(const std::string& path, int minAgeSeconds);
  // A "<name>.broken.avi" left by a repair that was itself cut short.
  void HandleLeftover(const std::string& broken, int minAgeSeconds);

  std::thread worker_;  // owner's thread only
  std::atomic<bool> stop_{false};
  std::atomic<int> checked_{0};        // *.avi files looked at
  std::atomic<int> repaired_{0};
  std::atomic<int> failed_{0};
  std::atomic<int> skippedRecent_{0};  // too new to touch
  std::atomic<int> skippedBusy_{0};    // locked: being recorded or repaired
  std::mutex mutex_;
  std::condition_variable doneChanged_;
  bool done_ = true;  // guarded by mutex_
};
