#include "form/FormAudio.h"

#include <QAudioDevice>
#include <QMediaDevices>

#include "QtAudioDevices.h"
#include "pane/ViewerSession.h"
#include "base/base.h"

namespace {

// Reasons the shared device cannot be opened.
constexpr unsigned kNoOutputDevice = 1;
constexpr unsigned kFormatRefused = 2;

class QtAudioDeviceFactory : public AudioDeviceFactory {
 public:
  int OpenSharedDevice(unsigned* result) override {
    if (QMediaDevices::audioOutputs().isEmpty()) {
      *result = kNoOutputDevice;
      return 0;
    }
    const QAudioDevice out = QMediaDevices::defaultAudioOutput();
    if (out.isNull() || !out.isFormatSupported(EngineAudioFormat())) {
      *result = kFormatRefused;
      return 0;
    }
    inputId_ = ChooseInput();
    return 1;
  }
  std::unique_ptr<AudioOutput> MakeOutput() override { return std::make_unique<QtAudioOutput>(); }
  std::unique_ptr<AudioInput> MakeInput() override { return std::make_unique<QtAudioInput>(inputId_); }

 private:
  // The default capture device by its id, unless it is the monitor of an
  // output (which would send the PC's own sound to the camera); then the
  // first real source.
  static QByteArray ChooseInput() {
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    auto isMonitor = [](const QAudioDevice& d) { return d.id().endsWith(".monitor"); };
    for (const QAudioDevice& d : inputs) {
      if (d.isDefault() && !isMonitor(d)) return d.id();
    }
    for (const QAudioDevice& d : inputs) {
      if (!isMonitor(d)) return d.id();
    }
    return {};
  }
  QByteArray inputId_;
};

}  // namespace

std::unique_ptr<AudioDeviceFactory> MakeQtAudioDeviceFactory() {
  return std::make_unique<QtAudioDeviceFactory>();
}

FormAudio::FormAudio(AudioDeviceFactory* factory) : factory_(factory) {
  if (factory_ == nullptr) {
    owned_ = MakeQtAudioDeviceFactory();
    factory_ = owned_.get();
  }
}

FormAudio::~FormAudio() = default;

bool FormAudio::Start() {
  unsigned result = 0;
  ready_ = factory_->OpenSharedDevice(&result) == 1;
  // Logged under the audio engine's name, where the device is made.
  if (!ready_) LogMessage("%s:%d (%x)\r\n", "MAudio", 21, result);
  return ready_;
}

void FormAudio::Attach(ViewerSession& session) {
  if (!ready_) return;
  outputs_.push_back(factory_->MakeOutput());
  inputs_.push_back(factory_->MakeInput());
  session.Audio().SetAudioDevices(outputs_.back().get(), inputs_.back().get());
}

void MuteUnselectedPane(ViewerSession& session) {
  if (session.Audio().MicOn()) session.Audio().Player().Silence();
  if (session.Audio().SpeakerOn()) {
    session.Audio().Capture().Pause();
    session.Audio().SetVolume(0, 0);
  }
}

void UnmuteSelectedPane(ViewerSession& session) {
  if (session.Audio().MicOn()) session.Audio().Player().Resume();
  if (session.Audio().SpeakerOn()) {
    session.Audio().Capture().Resume();
    session.Audio().SetVolume(ReadSettingDword(session.Settings(), settings::kSpkVolume), 0);
  }
}
