// The alarm sound of a pane: the WAV file the user chose, or the program's
// own short two-tone alarm. Played asynchronously on the default output
// device; a new alarm sound replaces one still playing. UI thread.
#pragma once

#include <QAudioFormat>
#include <QByteArray>
#include <QString>
#include <functional>

// PCM samples and their format, as they go to the output device.
struct PcmSound {
  QAudioFormat format;
  QByteArray samples;
};

enum class AlarmSoundSource { File, BuiltIn };

// The extension of |file|'s name: from the last dot of its last path part
// ('/' or '\\' separate parts), empty without one.
QString FileExtension(const QString& file);
// Which sound plays for the stored |file|: the file itself only when its
// extension is exactly ".wav" (lower case), the file can be read and it holds
// PCM a WAV reader understands; the built-in sound otherwise. |sound| (may be
// null) receives the file's samples.
AlarmSoundSource ChooseAlarmSound(const QString& file, PcmSound* sound = nullptr);
// Reads a RIFF WAVE image: integer PCM of 8, 16 or 32 bits or 32-bit float,
// 1 or 2 channels, 1000..192000 samples per second. False for anything else.
bool ReadWav(const QByteArray& image, PcmSound* out);
// The program's own alarm: 16-bit mono, two tones taking turns, under a
// second long.
const PcmSound& BuiltInAlarmSound();

// Plays |file| or the built-in sound (ChooseAlarmSound), replacing a sound
// still playing. Without an output device nothing plays (logged).
void PlayAlarmSound(const QString& file);
// Stops a sound still playing.
void StopAlarmSound();
// Tests: a hook that receives the stored file name instead of the device
// (null: play). Returns the previous hook.
using AlarmSoundHook = std::function<void(const QString& file)>;
AlarmSoundHook SetAlarmSoundHook(AlarmSoundHook hook);
