// Events and faults on command (admin port and standard input), the camera
// restart, and the firmware update flow the camera drives.
#include <cctype>
#include <unistd.h>

#include <sstream>

#include "base/base.h"
#include "camsim/Server.h"
#include "camsim/Wire.h"

namespace camsim {

namespace {
constexpr const char* kHelp =
    "commands (CAM is a camera number or * for all):\n"
    "  motion CAM                 ALARM MOTION DETECT\n"
    "  sensor CAM [ACTIVE]        ALARM SENSOR DETECT with SENSOR_ACTIVE (default 1)\n"
    "  close CAM CODE             CLOSE with CODE (401..404), then hang up\n"
    "  drop CAM [video|audio]     drop the control connections (or only the video\n"
    "                             or audio channels) without a word\n"
    "  stall CAM SECONDS          send no video for that long\n"
    "  garbage CAM N              N garbage bytes before the next video packet\n"
    "  oversize CAM               next video packet claims a 256001-byte payload\n"
    "  gap CAM [N]                skip N sequence numbers (default 1)\n"
    "  split CAM                  send the next video packet in pieces with pauses\n"
    "  refuse CAM CODE            refuse the next sign-in with CODE\n"
    "  key CAM                    the camera key was pressed (CONTROL KEY GET)\n"
    "  mdfail CAM                 MDALARM CONNECT NAK (alarm server unreachable)\n"
    "  restart CAM SECONDS        drop everything and refuse connections\n"
    "  status                     one line per camera\n"
    "  help\n";
}  // namespace

void Server::Broadcast(Camera* cam, const char* cls, const char* mtd, const char* extraKey, int extraValue) {
  for (auto& c : conns_) {
    if (c->kind != ConnKind::kControl || c->camera != cam->cfg.index || !c->signedIn || c->fd < 0) continue;
    CameraMessage r(c->sessionId.c_str(), c->viewerId.c_str());
    const bool alarm = std::string(mtd) == "DETECT";
    r.Line("CMD", alarm ? "ALARM" : std::string(cls) == "CLOSE" ? "CLOSE" : "CONTROL");
    if (std::string(cls) != "CLOSE") r.Line("CLS", cls).Line("MTD", mtd);
    if (std::string(cls) == "MDALARM") {
      CameraMessage s(c->sessionId.c_str(), c->viewerId.c_str());
      s.Line("CMD", "SETUP").Line("CLS", "MDALARM").Line("MTD", "CONNECT").Line("RSP", "NAK");
      const char* t = s.Finish();
      Send(c.get(), t, s.length());
      continue;
    }
    r.Line("RSP", "ACK");
    if (extraKey) r.Line(extraKey, extraValue);
    const char* t = r.Finish();
    Send(c.get(), t, r.length());
    if (std::string(cls) == "CLOSE") c->closeAt = Clock::now() + std::chrono::milliseconds(500);
  }
}

void Server::Restart(Camera* cam, int seconds) {
  // Stop listening before dropping the connections: a viewer that sees its
  // connection drop and reconnects at once must be refused.
  if (cam->listenFd >= 0) {
    close(cam->listenFd);
    cam->listenFd = -1;
  }
  for (auto& c : conns_) {
    if (c->camera == cam->cfg.index && c->fd >= 0) CloseConn(c.get());
  }
  cam->update = UpdateFlow{};
  cam->reopenAt = Clock::now() + std::chrono::seconds(seconds);
  events_.Note(cam->cfg.index, "admin", "out", "EVENT=restart;SECONDS=" + std::to_string(seconds));
}

std::string Server::Command(const std::string& line) {
  std::istringstream in(line);
  std::string verb, target;
  in >> verb;
  if (verb.empty()) return "";
  if (verb == "help") return kHelp;
  if (verb == "status") {
    std::string out;
    for (auto& cam : cams_) {
      out += "camera " + std::to_string(cam->cfg.index) + " port " + std::to_string(cam->port) + " " +
             VideoKindName(cam->key.kind) + " " + std::to_string(cam->key.width) + "x" +
             std::to_string(cam->key.height) + " signed-in " + std::to_string(SignedInCount(*cam)) + " seq " +
             std::to_string(cam->sequence) + " md " + std::to_string(cam->cfg.mdEnable) +
             (cam->listenFd < 0 ? " restarting" : "") + "\n";
    }
    return out + "OK\n";
  }
  in >> target;
  std::vector<Camera*> targets;
  for (auto& cam : cams_) {
    if (target == "*" || target == std::to_string(cam->cfg.index)) targets.push_back(cam.get());
  }
  if (targets.empty()) return "ERR no camera " + target + "\n";
  std::string word;  // the rest of the line as a word ("drop CAM video")
  std::getline(in >> std::ws, word);
  while (!word.empty() && std::isspace(static_cast<unsigned char>(word.back()))) word.pop_back();
  std::istringstream rest(word);
  long arg = -1;
  const bool hasArg = static_cast<bool>(rest >> arg);
  auto needArg = [&](long lo, long hi) { return hasArg && arg >= lo && arg <= hi; };
  for (Camera* cam : targets) {
    if (verb == "motion") {
      Broadcast(cam, "MOTION", "DETECT", nullptr, 0);
    } else if (verb == "sensor") {
      cam->cfg.sensorActive = hasArg ? static_cast<int>(arg) : 1;
      Broadcast(cam, "SENSOR", "DETECT", "SENSOR_ACTIVE", cam->cfg.sensorActive);
    } else if (verb == "close") {
      if (!needArg(0, 100000)) return "ERR close CAM CODE\n";
      Broadcast(cam, "CLOSE", "", "CODE", static_cast<int>(arg));
    } else if (verb == "drop") {
      // The whole session, or only its video or audio channel.
      const ConnKind kind = word == "video" ? ConnKind::kVideo : word == "audio" ? ConnKind::kAudio : ConnKind::kControl;
      if (kind == ConnKind::kControl && !word.empty()) return "ERR drop CAM [video|audio]\n";
      for (auto& c : conns_) {
        if (c->kind != kind || c->camera != cam->cfg.index || c->fd < 0) continue;
        if (kind == ConnKind::kControl) {
          CloseSession(c.get());
        } else {
          CloseConn(c.get());
        }
      }
    } else if (verb == "stall") {
      if (!needArg(0, 3600)) return "ERR stall CAM SECONDS\n";
      cam->stallUntil = Clock::now() + std::chrono::seconds(arg);
    } else if (verb == "garbage") {
      if (!needArg(1, 1000000)) return "ERR garbage CAM N\n";
      cam->garbageNext = static_cast<int>(arg);
    } else if (verb == "oversize") {
      cam->oversizeNext = true;
    } else if (verb == "gap") {
      cam->gapNext = hasArg ? static_cast<int>(arg) : 1;
      if (cam->gapNext < 1) return "ERR gap CAM [N>0]\n";
    } else if (verb == "split") {
      cam->splitNext = true;
    } else if (verb == "refuse") {
      if (!needArg(1, 100000)) return "ERR refuse CAM CODE\n";
      cam->refuseNextCode = static_cast<int>(arg);
    } else if (verb == "key") {
      Broadcast(cam, "KEY", "GET", nullptr, 0);
    } else if (verb == "mdfail") {
      Broadcast(cam, "MDALARM", "CONNECT", nullptr, 0);
    } else if (verb == "restart") {
      if (!needArg(0, 3600)) return "ERR restart CAM SECONDS\n";
      Restart(cam, static_cast<int>(arg));
    } else {
      return "ERR unknown command " + verb + " (try help)\n";
    }
    events_.Note(cam->cfg.index, "admin", "in", "COMMAND=" + line);
  }
  return "OK\n";
}

void Server::HandleAdminInput(Conn* c) {
  std::size_t nl;
  while ((nl = c->in.find('\n')) != std::string::npos) {
    std::string line = c->in.substr(0, nl);
    c->in.erase(0, nl + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string answer = Command(line);
    if (!answer.empty()) Send(c, answer.data(), static_cast<int>(answer.size()));
  }
  if (c->in.size() > 4096) c->in.clear();
}

void Server::ReadStdin() {
  char buffer[1024];
  ssize_t n = read(0, buffer, sizeof buffer);
  if (n <= 0) {
    stdinOpen_ = false;
    return;
  }
  stdinBuffer_.append(buffer, static_cast<std::size_t>(n));
  std::size_t nl;
  while ((nl = stdinBuffer_.find('\n')) != std::string::npos) {
    std::string answer = Command(stdinBuffer_.substr(0, nl));
    stdinBuffer_.erase(0, nl + 1);
    if (!answer.empty()) {
      std::fputs(answer.c_str(), stdout);
      std::fflush(stdout);
    }
  }
}

// The update flow. Every progress code travels as an UPDATE_START reply; the
// viewer answers the questions (406, 408, 410) with the next method.
void Server::SendProgress(Camera* cam, bool ack, int code) {
  Conn* c = cam->update.session;
  if (!c || c->fd < 0) return;
  CameraMessage r(c->sessionId.c_str(), c->viewerId.c_str());
  r.Line("CMD", "SETUP").Line("CLS", "MAINTENANCE").Line("MTD", "UPDATE_START");
  r.Line("RSP", ack ? "ACK" : "NAK").Line("CODE", code);
  const char* t = r.Finish();
  Send(c, t, r.length());
}

void Server::UpdateCommand(Conn* c, const char* mtdText) {
  Camera* cam = cams_[static_cast<std::size_t>(c->camera)].get();
  UpdateFlow& u = cam->update;
  const std::string mtd = mtdText;
  const auto now = Clock::now();
  const auto step = std::chrono::milliseconds(options_.updateStepMs);
  auto answerOk = [&](int question) { return u.step == question && u.waitingAnswer && u.session == c; };
  if (mtd == "UPDATE_START") {
    if (u.step && u.session != c) {
      // Another viewer's update is running.
      u.session = c;
      SendProgress(cam, false, 511);
      return;
    }
    u = UpdateFlow{};
    u.session = c;
    u.step = 405;
    SendProgress(cam, true, 405);
    u.nextAt = now + step;
    return;
  }
  if (mtd == "UPDATE_CANCEL") {
    if (u.step && u.session == c) {
      SendProgress(cam, false, 520);
      u = UpdateFlow{};
    }
    return;
  }
  int next = 0;
  if (mtd == "UPDATE_DOWNLOAD" && answerOk(406)) next = 407;
  if (mtd == "UPDATE_EXECUTE" && answerOk(408)) next = 409;
  if (mtd == "UPDATE_RESTART" && answerOk(410)) next = 411;
  if (!next) return;  // not the question asked: ignored
  u.step = next;
  u.waitingAnswer = false;
  SendProgress(cam, true, next);
  u.nextAt = now + step;
}

void Server::UpdateTick(Camera* cam, Clock::time_point now) {
  UpdateFlow& u = cam->update;
  if (!u.step) return;
  if (u.waitingAnswer) {
    if (now >= u.answerBy) {
      SendProgress(cam, false, 519);
      u = UpdateFlow{};
    }
    return;
  }
  if (now < u.nextAt) return;
  const int fail = cam->cfg.updateFail;
  auto failWith = [&](int code) {
    SendProgress(cam, false, code);
    u = UpdateFlow{};
  };
  auto ask = [&](int question) {
    u.step = question;
    u.waitingAnswer = true;
    u.answerBy = now + std::chrono::seconds(options_.updateAnswerSeconds);
    SendProgress(cam, true, question);
  };
  switch (u.step) {
    case 405:
      if (fail >= 511 && fail <= 514) return failWith(fail);
      return ask(406);
    case 407:
      if (fail >= 515 && fail <= 517) return failWith(fail);
      return ask(408);
    case 409:
      if (fail == 518) return failWith(fail);
      return ask(410);
    case 411: {
      // Installed and restarted: everyone else was told why they were cut.
      Conn* owner = u.session;
      for (auto& c : conns_) {
        if (c->kind != ConnKind::kControl || c->camera != cam->cfg.index || !c->signedIn || c.get() == owner) {
          continue;
        }
        CameraMessage r(c->sessionId.c_str(), c->viewerId.c_str());
        r.Line("CMD", "CLOSE").Line("RSP", "ACK").Line("CODE", 401);
        const char* t = r.Finish();
        Send(c.get(), t, r.length());
      }
      Restart(cam, 3);
      return;
    }
    default:
      u = UpdateFlow{};
  }
}

}  // namespace camsim
