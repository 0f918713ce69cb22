// The media channels: opening the video and audio connections, reading video
// packets (32-byte header with the start code "MMPG" or "MMJP", then one
// compressed frame of at most 256000 bytes) straight into a slot of the
// viewer's frame queue, and reading the raw mu-law audio stream.
#pragma once

#include <cstdint>

#include "link/ChannelIo.h"
#include "link/LinkEngine.h"

inline constexpr int kResyncPeekBytes = 1500;
inline constexpr int kAudioReceiveBytes = 8196;

// Connects the video channel and sends OPEN VSTREAM on it. Returns 1 or 0.
int OpenVideoStream(int slot);
// Connects the audio channel and sends OPEN ASTREAM on it. Returns 1, or -1
// when it failed. (Talk-back goes through the slot's TalkBackSender, never a
// socket number.)
int OpenAudioStream(int slot);

// Reads one whole video packet into a free frame slot and hands it over. A
// broken start code is logged, one key frame is requested, and the stream is
// resynchronised on the next start code. A payload size above 256000 or below
// 0 abandons the frame. A peer that stalls mid-frame is given up after 5 s.
ReadResult ReceiveVideoFrame(PHD* phd);

// Reads up to 8196 audio bytes and hands them to the audio sink (dropped with
// a log line when there is none).
ReadResult ReceiveAudio(PHD* phd);

// Bytes the video reader copied from the socket into frame slots (header and
// payload), for measuring: each byte is copied exactly once.
std::uint64_t VideoBytesCopied();
// Audio bytes read while no audio sink was registered, and so dropped (all
// slots). Once a count includes some bytes, the reader has finished with
// them: a sink registered afterwards never receives them.
std::uint64_t AudioBytesDropped();
