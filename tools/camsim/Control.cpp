// The camera's answers on the control channel: sign-in, stream opening,
// ALIVE, CLOSE, CONTROL commands and SETUP sections.
#include <cstring>
#include <ctime>

#include "base/base.h"
#include "camsim/Server.h"
#include "camsim/Wire.h"
#include "link/KeyValue.h"

namespace camsim {

namespace {
bool Is(const KeyValueList& m, const char* key, const char* word) { return ValueIs(FindValue(&m, key), word); }
}  // namespace

int Server::SignedInCount(const Camera& cam) const {
  int n = 0;
  for (const auto& c : conns_) {
    if (c->kind == ConnKind::kControl && c->camera == cam.cfg.index && c->signedIn && c->fd >= 0) ++n;
  }
  return n;
}

void Server::HandleMessage(Conn* c, char* text, std::size_t length) {
  const char* channel = "control";
  if (c->kind == ConnKind::kVideo || (c->kind == ConnKind::kUnknown && std::strstr(text, "CLS#VSTREAM"))) {
    channel = "video";
  } else if (c->kind == ConnKind::kAudio || (c->kind == ConnKind::kUnknown && std::strstr(text, "CLS#ASTREAM"))) {
    channel = "audio";
  }
  events_.Message(c->camera, channel, "in", text, length);
  KeyValueList m;
  ParseKeyValues(text, &m, kMessageDelimiters);
  if (!Is(m, "SRC", "V") || !Is(m, "DST", "C")) return;  // not from a viewer
  const char* cmd = FindValue(&m, "CMD");
  const char* cls = FindValue(&m, "CLS");
  if (c->kind == ConnKind::kUnknown) {
    if (ValueIs(cmd, "OPEN") && ValueIs(cls, "VSTREAM")) {
      OpenStream(c, m, true);
      return;
    }
    if (ValueIs(cmd, "OPEN") && ValueIs(cls, "ASTREAM")) {
      OpenStream(c, m, false);
      return;
    }
    c->kind = ConnKind::kControl;
  }
  if (c->kind != ConnKind::kControl) return;
  c->viewerId = FindValue(&m, "STID");
  if (ValueIs(cmd, "OPEN") && ValueIs(cls, "CONTROL")) {
    SignIn(c, m);
    return;
  }
  if (ValueIs(cmd, "CLOSE")) {
    CloseSession(c);
    return;
  }
  if (!c->signedIn) {
    // Nothing but a sign-in is answered before one succeeded.
    CameraMessage r(c->sessionId.c_str(), c->viewerId.c_str());
    r.Line("CMD", cmd).Line("CLS", cls).Line("MTD", FindValue(&m, "MTD")).Line("RSP", "NAK");
    const char* t = r.Finish();
    Send(c, t, r.length());
    return;
  }
  if (ValueIs(cmd, "ALIVE")) {
    CameraMessage r(c->sessionId.c_str(), c->viewerId.c_str());
    r.Line("CMD", "ALIVE").Line("MTD", "SET").Line("RSP", "ACK");
    const char* t = r.Finish();
    Send(c, t, r.length());
  } else if (ValueIs(cmd, "CONTROL")) {
    ControlCommand(c, m);
  } else if (ValueIs(cmd, "SETUP")) {
    SetupCommand(c, m);
  }
}

void Server::SignIn(Conn* c, const KeyValueList& m) {
  Camera* cam = cams_[static_cast<std::size_t>(c->camera)].get();
  const std::string id = FindValue(&m, "ID");
  const std::string password = UnscrambleText(std::string(FindValue(&m, "PW")));
  const Account* account = cam->setup.FindAccount(id);
  int code = 0;
  int sameAccount = 0, admins = 0, total = 0;
  bool sameViewer = false;
  for (const auto& o : conns_) {
    if (o.get() == c || o->kind != ConnKind::kControl || o->camera != c->camera || !o->signedIn || o->fd < 0) {
      continue;
    }
    ++total;
    if (o->account == id) ++sameAccount;
    if (o->group == 0) ++admins;
    if (o->viewerId == c->viewerId) sameViewer = true;
  }
  if (cam->refuseNextCode) {
    code = cam->refuseNextCode;
    cam->refuseNextCode = 0;
  } else if (!account) {
    code = 501;
  } else if (password != account->password) {
    code = 502;
  } else if (sameViewer || c->signedIn) {
    code = 505;
  } else if (account->group == 0 && (admins >= 1 || sameAccount >= account->maxUsers)) {
    code = 504;
  } else if (total >= cam->setup.IntValue("USER", "ALLOW_MAX") || sameAccount >= account->maxUsers) {
    code = 503;
  }
  CameraMessage r(c->sessionId.c_str(), c->viewerId.c_str());
  r.Line("CMD", "OPEN").Line("CLS", "CONTROL");
  if (code) {
    r.Line("RSP", "NAK").Line("CODE", code);
  } else {
    c->signedIn = true;
    c->group = account->group;
    c->account = id;
    c->useMjpeg = ValueToInt(FindValue(&m, "USE_MJPEG")) != 0;
    const CameraConfig& k = cam->cfg;
    r.Line("RSP", "ACK").Line("CODE", 0).Line("VER", k.ver.c_str()).Line("GROUP", c->group);
    r.Line("MODEL", k.model).Line("NOW", static_cast<long long>(static_cast<std::int32_t>(std::time(nullptr))));
    r.Line("ZONE", k.zone).Line("FLASH", k.flash).Line("FHORZ", k.fhorz).Line("FVERT", k.fvert);
    r.Line("GIO_ENABLE", k.gioEnable).Line("MD_ENABLE", k.mdEnable).Line("SENSOR_ENABLE", k.sensorEnable);
    r.Line("SENSOR_ACTIVE", k.sensorActive).Line("GI_01", k.gi01).Line("GO_01", k.go01);
  }
  const char* t = r.Finish();
  Send(c, t, r.length());
}

void Server::OpenStream(Conn* c, const KeyValueList& m, bool video) {
  const char* dtid = FindValue(&m, "DTID");
  Conn* session = nullptr;
  for (auto& o : conns_) {
    if (o->kind == ConnKind::kControl && o->camera == c->camera && o->signedIn && o->fd >= 0 &&
        o->sessionId == dtid) {
      session = o.get();
    }
  }
  if (!session) {
    // No session to answer on: a camera can only hang up.
    LogMessage("%s:%d %s\r\n", LOGPOS, dtid);
    CloseConn(c);
    return;
  }
  Camera* cam = cams_[static_cast<std::size_t>(c->camera)].get();
  const char* cls = video ? "VSTREAM" : "ASTREAM";
  const bool nak = cam->cfg.nak.count(std::string(cls) + "/OPEN") != 0;
  CameraMessage r(session->sessionId.c_str(), session->viewerId.c_str());
  r.Line("CMD", "OPEN").Line("CLS", cls).Line("RSP", nak ? "NAK" : "ACK");
  const char* t = r.Finish();
  Send(session, t, r.length());
  if (nak) {
    CloseConn(c);
    return;
  }
  Conn*& slot = video ? session->video : session->audio;
  if (slot) CloseConn(slot);
  slot = c;
  c->control = session;
  c->kind = video ? ConnKind::kVideo : ConnKind::kAudio;
  c->nextDue = AlignedDue(Clock::now(), cam->cfg.fps);
  if (video) {
    c->loop = LoopFor(*cam, session->useMjpeg);
    c->keyRequested = true;
  }
}

void Server::ControlCommand(Conn* c, const KeyValueList& m) {
  Camera* cam = cams_[static_cast<std::size_t>(c->camera)].get();
  const std::string cls = FindValue(&m, "CLS");
  const std::string mtd = FindValue(&m, "MTD");
  bool ack = cam->cfg.nak.count(cls + "/" + mtd) == 0;
  int code = 0;
  bool sendCode = false;
  if (cls == "MIC" && mtd == "PLAY") {
    if (!ack) {
      code = cam->cfg.micNakCode;
      sendCode = true;
    } else if (c->group != 0 && cam->setup.IntValue("AUDIO", "ALLOW_MIC") == 0) {
      ack = false;
      code = 1;  // users may not listen
      sendCode = true;
    }
  }
  CameraMessage r(c->sessionId.c_str(), c->viewerId.c_str());
  r.Line("CMD", "CONTROL").Line("CLS", cls.c_str()).Line("MTD", mtd.c_str()).Line("RSP", ack ? "ACK" : "NAK");
  if (sendCode) r.Line("CODE", code);
  if (ack) {
    CameraConfig& k = cam->cfg;
    if (cls == "VIDEO") {
      if (mtd == "PLAY") {
        c->videoPlaying = true;
        if (c->video) {
          c->video->keyRequested = true;
          c->video->nextDue = AlignedDue(Clock::now(), k.fps);
        }
      } else if (mtd == "STOP") {
        c->videoPlaying = false;
      } else if (mtd == "I-FRAME_REQ") {
        if (c->video) c->video->keyRequested = true;
      } else if (mtd == "SET") {
        k.fhorz = ValueToInt(FindValue(&m, "FHORZ")) ? 1 : 0;
        k.fvert = ValueToInt(FindValue(&m, "FVERT")) ? 1 : 0;
        r.Line("FHORZ", k.fhorz).Line("FVERT", k.fvert);
      }
    } else if (cls == "MIC") {
      c->micPlaying = mtd == "PLAY";
      if (c->audio) c->audio->nextDue = Clock::now();
    } else if (cls == "SPK") {
      if (mtd == "PLAY" || mtd == "STOP") c->spkPlaying = mtd == "PLAY";
    } else if (cls == "LED" && mtd == "SET") {
      k.flash = ValueToInt(FindValue(&m, "FLASH")) ? 1 : 0;
    } else if (cls == "MOTION") {
      k.mdEnable = mtd == "SET" ? 1 : 0;
    } else if (cls == "SENSOR") {
      k.sensorEnable = mtd == "SET" ? 1 : 0;
    } else if (cls == "GIO") {
      k.go01 = mtd == "SET" ? 1 : 0;
    }
  }
  const char* t = r.Finish();
  Send(c, t, r.length());
}

void Server::SetupCommand(Conn* c, const KeyValueList& m) {
  Camera* cam = cams_[static_cast<std::size_t>(c->camera)].get();
  const std::string cls = FindValue(&m, "CLS");
  const std::string mtd = FindValue(&m, "MTD");
  const char* var = m.VarText();
  if (cls == "MAINTENANCE" && mtd.rfind("UPDATE_", 0) == 0 && c->group == 0) {
    UpdateCommand(c, mtd.c_str());
    return;
  }
  bool ack = (SetupStore::IsSection(cls) || cls == "PASSWD") && (mtd == "GET" || c->group == 0) &&
             cam->cfg.nak.count(cls + "/" + mtd) == 0;
  std::string reply;
  SetupStore& s = cam->setup;
  if (ack && cls == "PASSWD") {
    if (mtd == "ADD") ack = s.AddAccount(var);
    else if (mtd == "MOD") ack = s.ModifyAccount(var);
    else if (mtd == "DEL") ack = s.DeleteAccount(var);
    else ack = mtd == "GET";
    reply = s.PasswdVar();
  } else if (ack && cls == "VIDEO" && (mtd == "SET" || mtd == "ADJUST")) {
    SetupStore trial = s;
    trial.ApplyVar("VIDEO", var);
    int res = trial.IntValue("VIDEO", "RES");
    int vcodec = trial.IntValue("VIDEO", "VCODEC");
    int w = res == 2 ? 640 : 320, h = res == 2 ? 480 : 240;
    if (res == 3) {
      w = trial.IntValue("VIDEO", "WIDTH");
      h = trial.IntValue("VIDEO", "HEIGHT");
    }
    VideoKind kind = vcodec == 2 ? VideoKind::kH264 : vcodec == 1 ? cam->cfg.mpeg4Kind : cam->cfg.jpegKind;
    ack = res >= 0 && res <= 3 && vcodec >= 0 && vcodec <= 2 && w >= 16 && h >= 16 && w <= 1920 &&
          h <= 1088 && w % 16 == 0 && h % 16 == 0;
    if (ack && (kind != cam->key.kind || w != cam->key.width || h != cam->key.height)) {
      ack = ChangeFormat(cam, kind, w, h);
    }
    if (ack) {
      trial.Set("VIDEO", "WIDTH", std::to_string(w));
      trial.Set("VIDEO", "HEIGHT", std::to_string(h));
      s = trial;
    }
    reply = s.Var("VIDEO");
  } else if (ack && cls == "VIDEO" && mtd == "GET") {
    SetupStore view = s;
    if (c->useMjpeg) view.Set("VIDEO", "VCODEC", "0");
    reply = view.Var("VIDEO");
  } else if (ack && cls == "MAINTENANCE") {
    ack = mtd == "GET";
    s.Set("MAINTENANCE", "USERS", std::to_string(SignedInCount(*cam)));
    reply = s.Var("MAINTENANCE");
  } else if (ack && cls == "NETWORK" && mtd == "RESTART") {
    // Answered below; then the camera restarts with its new settings.
  } else if (ack) {
    if (mtd != "GET") s.ApplyVar(cls, var);
    reply = s.Var(cls);
  }
  CameraMessage r(c->sessionId.c_str(), c->viewerId.c_str());
  r.Line("CMD", "SETUP").Line("CLS", cls.c_str()).Line("MTD", mtd.c_str()).Line("RSP", ack ? "ACK" : "NAK");
  if (!reply.empty()) r.Var(reply.c_str());
  const char* t = r.Finish();
  Send(c, t, r.length());
  if (ack && cls == "NETWORK" && mtd == "RESTART") Restart(cam, 2);  // 2 s out of service
}

}  // namespace camsim
