#include "camsim/StreamLoop.h"

#include <atomic>
#include <cstring>
#include <thread>

#include "base/base.h"
#include "camsim/Encoders.h"

namespace camsim {

namespace {
struct KindName {
  VideoKind kind;
  const char* name;
};
constexpr KindName kKindNames[] = {
    {VideoKind::kH264, "h264"},
    {VideoKind::kMpeg4, "mpeg4"},
    {VideoKind::kMpeg4Bare, "mpeg4-bare"},
    {VideoKind::kJpeg422, "mjpeg422"},
    {VideoKind::kJpeg420, "mjpeg420"},
    {VideoKind::kJpeg422NoDht, "mjpeg422-nodht"},
    {VideoKind::kJpeg420NoDht, "mjpeg420-nodht"},
    {VideoKind::kLavcJpeg422, "lavc-mjpeg422"},
};
}  // namespace

bool IsJpegKind(VideoKind kind) {
  return kind != VideoKind::kH264 && kind != VideoKind::kMpeg4 && kind != VideoKind::kMpeg4Bare;
}

bool ParseVideoKind(const std::string& name, VideoKind* kind) {
  for (const KindName& k : kKindNames) {
    if (name == k.name) {
      *kind = k.kind;
      return true;
    }
  }
  return false;
}

const char* VideoKindName(VideoKind kind) {
  for (const KindName& k : kKindNames) {
    if (k.kind == kind) return k.name;
  }
  return "?";
}

int StreamLoop::NextKeyFrame(int index) const {
  const int n = FrameCount();
  for (int i = 0; i < n; ++i) {
    int j = (index + i) % n;
    if (frames[static_cast<std::size_t>(j)].key) return j;
  }
  return 0;
}

std::unique_ptr<StreamLoop> EncodeLoop(const LoopKey& key) {
  auto loop = std::make_unique<StreamLoop>();
  loop->key = key;
  // Whole groups of 25 pictures, so the loop restarts on a key frame.
  int count = key.seconds * key.fps;
  count = (count + 24) / 25 * 25;
  if (count <= 0) count = 25;
  int ok = 0;
  switch (key.kind) {
    case VideoKind::kH264:
    case VideoKind::kMpeg4:
    case VideoKind::kMpeg4Bare:
    case VideoKind::kLavcJpeg422:
      ok = EncodeWithLavc(key, count, loop.get());
      break;
    default:
      ok = EncodeWithJpeg(key, count, loop.get());
      break;
  }
  if (!ok || loop->frames.empty()) {
    LogMessage("%s:%d (%d)\r\n", LOGPOS, static_cast<int>(key.kind));
    return nullptr;
  }
  loop->bytes.shrink_to_fit();
  return loop;
}

int LoopCache::Prepare(const std::vector<LoopKey>& keys) {
  std::vector<LoopKey> missing;
  {
    std::lock_guard<std::mutex> hold(lock_);
    for (const LoopKey& k : keys) {
      if (loops_.count(k)) continue;
      bool dup = false;
      for (const LoopKey& m : missing) dup = dup || !(m < k || k < m);
      if (!dup) missing.push_back(k);
    }
  }
  std::atomic<std::size_t> next{0};
  std::atomic<int> failures{0};
  auto worker = [&] {
    for (;;) {
      std::size_t i = next.fetch_add(1);
      if (i >= missing.size()) return;
      std::unique_ptr<StreamLoop> loop = EncodeLoop(missing[i]);
      if (!loop) {
        failures.fetch_add(1);
        continue;
      }
      std::lock_guard<std::mutex> hold(lock_);
      loops_[missing[i]] = std::move(loop);
    }
  };
  std::thread helper;
  if (missing.size() > 1) helper = std::thread(worker);
  worker();
  if (helper.joinable()) helper.join();
  return failures.load() == 0 ? 1 : 0;
}

const StreamLoop* LoopCache::Get(const LoopKey& key) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = loops_.find(key);
    if (it != loops_.end()) return it->second.get();
  }
  std::unique_ptr<StreamLoop> loop = EncodeLoop(key);
  if (!loop) return nullptr;
  std::lock_guard<std::mutex> hold(lock_);
  auto& slot = loops_[key];
  if (!slot) slot = std::move(loop);
  return slot.get();
}

}  // namespace camsim
