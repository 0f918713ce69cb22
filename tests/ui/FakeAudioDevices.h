// Sound devices for form tests: a factory that says whether there is an
// output and hands out devices that count the calls the form's rules make.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "form/FormAudio.h"

struct FakeOutput : AudioOutput {
  int Open() override { ++opens; return 1; }
  void Close() override {}
  int Play() override { ++plays; return 1; }
  void Stop() override { ++stops; }
  void Rewind() override { ++rewinds; }
  int Restore() override { return 1; }
  int Write(const std::uint8_t*, int bytes) override { return bytes; }
  std::atomic<int> opens{0}, plays{0}, stops{0}, rewinds{0};
};

struct FakeInput : AudioInput {
  int Open() override { return 1; }
  void Close() override {}
  int Start() override { ++starts; return 1; }
  void Stop() override { ++stops; }
  int Wait(int) override { return 0; }
  int Available() override { return 0; }
  int Read(std::uint8_t*, int) override { return 0; }
  std::atomic<int> starts{0}, stops{0};
};

class FakeAudioFactory : public AudioDeviceFactory {
 public:
  explicit FakeAudioFactory(bool hasOutput = true) : hasOutput_(hasOutput) {}
  int OpenSharedDevice(unsigned* result) override {
    if (!hasOutput_) *result = 1;
    return hasOutput_ ? 1 : 0;
  }
  std::unique_ptr<AudioOutput> MakeOutput() override {
    auto o = std::make_unique<FakeOutput>();
    outputs.push_back(o.get());
    return o;
  }
  std::unique_ptr<AudioInput> MakeInput() override {
    auto i = std::make_unique<FakeInput>();
    inputs.push_back(i.get());
    return i;
  }
  // In pane order; owned by the form.
  std::vector<FakeOutput*> outputs;
  std::vector<FakeInput*> inputs;

 private:
  bool hasOutput_;
};
