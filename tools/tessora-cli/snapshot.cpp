// snapshot: sign in, start the video, save the next presented picture as a
// JPEG file (as the viewer's snapshot writes it), sign out.
#include <cstdio>

#include "CliSession.h"
#include "Commands.h"
#include "link/CameraCommands.h"
#include "link/KeyValue.h"
#include "link/LinkMessages.h"
#include "link/MediaStream.h"
#include "video/Convert.h"
#include "video/MVideoRender.h"
#include "video/VideoSurface.h"

namespace cli {

namespace {

constexpr int kReplyWaitMs = 5000;
// Long enough for a key frame and the render's prebuffering.
constexpr int kPictureWaitMs = 20000;

}  // namespace

int RunSnapshot(int argc, char** argv) {
  const Arguments args = ParseArguments(argc, argv, kSignInOptions);
  Target target;
  if (!CheckArguments(args, 2) || !ReadTarget(args, 0, &target)) return kBadArguments;
  if (args.positional.size() < 2) {
    std::fprintf(stderr, "error: the output file is missing\n");
    return kBadArguments;
  }
  const std::string out = args.positional[1];

  // The render outlives the session: the link stops feeding its queue when
  // the session closes.
  BufferSurface surface(kKindRGB32);
  MVideoRender render(&surface);
  Session session;
  if (const int signedIn = session.SignIn(target); signedIn != kOk) return signedIn;

  Message reply;
  if (OpenVideoStream(Session::kSlot) != 1 ||
      !session.window().Wait({WM_VSTREAM_OPENED, WM_VSTREAM_REFUSED, WM_CONTROL_CLOSED}, kReplyWaitMs, &reply) ||
      reply.message != WM_VSTREAM_OPENED) {
    std::fprintf(stderr, "error: the camera did not open the video channel\n");
    return kFailed;
  }
  VideoFormat format;
  if (!ReadVideoFormat(session, &format)) return kFailed;

  if (render.Start(&format, &session.window()) != 1) {
    std::fprintf(stderr, "error: cannot show VCODEC %d at %dx%d\n", format.codec, format.width, format.height);
    return kFailed;
  }
  render.RequestSnapshot(out, 1);
  if (StartVideo(Session::kSlot, render.Queue()) != 1 ||
      !session.window().Wait({WM_VIDEO_PLAY_ACK, WM_VIDEO_PLAY_NAK, WM_CONTROL_CLOSED}, kReplyWaitMs, &reply) ||
      reply.message != WM_VIDEO_PLAY_ACK) {
    std::fprintf(stderr, "error: the camera did not start the video\n");
    return kFailed;
  }
  RequestKeyFrame(Session::kSlot);

  const bool done =
      session.window().Wait({WM_SNAPSHOT_DONE, WM_SNAPSHOT_FAILED, WM_CONTROL_CLOSED}, kPictureWaitMs, &reply);
  StopVideo(Session::kSlot);
  render.Stop();
  if (!done || reply.message == WM_CONTROL_CLOSED) {
    std::fprintf(stderr, "error: no picture arrived\n");
    return kFailed;
  }
  if (reply.message != WM_SNAPSHOT_DONE) {
    std::fprintf(stderr, "error: cannot write %s\n", out.c_str());
    return kFailed;
  }
  std::printf("saved %s (%dx%d)\n", out.c_str(), format.width / 16 * 16, format.height / 16 * 16);
  return kOk;
}

}  // namespace cli
