// Configuration header bytes, the frame queue's rules and the pacing table.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "link/MediaSink.h"
#include "base/CodecHeaders.h"
#include "video/FramePacer.h"
#include "video/MFrameQueue.h"

namespace {

std::vector<int> Bytes(const std::uint8_t* p, int n) { return std::vector<int>(p, p + n); }

TEST(ConfigHeaders, Mpeg4LayerCarriesTheSize) {
  struct Row { int w, h; std::vector<int> size; };
  const Row rows[] = {{640, 480, {0x28, 0xA0, 0x21, 0xE0}},
                      {320, 240, {0x28, 0x50, 0x20, 0xF0}},
                      {8192 + 16, 8192 + 16, {0x28, 0x04, 0x20, 0x10}}};  // modulo 8192
  for (const Row& r : rows) {
    std::uint8_t out[64] = {};
    ASSERT_EQ(MakeMpeg4ConfigHeader(r.w, r.h, out), 29);
    const std::vector<int> fixed = {0x00, 0x00, 0x01, 0xB0, 0x01, 0x00, 0x00, 0x01, 0xB5, 0x89, 0x13, 0x00,
                                    0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x20, 0x00, 0x84, 0x40, 0xFA};
    EXPECT_EQ(Bytes(out, 23), fixed);
    EXPECT_EQ(Bytes(out + 23, 4), r.size) << r.w << "x" << r.h;
    EXPECT_EQ(Bytes(out + 27, 2), (std::vector<int>{0xA3, 0x1F}));
    EXPECT_EQ(out[29], 0);
  }
}

TEST(ConfigHeaders, H264OnlyForTheTwoCameraWidths) {
  struct Row { int w; std::vector<int> bytes; };
  const Row rows[] = {
      {640, {0x00, 0x00, 0x00, 0x01, 0x67, 0x42, 0x00, 0x1E, 0xA6, 0x80, 0xA0, 0x3D, 0x90, 0x00, 0x00, 0x00, 0x01,
             0x68, 0xCE, 0x38, 0x80}},
      {320, {0x00, 0x00, 0x00, 0x01, 0x67, 0x42, 0x00, 0x1E, 0xA6, 0x81, 0x41, 0xF9, 0x00, 0x00, 0x00, 0x01, 0x68,
             0xCE, 0x38, 0x80}},
      {704, {}},
      {0, {}}};
  for (const Row& r : rows) {
    std::uint8_t out[64] = {};
    const int n = MakeH264ConfigHeader(r.w, out);
    EXPECT_EQ(Bytes(out, n), r.bytes) << r.w;
    EXPECT_EQ(out[n], 0);
  }
}

// Fills a slot as the link's reader does.
void Fill(FrameSlot* s, const char* code, std::uint32_t seq, bool key, std::uint32_t sec = 0, std::uint32_t usec = 0) {
  std::memset(s->header, 0, sizeof s->header);
  std::memcpy(s->header, code, 4);
  auto put = [&](int off, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s->header[off + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put(4, sec);
  put(8, usec);
  put(12, seq);
  put(16, 100);
  put(20, key ? 1 : 0);
  s->headerCount = 32;
  s->payloadCount = 100;
}

// Receives one frame the way the link does; returns SubmitFrame's answer.
int Receive(MFrameQueue& q, const char* code, std::uint32_t seq, bool key) {
  FrameSlot* s = q.GetFreeFrameSlot();
  EXPECT_NE(s, nullptr);
  if (s == nullptr || s->headerCount != 0) {
    ADD_FAILURE() << "slot not free";
    return -1;
  }
  Fill(s, code, seq, key);
  const int r = q.SubmitFrame(s);
  if (r == 1) {
    s->headerCount = s->payloadCount = s->ready = 0;
    q.RequireKeyFrame();
  }
  return r;
}

TEST(FrameQueue, SequenceKeyFrameAndDiscardRules) {
  struct Step { const char* code; std::uint32_t seq; bool key; int answer; int count; };
  struct Scenario { const char* name; std::vector<Step> steps; };
  const Scenario scenarios[] = {
      {"frames before the first key frame are discarded",
       {{"MMPG", 1, false, 0, 0}, {"MMPG", 2, false, 0, 0}, {"MMPG", 3, true, 0, 1}, {"MMPG", 4, false, 0, 2}}},
      {"7, 8, 10: 10 is refused and everything up to the next key frame",
       {{"MMPG", 7, true, 0, 1}, {"MMPG", 8, false, 0, 2}, {"MMPG", 10, false, 1, 2},
        {"MMPG", 11, false, 0, 2}, {"MMPG", 12, true, 0, 3}, {"MMPG", 13, false, 0, 4}}},
      {"a key frame may jump the sequence",
       {{"MMPG", 7, true, 0, 1}, {"MMPG", 20, true, 0, 2}, {"MMPG", 21, false, 0, 3}}},
      {"Motion JPEG has no sequence check",
       {{"MMJP", 5, true, 0, 1}, {"MMJP", 9, false, 0, 2}, {"MMJP", 3, false, 0, 3}}},
  };
  for (const Scenario& sc : scenarios) {
    SCOPED_TRACE(sc.name);
    MFrameQueue q;
    testing::internal::CaptureStderr();
    for (const Step& st : sc.steps) {
      EXPECT_EQ(Receive(q, st.code, st.seq, st.key), st.answer) << "seq " << st.seq;
      EXPECT_EQ(q.Count(), st.count) << "seq " << st.seq;
    }
    const std::string log = testing::internal::GetCapturedStderr();
    if (std::strstr(sc.name, "7, 8, 10")) {
      EXPECT_NE(log.find("SEQUENCE IS BROKEN.(10 : 9)\r\n"), std::string::npos);
    }
  }
}

TEST(FrameQueue, EveryNinetySecondDiscardAsksAgain) {
  MFrameQueue q;
  std::vector<int> requests;
  for (int i = 1; i <= 184; ++i) {
    if (Receive(q, "MMPG", static_cast<std::uint32_t>(i), false) == 1) requests.push_back(i);
  }
  EXPECT_EQ(requests, (std::vector<int>{92, 184}));
  EXPECT_EQ(q.Count(), 0);
}

TEST(FrameQueue, FullQueueUsesTheSpareAndDropsIt) {
  MFrameQueue q;
  testing::internal::CaptureStderr();
  for (std::uint32_t s = 1; s <= 28; ++s) ASSERT_EQ(Receive(q, "MMPG", s, s == 1), 0);
  EXPECT_EQ(q.Count(), 28);
  // The 29th goes into the spare and is dropped without a request.
  FrameSlot* spare = q.GetFreeFrameSlot();
  Fill(spare, "MMPG", 29, false);
  EXPECT_EQ(q.SubmitFrame(spare), 0);
  EXPECT_EQ(spare->headerCount, 0);
  EXPECT_EQ(q.Count(), 28);
  EXPECT_EQ(q.LastAcceptedSequence(), 28u);
  // After room is made, 30 is out of sequence.
  ASSERT_NE(q.TakeFrame(), nullptr);
  EXPECT_EQ(Receive(q, "MMPG", 30, false), 1);
  testing::internal::GetCapturedStderr();
}

// The totals a watcher reads: each scenario feeds frames (0 = the render
// takes one, -N = a frame with sequence N that is a key frame) and checks
// the counts, which a reset does not clear.
TEST(FrameQueue, TotalsOfAcceptedTakenOverflowedAndDiscardedFrames) {
  struct Totals { std::uint64_t accepted, taken, overflows, discarded, keyWaits; };
  struct Scenario { const char* name; std::vector<int> feed; bool reset; Totals want; };
  std::vector<int> full;  // 28 queued, then 3 that find the queue full
  for (int s = 1; s <= 31; ++s) full.push_back(s == 1 ? -1 : s);
  std::vector<int> fullThenTake = full;
  fullThenTake.insert(fullThenTake.end(), {0, 0, 32});  // 32 follows 28: broken
  const Scenario scenarios[] = {
      {"frames before the key frame are discarded", {2, 3, -4, 5, 0}, false, {2, 1, 0, 2, 0}},
      {"a gap discards up to the next key frame", {-1, 2, 4, 5, -6, 0, 0}, false, {3, 2, 0, 2, 1}},
      {"a full queue drops into the spare", full, false, {28, 0, 3, 0, 0}},
      {"after an overflow the next frame breaks the sequence", fullThenTake, false, {28, 2, 3, 1, 1}},
      {"a reset keeps the totals", {-1, 2, 0}, true, {2, 1, 0, 0, 0}},
  };
  for (const Scenario& sc : scenarios) {
    SCOPED_TRACE(sc.name);
    MFrameQueue q;
    testing::internal::CaptureStderr();
    for (int f : sc.feed) {
      if (f == 0) {
        EXPECT_NE(q.TakeFrame(), nullptr);
      } else {
        Receive(q, "MMPG", static_cast<std::uint32_t>(f < 0 ? -f : f), f < 0);
      }
    }
    if (sc.reset) q.ResetQueue();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(q.FramesAccepted(), sc.want.accepted);
    EXPECT_EQ(q.FramesTaken(), sc.want.taken);
    EXPECT_EQ(q.Overflows(), sc.want.overflows);
    EXPECT_EQ(q.FramesDiscarded(), sc.want.discarded);
    EXPECT_EQ(q.KeyFrameWaits(), sc.want.keyWaits);
  }
}

TEST(FrameQueue, TakeNeedsTwoAndKeepsTheHeldSlotsIntact) {
  MFrameQueue q;
  ASSERT_EQ(Receive(q, "MMPG", 1, true), 0);
  EXPECT_EQ(q.TakeFrame(), nullptr) << "one frame queued";
  ASSERT_EQ(Receive(q, "MMPG", 2, false), 0);
  FrameSlot* p = q.TakeFrame();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->Sequence(), 1u);
  EXPECT_EQ(p->headerCount, 0);  // free for the reader's bookkeeping
  EXPECT_EQ(q.LastTakenSequence(), 1u);

  // Keep the queue at its limit over several laps of the ring: the two most
  // recently taken slots are never handed out while held.
  std::uint32_t seq = 3;
  FrameSlot* held[2] = {p, nullptr};
  for (int lap = 0; lap < 100; ++lap) {
    while (q.Count() < MFrameQueue::kQueueLimit) {
      FrameSlot* s = q.GetFreeFrameSlot();
      ASSERT_NE(s, held[0]);
      ASSERT_NE(s, held[1]);
      Fill(s, "MMPG", seq++, false);
      ASSERT_EQ(q.SubmitFrame(s), 0);
    }
    held[1] = held[0];
    held[0] = q.TakeFrame();
    ASSERT_NE(held[0], nullptr);
    ASSERT_EQ(held[0]->Sequence(), q.LastTakenSequence());
  }
}

TEST(FrameQueue, ResetDropsFramesAndWaitsForAKeyFrame) {
  MFrameQueue q;
  for (std::uint32_t s = 1; s <= 5; ++s) ASSERT_EQ(Receive(q, "MMPG", s, s == 1), 0);
  FrameSlot* held = q.TakeFrame();
  q.ResetQueue();
  EXPECT_EQ(q.Count(), 0);
  EXPECT_EQ(q.LastAcceptedSequence(), 0u);
  EXPECT_TRUE(q.WaitingForKeyFrame());
  EXPECT_EQ(Receive(q, "MMPG", 6, false), 0);
  EXPECT_EQ(q.Count(), 0);
  for (std::uint32_t s = 100; s < 100 + MFrameQueue::kQueueLimit; ++s) {
    FrameSlot* slot = q.GetFreeFrameSlot();
    ASSERT_NE(slot, held) << "a held slot came back after the reset";
    Fill(slot, "MMPG", s, s == 100);
    ASSERT_EQ(q.SubmitFrame(slot), 0);
  }
  EXPECT_EQ(q.Count(), MFrameQueue::kQueueLimit);
}

TEST(FrameQueue, SlotHandedOutBeforeAResetIsNotQueued) {
  MFrameQueue q;
  FrameSlot* s = q.GetFreeFrameSlot();
  ASSERT_EQ(Receive(q, "MMPG", 1, true), 0);  // fills s
  FrameSlot* t = q.GetFreeFrameSlot();
  ASSERT_NE(s, t);
  Fill(t, "MMPG", 9, true);
  q.ResetQueue();
  EXPECT_EQ(q.SubmitFrame(t), 0);
  EXPECT_EQ(t->headerCount, 0);
  EXPECT_EQ(q.Count(), 0);
}

// Pacing over a simulated clock: frames 40 ms apart (25 fps).
TEST(FramePacer, AdjustmentTableAndWaits) {
  struct Turn { int queued; int elapsedMs; int wait; int adjustment; };
  struct Scenario { const char* name; std::vector<Turn> turns; };
  // elapsedMs: processing time between the previous wait and this turn.
  const Scenario scenarios[] = {
      {"steady 12 frames: 40 ms minus processing",
       {{12, 0, 0, 0}, {12, 5, 35, 0}, {12, 5, 35, 0}, {12, 5, 35, 0}}},
      {"22 queued: +4 each turn until below 15",
       {{22, 0, 0, 4}, {22, 5, 31, 4}, {16, 5, 31, 4}, {14, 5, 31, 0}, {14, 5, 35, 0}}},
      {"above 25: +30 per turn",
       {{26, 0, 0, 30}, {26, 5, 5, 30}, {26, 5, 5, 30}}},
      {"8 queued: -4 until above 15; 3 queued: -6",
       {{8, 0, 0, -4}, {8, 5, 39, -4}, {12, 5, 39, -4}, {16, 5, 39, 0}, {3, 5, 35, -6}, {3, 5, 41, -6}}},
  };
  for (const Scenario& sc : scenarios) {
    SCOPED_TRACE(sc.name);
    FramePacer pacer;
    std::int64_t now = 1'000'000'000;
    std::uint32_t usec = 0;
    for (size_t i = 0; i < sc.turns.size(); ++i) {
      const Turn& t = sc.turns[i];
      now += static_cast<std::int64_t>(t.elapsedMs) * 1000000;
      FrameSlot f;
      Fill(&f, "MMPG", static_cast<std::uint32_t>(i + 1), i == 0, 100 + usec / 1000000, usec % 1000000);
      const int wait = pacer.PaceFrame(f, t.queued, now);
      EXPECT_EQ(wait, t.wait) << "turn " << i;
      EXPECT_EQ(pacer.Adjustment(), t.adjustment) << "turn " << i;
      // The thread sleeps the wait; the next frame is 40 ms later in the stream.
      now += static_cast<std::int64_t>(wait) * 1000000;
      usec += 40000;
    }
  }
}

TEST(FramePacer, LateFramesAndLongGapsAreShownAtOnce) {
  FramePacer pacer;
  FrameSlot f;
  std::int64_t now = 0;
  Fill(&f, "MMPG", 1, true, 10, 0);
  EXPECT_EQ(pacer.PaceFrame(f, 12, now), 0);
  // 5 fps: 200 ms apart is a gap over 100 ms, taken as a new start.
  Fill(&f, "MMPG", 2, false, 10, 200000);
  EXPECT_EQ(pacer.PaceFrame(f, 12, now + 1000000), 0);
  EXPECT_EQ(pacer.WallTime(), pacer.StreamTime());
  // Late: the wall clock is already past the frame's time.
  Fill(&f, "MMPG", 3, false, 10, 240000);
  EXPECT_EQ(pacer.PaceFrame(f, 12, now + 80'000'000), 0);
  // Fractions of a millisecond are not lost from turn to turn.
  FramePacer p2;
  Fill(&f, "MMPG", 1, true, 0, 0);
  p2.PaceFrame(f, 12, 0);
  std::int64_t t = 0;
  for (int i = 0; i < 10; ++i) {
    t += 1'500'000;  // 1.5 ms per turn
    Fill(&f, "MMPG", 2, false, 0, 100000);
    p2.PaceFrame(f, 12, t);
  }
  EXPECT_EQ(p2.WallTime(), 15);
}

}  // namespace
