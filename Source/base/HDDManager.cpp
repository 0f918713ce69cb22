#include "base/HDDManager.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "base/base.h"

namespace {

constexpr std::int64_t kNsPerSecond = 1000000000;

std::int64_t SystemNow() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::int64_t SystemFreeSpace(const std::string& dir) {
  std::error_code ec;
  const std::filesystem::space_info info = std::filesystem::space(dir, ec);
  if (ec) return -1;
  return static_cast<std::int64_t>(info.available);
}

// The names of the subdirectories (symbolic links excluded) or of the plain
// files in |dir|. Returns false when it cannot be listed.
bool ListEntries(const std::string& dir, bool directories, std::vector<std::string>& out) {
  out.clear();
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return false;
  while (dirent* e = readdir(d)) {
    const char* n = e->d_name;
    if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
    unsigned char type = e->d_type;
    if (type == DT_UNKNOWN) {
      struct stat st;
      if (fstatat(dirfd(d), n, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    if ((directories && type == DT_DIR) || (!directories && type == DT_REG)) out.emplace_back(n);
  }
  closedir(d);
  return true;
}

std::int64_t FileSize(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<std::int64_t>(st.st_size);
}

}  // namespace

std::int64_t DirectoryCreationTime(const std::string& path) {
  struct statx sx;
  if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_MTIME, &sx) != 0) {
    return -1;
  }
  const struct statx_timestamp& t = (sx.stx_mask & STATX_BTIME) != 0 ? sx.stx_btime : sx.stx_mtime;
  return static_cast<std::int64_t>(t.tv_sec) * kNsPerSecond + t.tv_nsec;
}

HDDManager::HDDManager() : HDDManager(SystemNow, SystemFreeSpace) {}

HDDManager::HDDManager(Clock clock, FreeSpace freeSpace)
    : clock_(std::move(clock)), freeSpace_(std::move(freeSpace)) {}

HDDManager::~HDDManager() { StopDiskManager(); }

HDDManager& HDDManager::Instance() {
  static HDDManager manager;
  return manager;
}

int HDDManager::RegisterDirectory(const std::string& dir, unsigned capacityMB) {
  if (dir.empty()) {
    LogMessage("%s:%d\r\n", LOGPOS);
    return 0;
  }
  struct stat st;
  const dev_t drive = stat(dir.c_str(), &st) == 0 ? st.st_dev : 0;
  std::lock_guard<std::mutex> hold(lock_);
  for (Entry_& e : table_) {
    if (!e.dir.empty()) {
      if (e.dir == dir) return 1;
      continue;
    }
    e = Entry_{};
    e.dir = dir;
    e.drive = drive;
    e.capacityMB = capacityMB;
    e.inUse = 1;
    e.generation = nextGeneration_++;
    return 1;
  }
  return 0;
}

int HDDManager::UnregisterDirectory(const std::string& dir) {
  std::lock_guard<std::mutex> hold(lock_);
  for (Entry_& e : table_) {
    if (e.inUse != 0 && e.dir == dir) {
      e = Entry_{};
      return 1;
    }
  }
  return 0;
}

void HDDManager::StartDiskManager() {
  std::lock_guard<std::mutex> hold(lock_);
  if (started_) return;
  started_ = true;
  running_ = true;
  thread_ = std::thread(&HDDManager::ThreadMain, this);
}

void HDDManager::StopDiskManager() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    running_ = false;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void HDDManager::ThreadMain() {
  for (;;) {
    RunCycle();
    std::unique_lock<std::mutex> hold(lock_);
    ++cycles_;
    wake_.wait_for(hold, std::chrono::seconds(kCycleSeconds), [this] { return !running_; });
    if (!running_) return;
  }
}

void HDDManager::RunCycle() {
  RefreshUsage();
  EnforceCapacity();
  EnforceFreeSpace();
}

HDDManager::EntryView HDDManager::Entry(int index) const {
  EntryView v;
  if (index < 0 || index >= kEntries) return v;
  std::lock_guard<std::mutex> hold(lock_);
  const Entry_& e = table_[index];
  v.inUse = e.inUse != 0;
  v.dir = e.dir;
  v.capacityMB = e.capacityMB;
  v.usedMB = e.usedMB;
  v.oldestDir = e.oldestDir;
  return v;
}

int HDDManager::Cycles() const {
  std::lock_guard<std::mutex> hold(lock_);
  return cycles_;
}

// The table lock is held only to copy entries in and results out; the disk
// work runs without it, so registration never waits for a measurement. A
// result is stored only when its entry was not reused in between.
void HDDManager::RefreshUsage() {
  struct Work {
    int index;
    std::uint64_t generation;
    std::string dir;
  };
  std::vector<Work> work;
  {
    std::lock_guard<std::mutex> hold(lock_);
    for (int i = 0; i < kEntries; ++i) {
      Entry_& e = table_[i];
      if (e.inUse == 0) continue;
      e.oldestDir.clear();
      e.oldestTime = 0;
      e.usedMB = 0;
      work.push_back({i, e.generation, e.dir});
    }
  }
  for (const Work& w : work) {
    Measure m;
    const std::int64_t bytes = SizeOfPaneDir(w.dir, m);
    struct stat st;
    const bool haveDrive = stat(w.dir.c_str(), &st) == 0;
    std::lock_guard<std::mutex> hold(lock_);
    Entry_& e = table_[w.index];
    if (e.inUse == 0 || e.generation != w.generation) continue;
    e.oldestDir = m.oldestDir;
    e.oldestTime = m.oldestTime;
    if (bytes > 0) e.usedMB = static_cast<unsigned>(bytes / 1048576);
    if (haveDrive) e.drive = st.st_dev;
  }
}

std::int64_t HDDManager::SizeOfPaneDir(const std::string& dir, Measure& m) {
  std::vector<std::string> days;
  if (!ListEntries(dir, true, days)) return 0;
  std::int64_t total = 0;
  for (const std::string& name : days) {
    const std::string day = dir + "/" + name;
    const std::int64_t bytes = SizeOfDayDir(day, m);
    if (bytes > 0) {
      total += bytes;
      continue;
    }
    LogMessage("DELETE EMPTY DAY DIR : [%s]\r\n", day.c_str());
    // A day whose newest hour is still young is kept: its hour may just have
    // been created for a recording whose first bytes are not on disk yet.
    std::vector<std::string> hours;
    std::int64_t newest = DirectoryCreationTime(day);
    if (ListEntries(day, true, hours)) {
      for (const std::string& h : hours) {
        const std::int64_t t = DirectoryCreationTime(day + "/" + h);
        if (t > newest) newest = t;
      }
    }
    if (DeleteIfOld(day, newest) == 0) LogMessage("%s:%d\r\n", LOGPOS);
  }
  return total;
}

std::int64_t HDDManager::SizeOfDayDir(const std::string& dir, Measure& m) {
  std::vector<std::string> hours;
  if (!ListEntries(dir, true, hours)) {
    LogMessage("%s:%d [%s]\r\n", LOGPOS, dir.c_str());
    return 0;
  }
  std::int64_t total = 0;
  for (const std::string& name : hours) {
    const std::string hour = dir + "/" + name;
    const std::int64_t created = DirectoryCreationTime(hour);
    if (m.oldestDir.empty() || m.oldestTime > created) {
      m.oldestDir = hour;
      m.oldestTime = created;
    }
    const std::int64_t bytes = SizeOfHourDir(hour, created);
    if (bytes > 0) {
      total += bytes;
      continue;
    }
    LogMessage("DELETE EMPTY TIME DIR : [%s]\r\n", hour.c_str());
    if (DeleteIfOld(hour, created) == 0) LogMessage("%s:%d\r\n", LOGPOS);
  }
  return total;
}

std::int64_t HDDManager::SizeOfHourDir(const std::string& dir, std::int64_t created) {
  const std::string cache = dir + "/capacity";
  if (FILE* f = std::fopen(cache.c_str(), "rb")) {
    char text[1025];
    const size_t n = std::fread(text, 1, 1024, f);
    std::fclose(f);
    text[n] = '\0';
    return std::strtoll(text, nullptr, 10);
  }
  std::vector<std::string> names;
  if (!ListEntries(dir, false, names)) {
    LogMessage("%s:%d [%s]\r\n", LOGPOS, dir.c_str());
    return 0;
  }
  std::int64_t total = 0;
  for (const std::string& n : names) total += FileSize(dir + "/" + n);
  if (ListEntries(dir, true, names)) {
    for (const std::string& n : names) total += SizeOfFiles(dir + "/" + n);
  }
  const std::int64_t now = clock_();
  if (created >= 0 && (now - created) / kNsPerSecond > kMinimumAgeSeconds) {
    if (FILE* f = std::fopen(cache.c_str(), "wb")) {
      std::fprintf(f, "%lld", static_cast<long long>(total));
      std::fclose(f);
    } else {
      LogMessage("%s:%d [%s]\r\n", LOGPOS, cache.c_str());
    }
  }
  return total;
}

std::int64_t HDDManager::SizeOfFiles(const std::string& dir) {
  std::vector<std::string> names;
  if (!ListEntries(dir, false, names)) return 0;
  std::int64_t total = 0;
  for (const std::string& n : names) {
    total += FileSize(dir + "/" + n);
    std::this_thread::yield();
  }
  return total;
}

int HDDManager::DeleteIfOld(const std::string& path, std::int64_t created) {
  if (path.empty() || created < 0) return 1;  // nothing there to delete
  const std::int64_t age = (clock_() - created) / kNsPerSecond;
  if (age <= kMinimumAgeSeconds) return 1;
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
  if (ec && ec != std::errc::no_such_file_or_directory) {
    LogMessage("%s:%d (%08x)\r\n", "HDDManager", __LINE__, static_cast<unsigned>(ec.value()));
    LogMessage("[%s]\r\n", path.c_str());
    return 0;
  }
  return 1;
}

void HDDManager::EnforceCapacity() {
  struct Work {
    int index;
    std::uint64_t generation;
    std::string oldestDir;
    std::int64_t oldestTime;
  };
  std::vector<Work> work;
  {
    std::lock_guard<std::mutex> hold(lock_);
    for (int i = 0; i < kEntries; ++i) {
      const Entry_& e = table_[i];
      if (e.inUse != 0 && e.capacityMB > 0 && e.usedMB >= e.capacityMB) {
        work.push_back({i, e.generation, e.oldestDir, e.oldestTime});
      }
    }
  }
  for (const Work& w : work) {
    if (DeleteIfOld(w.oldestDir, w.oldestTime) != 1) continue;
    std::lock_guard<std::mutex> hold(lock_);
    Entry_& e = table_[w.index];
    if (e.generation == w.generation) e.oldestDir.clear();
  }
}

void HDDManager::EnforceFreeSpace() {
  struct Work {
    std::string dir;
    dev_t drive;
  };
  std::vector<Work> work;
  {
    std::lock_guard<std::mutex> hold(lock_);
    for (const Entry_& e : table_) {
      if (e.inUse != 0) work.push_back({e.dir, e.drive});
    }
  }
  for (const Work& w : work) {
    const std::int64_t free = freeSpace_(w.dir);
    if (free >= 0 && static_cast<std::uint64_t>(free) / 1048576 <= kFreeSpaceLimitMB) {
      DeleteOldestOnDrive(w.drive);
    }
  }
}

// Deletes the oldest hour among the entries on |drive|. The entry keeps its
// oldestDir, so further calls in the same cycle pick the same, already
// deleted hour and remove nothing more: one hour per drive and cycle.
void HDDManager::DeleteOldestOnDrive(dev_t drive) {
  std::string path;
  std::int64_t created = 0;
  {
    std::lock_guard<std::mutex> hold(lock_);
    const Entry_* best = nullptr;
    for (const Entry_& e : table_) {
      if (e.inUse == 0 || e.drive != drive || e.oldestDir.empty()) continue;
      if (best == nullptr || e.oldestTime < best->oldestTime) best = &e;
    }
    if (best == nullptr) return;
    path = best->oldestDir;
    created = best->oldestTime;
  }
  DeleteIfOld(path, created);
}
