// The disk space manager: keeps recordings from filling the disk. Panes that
// record register their pane directory (day directories, inside them hour
// directories, inside those the files) with a capacity. A background thread
// measures every registered directory each 30 seconds, deletes empty hour and
// day directories, the oldest hour of a pane over its capacity, and the oldest
// hour on a filesystem whose free space has fallen to 2000 MB or less. Nothing
// younger than 3660 seconds is ever deleted. The size of a finished hour is
// cached in a "capacity" file inside it.
#pragma once

#include <sys/types.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class HDDManager {
 public:
  static constexpr int kEntries = 16;
  static constexpr int kCycleSeconds = 30;
  static constexpr std::uint64_t kFreeSpaceLimitMB = 2000;
  static constexpr std::int64_t kMinimumAgeSeconds = 3660;

  // Current UTC time in nanoseconds since 1970.
  using Clock = std::function<std::int64_t()>;
  // Bytes free to the caller on the filesystem holding |dir|; -1 on failure.
  using FreeSpace = std::function<std::int64_t(const std::string& dir)>;

  HDDManager();
  HDDManager(Clock clock, FreeSpace freeSpace);
  ~HDDManager();
  HDDManager(const HDDManager&) = delete;
  HDDManager& operator=(const HDDManager&) = delete;

  // The process-wide manager.
  static HDDManager& Instance();

  // 1 when |dir| is registered (or already was), 0 when the table is full.
  int RegisterDirectory(const std::string& dir, unsigned capacityMB);
  // 1 when an entry for |dir| was cleared, else 0.
  int UnregisterDirectory(const std::string& dir);
  // Starts the manager thread once; later calls do nothing.
  void StartDiskManager();
  // Stops and joins the thread (process end, tests).
  void StopDiskManager();

  // One cycle of the thread: measure, enforce the capacities, enforce the
  // free space.
  void RunCycle();
  void RefreshUsage();
  void EnforceCapacity();
  void EnforceFreeSpace();

  // A copy of one entry, for the owner's diagnostics and tests.
  struct EntryView {
    bool inUse = false;
    std::string dir;
    unsigned capacityMB = 0;
    unsigned usedMB = 0;
    std::string oldestDir;
  };
  EntryView Entry(int index) const;
  // Completed cycles of the thread.
  int Cycles() const;

 private:
  struct Entry_ {
    int inUse = 0;
    std::string dir;  // empty: free entry
    dev_t drive = 0;  // filesystem of dir
    unsigned capacityMB = 0;
    unsigned usedMB = 0;
    std::string oldestDir;
    std::int64_t oldestTime = 0;  // creation time, ns since 1970 (UTC)
    std::uint64_t generation = 0; // changes whenever the entry is reused
  };
  // What one measurement finds for an entry.
  struct Measure {
    std::string oldestDir;
    std::int64_t oldestTime = 0;
  };

  void ThreadMain();
  void DeleteOldestOnDrive(dev_t drive);
  std::int64_t SizeOfPaneDir(const std::string& dir, Measure& m);
  std::int64_t SizeOfDayDir(const std::string& dir, Measure& m);
  std::int64_t SizeOfHourDir(const std::string& dir, std::int64_t created);
  static std::int64_t SizeOfFiles(const std::string& dir);
  int DeleteIfOld(const std::string& path, std::int64_t created);

  Clock clock_;
  FreeSpace freeSpace_;

  mutable std::mutex lock_;
  // --- guarded by lock_ ---
  std::array<Entry_, kEntries> table_;
  std::uint64_t nextGeneration_ = 1;
  bool running_ = false;
  bool started_ = false;
  int cycles_ = 0;
  std::condition_variable wake_;
  // --- owned by the starting thread ---
  std::thread thread_;
};

// Creation time of a directory in ns since 1970: the birth time where the
// filesystem reports it, else the modification time. -1 when it cannot be
// read.
std::int64_t DirectoryCreationTime(const std::string& path);
