#include "camsim/Server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <time.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "base/base.h"
#include "camsim/Wire.h"

namespace camsim {
namespace {

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK); }

int OpenListener(const std::string& address, int port, std::string* error) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(port));
  if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
    *error = "bad bind address: " + address;
    return -1;
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, 16) != 0) {
    *error = address + ":" + std::to_string(port) + ": " + std::strerror(errno);
    close(fd);
    return -1;
  }
  SetNonBlocking(fd);
  return fd;
}

std::uint32_t Period(int fps) { return static_cast<std::uint32_t>(1000000 / (fps > 0 ? fps : 25)); }

}  // namespace

Clock::time_point AlignedDue(Clock::time_point now, int fps) {
  const auto period = std::chrono::microseconds(Period(fps));
  const auto since = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch());
  return Clock::time_point(((since + period - std::chrono::microseconds(1)) / period) * period);
}

Server::Server(Options options) : options_(std::move(options)) {
  for (const CameraConfig& cfg : options_.cams) {
    auto cam = std::make_unique<Camera>();
    cam->cfg = cfg;
    cam->port = options_.port + cfg.index;
    cam->setup.Init(cfg, options_.bind, cam->port);
    cam->key = LoopKey{cfg.kind, cfg.width, cfg.height, cfg.fps, options_.loopSeconds, cfg.index, cfg.ownParams != 0};
    cams_.push_back(std::move(cam));
  }
  // One second of a 1 kHz tone at 8000 samples per second, half scale.
  tone_.resize(8000);
  for (std::size_t i = 0; i < tone_.size(); ++i) {
    double s = std::sin(2.0 * 3.14159265358979 * 1000.0 * static_cast<double>(i) / 8000.0);
    tone_[i] = LinearToMulaw(static_cast<std::int16_t>(s * 16000.0));
  }
  oversize_.assign(static_cast<std::size_t>(kMaxVideoPayload) + 1, 0);
  conns_.reserve(64);
}

Server::~Server() {
  for (auto& c : conns_) {
    if (c->fd >= 0) close(c->fd);
  }
  for (auto& cam : cams_) {
    if (cam->listenFd >= 0) close(cam->listenFd);
    if (cam->wav) std::fclose(cam->wav);
  }
  if (adminFd_ >= 0) close(adminFd_);
  if (searchFd_ >= 0) close(searchFd_);
  if (wakeFd_ >= 0) close(wakeFd_);
}

int Server::Start(std::string* error) {
  if (!options_.eventsFile.empty() && !events_.Open(options_.eventsFile)) {
    *error = "cannot open events file " + options_.eventsFile;
    return 0;
  }
  wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  for (auto& cam : cams_) {
    cam->listenFd = OpenListener(options_.bind, cam->port, error);
    if (cam->listenFd < 0) {
      *error = "camera " + std::to_string(cam->cfg.index) + ": cannot listen on " + *error;
      return 0;
    }
  }
  if (options_.adminPort > 0 || options_.adminPort == 0) {
    if (options_.adminPort > 0) {
      adminFd_ = OpenListener("127.0.0.1", options_.adminPort, error);
      if (adminFd_ < 0) {
        *error = "admin port: cannot listen on " + *error;
        return 0;
      }
      adminPortBound_ = options_.adminPort;
    }
  }
  if (options_.search && !OpenSearch(error)) return 0;
  // Encode every stream the cameras start with. The Motion JPEG stream a
  // viewer may ask for at sign-in (USE_MJPEG) is encoded when first needed.
  std::vector<LoopKey> keys;
  for (auto& cam : cams_) keys.push_back(cam->key);
  if (!loops_.Prepare(keys)) {
    *error = "cannot encode the video loops";
    return 0;
  }
  stdinOpen_ = options_.stdinCommands;
  return 1;
}

void Server::Stop() {
  stop_.store(true);
  if (wakeFd_ >= 0) {
    std::uint64_t one = 1;
    ssize_t n = write(wakeFd_, &one, sizeof one);
    (void)n;
  }
}

void Server::Post(const std::string& line) {
  {
    std::lock_guard<std::mutex> hold(postLock_);
    posted_.push_back(line);
  }
  std::uint64_t one = 1;
  ssize_t n = write(wakeFd_, &one, sizeof one);
  (void)n;
}

void Server::DrainPosted() {
  std::vector<std::string> lines;
  {
    std::lock_guard<std::mutex> hold(postLock_);
    lines.swap(posted_);
  }
  for (const std::string& line : lines) Command(line);
}

int Server::Listen(Camera* cam) {
  std::string error;
  cam->listenFd = OpenListener(options_.bind, cam->port, &error);
  if (cam->listenFd < 0) LogMessage("%s:%d %s\r\n", LOGPOS, error.c_str());
  return cam->listenFd >= 0 ? 1 : 0;
}

void Server::Accept(int listenFd, Camera* cam) {
  for (;;) {
    int fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK) LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
      return;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto c = std::make_unique<Conn>();
    c->fd = fd;
    if (cam) {
      c->camera = cam->cfg.index;
      c->sessionNumber = ++cam->sessions;
      c->sessionId = std::to_string(cam->cfg.index) + "_" + std::to_string(c->sessionNumber);
    } else {
      c->kind = ConnKind::kAdmin;
    }
    conns_.push_back(std::move(c));
  }
}

void Server::CloseConn(Conn* c) {
  if (c->fd >= 0) {
    close(c->fd);
    c->fd = -1;
  }
  c->closing = true;
  if (c->control) {
    if (c->control->video == c) c->control->video = nullptr;
    if (c->control->audio == c) c->control->audio = nullptr;
    c->control = nullptr;
  }
  if (c->kind == ConnKind::kControl) CloseSession(c);
}

void Server::CloseSession(Conn* s) {
  if (s->video) {
    Conn* v = s->video;
    s->video = nullptr;
    v->control = nullptr;
    CloseConn(v);
  }
  if (s->audio) {
    Conn* a = s->audio;
    s->audio = nullptr;
    a->control = nullptr;
    CloseConn(a);
  }
  if (s->camera >= 0) {
    Camera* cam = cams_[static_cast<std::size_t>(s->camera)].get();
    if (cam->update.session == s) cam->update = UpdateFlow{};
  }
  s->signedIn = false;
  if (s->fd >= 0) {
    close(s->fd);
    s->fd = -1;
  }
  s->closing = true;
}

void Server::Reap() {
  conns_.erase(std::remove_if(conns_.begin(), conns_.end(),
                              [](const std::unique_ptr<Conn>& c) { return c->closing && c->fd < 0; }),
               conns_.end());
}

void Server::Send(Conn* c, const char* text, int length) {
  if (c->fd < 0) return;
  if (c->kind != ConnKind::kAdmin) {
    events_.Message(c->camera, "control", "out", text, static_cast<std::size_t>(length));
  }
  c->out.append(text, static_cast<std::size_t>(length));
  FlushOut(c);
}

void Server::FlushOut(Conn* c) {
  while (!c->out.empty() && c->fd >= 0) {
    ssize_t n = send(c->fd, c->out.data(), c->out.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
      CloseConn(c);
      return;
    }
    c->out.erase(0, static_cast<std::size_t>(n));
  }
}

void Server::ReadConn(Conn* c) {
  if (c->kind == ConnKind::kAudio) {
    ReadAudio(c);
    return;
  }
  char buffer[4096];
  ssize_t n = recv(c->fd, buffer, sizeof buffer, 0);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
    CloseConn(c);
    return;
  }
  if (n < 0) return;
  if (c->kind == ConnKind::kVideo) return;  // nothing is expected after OPEN
  c->in.append(buffer, static_cast<std::size_t>(n));
  if (c->kind == ConnKind::kAdmin) {
    HandleAdminInput(c);
  } else {
    HandleInput(c);
  }
}

void Server::HandleInput(Conn* c) {
  // One message runs from "SRC" through the first "\n\n" after it.
  for (;;) {
    std::size_t src = c->in.find("SRC");
    if (src == std::string::npos) {
      if (c->in.size() > 2) c->in.erase(0, c->in.size() - 2);
      return;
    }
    std::size_t end = c->in.find("\n\n", src);
    if (end == std::string::npos) {
      c->in.erase(0, src);
      if (c->in.size() > 8192) c->in.clear();  // never completes: drop it
      return;
    }
    char text[4096];
    std::size_t length = end + 2 - src;
    if (length >= sizeof text) {
      LogMessage("%s:%d (%d)\r\n", LOGPOS, static_cast<int>(length));
      c->in.erase(0, end + 2);
      continue;
    }
    std::memcpy(text, c->in.data() + src, length);
    text[length] = 0;
    c->in.erase(0, end + 2);
    HandleMessage(c, text, length);
    if (c->fd < 0 || c->kind == ConnKind::kVideo) return;
    if (c->kind == ConnKind::kAudio) {
      // Anything after OPEN ASTREAM is talk-back audio.
      if (!c->in.empty()) {
        Camera* cam = cams_[static_cast<std::size_t>(c->camera)].get();
        if (c->control && c->control->spkPlaying) {
          WriteWav(cam, reinterpret_cast<const std::uint8_t*>(c->in.data()), c->in.size());
        }
        c->in.clear();
      }
      return;
    }
  }
}

const StreamLoop* Server::LoopFor(const Camera& cam, bool mjpeg) {
  LoopKey key = cam.key;
  if (mjpeg && !IsJpegKind(key.kind)) key.kind = cam.cfg.jpegKind;
  return loops_.Get(key);
}

int Server::ChangeFormat(Camera* cam, VideoKind kind, int width, int height) {
  LoopKey key = cam->key;
  key.kind = kind;
  key.width = width;
  key.height = height;
  if (!loops_.Get(key)) return 0;
  cam->key = key;
  for (auto& c : conns_) {
    if (c->kind == ConnKind::kVideo && c->camera == cam->cfg.index && c->control) {
      c->loop = LoopFor(*cam, c->control->useMjpeg);
      c->position = 0;
      c->keyRequested = true;
    }
  }
  return 1;
}

void Server::StartPacket(Conn* v, Camera* cam, Clock::duration late) {
  const StreamLoop* loop = v->loop;
  if (v->keyRequested) {
    v->position = loop->NextKeyFrame(v->position);
    v->keyRequested = false;
  }
  const LoopFrame& f = loop->frames[static_cast<std::size_t>(v->position)];
  v->position = (v->position + 1) % loop->FrameCount();
  const bool jpeg = IsJpegKind(loop->key.kind);
  auto wall = std::chrono::system_clock::now().time_since_epoch();
  auto micros = std::chrono::duration_cast<std::chrono::microseconds>(wall - late).count();
  v->sequence += 1 + static_cast<std::uint32_t>(cam->gapNext);
  cam->sequence = v->sequence;
  std::string fault;
  if (cam->gapNext) fault = "FAULT=gap;COUNT=" + std::to_string(cam->gapNext);
  cam->gapNext = 0;
  v->head.clear();
  if (cam->garbageNext > 0) {
    // Bytes that can never form a start code.
    v->head.assign(static_cast<std::size_t>(cam->garbageNext), 0x5A);
    fault = "FAULT=garbage;COUNT=" + std::to_string(cam->garbageNext);
    cam->garbageNext = 0;
  }
  std::size_t at = v->head.size();
  v->head.resize(at + kVideoHeaderSize);
  if (cam->oversizeNext) {
    cam->oversizeNext = false;
    PutVideoHeader(v->head.data() + at, jpeg, static_cast<std::uint32_t>(micros / 1000000),
                   static_cast<std::uint32_t>(micros % 1000000), v->sequence, kMaxVideoPayload + 1, false);
    v->payload = oversize_.data();
    v->payloadSize = oversize_.size();
    fault = "FAULT=oversize;SIZE=" + std::to_string(kMaxVideoPayload + 1);
  } else {
    PutVideoHeader(v->head.data() + at, jpeg, static_cast<std::uint32_t>(micros / 1000000),
                   static_cast<std::uint32_t>(micros % 1000000), v->sequence,
                   static_cast<std::int32_t>(f.size), f.key);
    v->payload = loop->bytes.data() + f.offset;
    v->payloadSize = f.size;
  }
  v->sent = 0;
  v->splitAt = 0;
  if (cam->splitNext) {
    cam->splitNext = false;
    v->splitAt = v->head.size() / 2 + 1;  // inside the header first
    fault = "FAULT=split";
  }
  if (!fault.empty()) events_.Note(cam->cfg.index, "video", "out", fault);
}

void Server::SendPending(Conn* v, Clock::time_point now) {
  const std::size_t total = v->head.size() + v->payloadSize;
  while (v->fd >= 0 && v->sent < total) {
    if (now < v->pauseUntil) return;
    std::size_t limit = total;
    if (v->splitAt > v->sent) limit = v->splitAt;
    iovec iov[2];
    int count = 0;
    if (v->sent < v->head.size()) {
      std::size_t end = std::min(v->head.size(), limit);
      iov[count++] = {v->head.data() + v->sent, end - v->sent};
      if (limit > v->head.size()) {
        iov[count++] = {const_cast<std::uint8_t*>(v->payload), limit - v->head.size()};
      }
    } else {
      std::size_t from = v->sent - v->head.size();
      iov[count++] = {const_cast<std::uint8_t*>(v->payload) + from, limit - v->sent};
    }
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = static_cast<std::size_t>(count);
    ssize_t n = sendmsg(v->fd, &msg, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK) CloseConn(v);
      return;
    }
    v->sent += static_cast<std::size_t>(n);
    if (v->splitAt && v->sent >= v->splitAt) {
      // Pause, then send the rest in two more pieces.
      v->pauseUntil = now + std::chrono::milliseconds(60);
      std::size_t next = v->head.size() + v->payloadSize / 2;
      v->splitAt = v->sent < next ? next : 0;
      return;
    }
  }
}

void Server::VideoTick(Conn* v, Clock::time_point now) {
  if (!v->control || !v->control->videoPlaying || !v->loop) return;
  Camera* cam = cams_[static_cast<std::size_t>(v->camera)].get();
  if (v->sent < v->head.size() + v->payloadSize) SendPending(v, now);
  if (now < v->nextDue) return;
  const Clock::time_point captured = v->nextDue;
  const auto period = std::chrono::microseconds(Period(cam->cfg.fps));
  v->nextDue += period;
  if (v->nextDue < now) v->nextDue = AlignedDue(now, cam->cfg.fps);  // fell behind: do not burst
  if (now < cam->stallUntil) return;
  if (v->sent < v->head.size() + v->payloadSize) return;  // previous packet still going
  StartPacket(v, cam, Clock::now() - captured);
  SendPending(v, now);
}

void Server::AudioTick(Conn* a, Clock::time_point now) {
  if (!a->control || !a->control->micPlaying) return;
  if (now < a->nextDue) return;
  // 20 ms blocks of 160 samples.
  a->nextDue += std::chrono::milliseconds(20);
  if (a->nextDue < now) a->nextDue = now + std::chrono::milliseconds(20);
  std::uint8_t block[160];
  for (std::uint8_t& b : block) {
    b = tone_[a->audioPhase];
    a->audioPhase = (a->audioPhase + 1) % static_cast<std::uint32_t>(tone_.size());
  }
  ssize_t n = send(a->fd, block, sizeof block, MSG_NOSIGNAL);
  if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) CloseConn(a);
}

void Server::ReadAudio(Conn* a) {
  std::uint8_t buffer[8192];
  ssize_t n = recv(a->fd, buffer, sizeof buffer, 0);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
    CloseConn(a);
    return;
  }
  if (n < 0) return;
  if (a->control && a->control->spkPlaying) {
    WriteWav(cams_[static_cast<std::size_t>(a->camera)].get(), buffer, static_cast<std::size_t>(n));
  }
}

void Server::WriteWav(Camera* cam, const std::uint8_t* data, std::size_t n) {
  auto le32 = [](std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  if (!cam->wav) {
    std::string path = options_.spkDir + "/camsim-spk-" + std::to_string(cam->cfg.index) + ".wav";
    cam->wav = std::fopen(path.c_str(), "w+b");
    if (!cam->wav) {
      LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
      return;
    }
    // RIFF header of 8 kHz mono G.711 mu-law (format 7).
    std::uint8_t h[46] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                          18, 0, 0, 0, 7, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 1, 0, 8, 0,
                          0, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
    std::fwrite(h, 1, sizeof h, cam->wav);
    cam->wavBytes = 0;
  }
  std::fseek(cam->wav, 0, SEEK_END);
  std::fwrite(data, 1, n, cam->wav);
  cam->wavBytes += static_cast<std::uint32_t>(n);
  std::uint8_t size[4];
  le32(size, cam->wavBytes + 38);
  std::fseek(cam->wav, 4, SEEK_SET);
  std::fwrite(size, 1, 4, cam->wav);
  le32(size, cam->wavBytes);
  std::fseek(cam->wav, 42, SEEK_SET);
  std::fwrite(size, 1, 4, cam->wav);
  std::fflush(cam->wav);
}

Clock::time_point Server::Tick(Clock::time_point now) {
  Clock::time_point next = now + std::chrono::milliseconds(500);
  for (auto& cam : cams_) {
    if (cam->listenFd < 0 && now >= cam->reopenAt) {
      if (!Listen(cam.get())) cam->reopenAt = now + std::chrono::seconds(1);
    }
    if (cam->listenFd < 0) next = std::min(next, cam->reopenAt);
    UpdateTick(cam.get(), now);
    if (cam->update.step) {
      next = std::min(next, cam->update.waitingAnswer ? cam->update.answerBy : cam->update.nextAt);
    }
  }
  for (std::size_t i = 0; i < conns_.size(); ++i) {
    Conn* c = conns_[i].get();
    if (c->fd < 0) continue;
    if (c->kind == ConnKind::kControl && c->closeAt != Clock::time_point{}) {
      if (now >= c->closeAt) {
        CloseSession(c);
        continue;
      }
      next = std::min(next, c->closeAt);
    }
    if (c->kind == ConnKind::kVideo) {
      VideoTick(c, now);
      if (c->control && c->control->videoPlaying) {
        next = std::min(next, c->nextDue);
        if (c->sent < c->head.size() + c->payloadSize) {
          next = std::min(next, std::max(c->pauseUntil, now + std::chrono::milliseconds(2)));
        }
      }
    } else if (c->kind == ConnKind::kAudio) {
      AudioTick(c, now);
      if (c->control && c->control->micPlaying) next = std::min(next, c->nextDue);
    }
  }
  return next;
}

int Server::Run() {
  std::vector<pollfd> fds;
  std::vector<Conn*> owners;  // parallel to fds: the connection, or null
  std::vector<Camera*> listeners;
  fds.reserve(128);
  owners.reserve(128);
  while (!stop_.load()) {
    Clock::time_point now = Clock::now();
    Clock::time_point next = Tick(now);
    Reap();
    fds.clear();
    owners.clear();
    listeners.clear();
    auto add = [&](int fd, short events, Conn* owner) {
      fds.push_back(pollfd{fd, events, 0});
      owners.push_back(owner);
    };
    add(wakeFd_, POLLIN, nullptr);
    if (stdinOpen_) add(0, POLLIN, nullptr);
    if (adminFd_ >= 0) add(adminFd_, POLLIN, nullptr);
    if (searchFd_ >= 0) add(searchFd_, POLLIN, nullptr);
    const std::size_t firstListener = fds.size();
    for (auto& cam : cams_) {
      if (cam->listenFd >= 0) {
        add(cam->listenFd, POLLIN, nullptr);
        listeners.push_back(cam.get());
      }
    }
    const std::size_t firstConn = fds.size();
    for (auto& c : conns_) {
      if (c->fd < 0) continue;
      short ev = POLLIN;
      if (!c->out.empty()) ev |= POLLOUT;
      if (c->kind == ConnKind::kVideo && c->sent < c->head.size() + c->payloadSize && now >= c->pauseUntil) {
        ev |= POLLOUT;
      }
      add(c->fd, ev, c.get());
    }
    // Sleep to the exact deadline: a millisecond timeout rounded down would
    // spin through the last fraction of every frame period.
    auto waitNs = std::chrono::duration_cast<std::chrono::nanoseconds>(next - now).count();
    if (waitNs < 0) waitNs = 0;
    timespec wait{static_cast<time_t>(waitNs / 1000000000), static_cast<long>(waitNs % 1000000000)};
    int rc = ppoll(fds.data(), fds.size(), &wait, nullptr);
    if (rc < 0) {
      if (errno == EINTR) continue;
      LogMessage("%s:%d (%d)\r\n", LOGPOS, errno);
      return 1;
    }
    if (rc == 0) continue;
    if (fds[0].revents) {
      std::uint64_t v;
      ssize_t n = read(wakeFd_, &v, sizeof v);
      (void)n;
      DrainPosted();
    }
    now = Clock::now();
    for (std::size_t i = 1; i < firstConn; ++i) {
      if (!fds[i].revents) continue;
      if (fds[i].fd == 0) {
        ReadStdin();
      } else if (fds[i].fd == adminFd_) {
        Accept(adminFd_, nullptr);
      } else if (fds[i].fd == searchFd_) {
        ReadSearch();
      } else if (i >= firstListener) {
        Camera* cam = listeners[i - firstListener];
        if (cam->listenFd == fds[i].fd) Accept(cam->listenFd, cam);
      }
    }
    for (std::size_t i = firstConn; i < fds.size(); ++i) {
      Conn* c = owners[i];
      if (!fds[i].revents || c->fd != fds[i].fd) continue;
      if (fds[i].revents & POLLOUT) {
        FlushOut(c);
        if (c->kind == ConnKind::kVideo) SendPending(c, now);
      }
      if (c->fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) ReadConn(c);
    }
  }
  return 0;
}

}  // namespace camsim
