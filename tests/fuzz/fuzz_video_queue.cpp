// The frame queue takes packet headers straight from the network: any mix of
// start codes, sequence numbers, key flags and takes must keep its indices,
// its count and the 28-frame limit consistent.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "video/MFrameQueue.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static MFrameQueue* queue = new MFrameQueue();
  queue->ResetQueue();
  FrameSlot* held[2] = {nullptr, nullptr};
  for (std::size_t i = 0; i + 3 <= size; i += 3) {
    const std::uint8_t op = data[i];
    if (op % 5 == 0) {
      if (FrameSlot* s = queue->TakeFrame()) {
        held[1] = held[0];
        held[0] = s;
      }
      continue;
    }
    if (op % 17 == 1) queue->ResetQueue();
    if (op % 13 == 2) queue->RequireKeyFrame();
    FrameSlot* s = queue->GetFreeFrameSlot();
    if (s == nullptr) __builtin_trap();
    if (s->headerCount != 0 || s->payloadCount != 0) __builtin_trap();
    if (s == held[0] || s == held[1]) __builtin_trap();  // a held slot handed out
    std::memcpy(s->header, (op & 0x40) ? "MMJP" : "MMPG", 4);
    const std::uint32_t seq = data[i + 1];
    const std::uint32_t key = data[i + 2] & 1;
    std::memcpy(s->header + 12, &seq, 4);
    std::memcpy(s->header + 20, &key, 4);
    s->headerCount = 32;
    s->payloadCount = 1;
    s->payload[0] = data[i + 2];
    if (queue->SubmitFrame(s) == 1) {
      s->headerCount = s->payloadCount = s->ready = 0;
      queue->RequireKeyFrame();
    }
    if (queue->Count() < 0 || queue->Count() > MFrameQueue::kQueueLimit) __builtin_trap();
  }
  return 0;
}
