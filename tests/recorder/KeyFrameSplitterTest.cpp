// The hand-over between two recording files at a split: the previous file
// keeps every frame and sound block until the next file's first key frame,
// which opens the next file; a forced split moves at once; the owner may
// close the previous file only when no thread writes into it.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/KeyFrameSplitter.h"

namespace {

// Notes what it got: "k" a key frame, "f" another frame, "a" sound.
class NoteRecorder : public MediaRecorder {
 public:
  int WriteVideo(int, const std::uint8_t*, int keyFrame, int) override {
    got += keyFrame != 0 ? 'k' : 'f';
    return 1;
  }
  int WriteAudio(const std::uint8_t*, int) override {
    got += 'a';
    return 1;
  }
  std::string got;
};

void Feed(KeyFrameSplitter& s, const std::string& what) {
  const std::uint8_t byte = 0;
  for (char c : what) {
    if (c == 'a') {
      s.WriteAudio(&byte, 1);
    } else {
      s.WriteVideo(1, &byte, c == 'k' ? 1 : 0, 40);
    }
  }
}

TEST(KeyFrameSplitter, TheNextFileBeginsAtTheNextKeyFrame) {
  struct Case {
    const char* before;   // written before the split is asked for
    const char* after;    // written after
    bool force;           // the owner forces the split after |after|
    const char* first;    // what the first file holds
    const char* second;   // what the next file holds
  };
  const Case cases[] = {
      {"kffa", "ffakff", false, "kffaffa", "kff"},
      {"kf", "kf", false, "kf", "kf"},          // Motion JPEG: every frame a key frame
      {"kf", "ffa", false, "kfffa", ""},       // no key frame yet: all in the first
      {"kf", "ffa", true, "kfffa", ""},        // forced: the next file takes what follows
      {"", "akf", false, "a", "kf"},
  };
  for (const Case& c : cases) {
    NoteRecorder first, second;
    KeyFrameSplitter s;
    s.Reset(&first);
    Feed(s, c.before);
    s.SplitAtKeyFrame(&second);
    Feed(s, c.after);
    if (c.force) {
      s.ForceSplit();
      Feed(s, "fa");
    }
    EXPECT_EQ(first.got, c.first) << c.before << "|" << c.after;
    EXPECT_EQ(second.got, std::string(c.second) + (c.force ? "fa" : "")) << c.before << "|" << c.after;
    EXPECT_EQ(s.SplitDone(), std::string(c.after).find('k') != std::string::npos || c.force);
    s.Reset(nullptr);
    EXPECT_EQ(s.Current(), nullptr);
  }
}

// A sound block being written into the previous file when the key frame
// moves the video on: SplitDone returns only after that block is done.
TEST(KeyFrameSplitter, SplitDoneWaitsForTheWriterOfThePreviousFile) {
  class SlowRecorder : public MediaRecorder {
   public:
    int WriteVideo(int, const std::uint8_t*, int, int) override { return 1; }
    int WriteAudio(const std::uint8_t*, int) override {
      inside = true;
      while (!release.load()) std::this_thread::yield();
      inside = false;
      done = true;
      return 1;
    }
    std::atomic<bool> inside{false}, release{false}, done{false};
  };
  SlowRecorder first;
  NoteRecorder second;
  KeyFrameSplitter s;
  s.Reset(&first);
  const std::uint8_t byte = 0;
  std::thread sound([&] { s.WriteAudio(&byte, 1); });
  while (!first.inside.load()) std::this_thread::yield();
  s.SplitAtKeyFrame(&second);
  s.WriteVideo(1, &byte, 1, 40);  // the key frame: video moves on
  std::atomic<bool> returned{false};
  std::thread owner([&] {
    EXPECT_TRUE(s.SplitDone());
    returned = true;
    EXPECT_TRUE(first.done.load());
  });
  // The owner waits while the block is written (checked without a clock:
  // it cannot have returned while the writer is still inside).
  for (int i = 0; i < 1000; ++i) {
    ASSERT_FALSE(returned.load());
    std::this_thread::yield();
  }
  first.release = true;
  owner.join();
  sound.join();
  EXPECT_TRUE(returned.load());
  EXPECT_EQ(second.got, "k");
}

}  // namespace
