#!/usr/bin/python3
"""The whole viewer under a virtual display against mpv, in one run.

For each codec (H.264, Motion JPEG), pane count (1, 4, 16) and surface
family (RGB, and YUV when the build has it) it starts the camera simulator
with that many 640x480 25 fps cameras and bench_viewer with as many panes
signed in to them by themselves, waits until every pane is live plus a
warm-up, and measures over a window: CPU of the viewer and of the X server
(/proc/PID/stat utime+stime), frames that reached the panes against frames
painted, queue overflows, the viewer's VmRSS. The baseline, measured right
after: as many mpv windows of the panes' size, tiled like the grid, playing
a recording of the same camera (AVI from tessora-cli record) in real time.
Then the viewer once more with 16 panes signed out (idle CPU), and the cost
of recording: one viewer with 16 live H.264 panes measured over windows of
the same length, twice in the order recording, not, not, recording (the panes'
manual recording into a folder of the temporary directory, switched by
SIGUSR2); the bytes of the files per second the panes recorded against the
bytes the cameras sent over loopback meanwhile, and the files checked once
closed.

Writes OUT/bench_gui.json in the benchmark JSON layout that
bench/harness/bench_table.py reads, and the processes' logs beside it.

Usage (inside scripts/in-netns; scripts/bench runs it):
  gui_bench.py --build DIR --out DIR [--smoke] [--seconds S] [--warmup S]
               [--families rgb,yuv] [--codecs h264,mjpeg] [--panes 1,4,16]
               [--no-mpv] [--no-idle] [--no-record] [--record-rounds N]
Standard library only. Every process it starts is stopped by its PID.
"""
import argparse
import glob
import json
import os
import struct
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

CODECS = (("h264", "h264"), ("mjpeg", "mjpeg422"))  # name, camsim codec
PANES = (1, 4, 16)
GRID = {1: (1, 1), 4: (2, 2), 16: (4, 4)}
SCREEN = "1920x1080x24"
BASE_PORT = 9090
TCK = os.sysconf("SC_CLK_TCK")
MPV_ARGS = ["--vo=x11", "--hwdec=no", "--vd-lavc-threads=1", "--no-audio"]


def log(text):
    print("gui: " + text, file=sys.stderr, flush=True)


def cpu_ticks(pid):
    """utime + stime of a process in clock ticks, or None once it is gone."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return None
    return int(fields[11]) + int(fields[12])  # fields 14 and 15 of stat


def rss_mb(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) / 1024.0
    except OSError:
        pass
    return None


def loopback_bytes():
    """Bytes sent over loopback in this network namespace so far. Inside
    scripts/in-netns only the cameras' connections use it (the X server
    listens on a local socket), so over a window this is what the cameras
    sent to the panes plus the panes' requests and the TCP/IP headers."""
    with open("/proc/self/net/dev") as f:
        for line in f:
            name, _, rest = line.partition(":")
            if name.strip() == "lo":
                return int(rest.split()[8])  # transmitted bytes
    return None


def avi_bytes(folder):
    """Total size of the AVI files under |folder|."""
    total = 0
    for path in glob.glob(os.path.join(folder, "**", "*.avi"), recursive=True):
        try:
            total += os.path.getsize(path)
        except OSError:
            pass
    return total


def avi_check(path):
    """(complete, video frames, bytes of video in them) of an AVI file:
    complete when it is one or more RIFF lists that end where the file does
    and the first is an AVI with a movi list."""
    frames = payload = 0
    movi = False
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return False, 0, 0

    def walk(start, end):
        nonlocal frames, payload, movi
        at = start
        while at + 8 <= end:
            tag, size = struct.unpack_from("<4sI", data, at)
            body = at + 8
            if body + size > end:
                return False
            if tag in (b"LIST", b"RIFF"):
                if tag == b"LIST" and data[body:body + 4] == b"movi":
                    movi = True
                if not walk(body + 4, body + size):
                    return False
            elif tag[2:4] in (b"dc", b"db") and tag[:2].isdigit():
                frames += 1
                payload += size
            at = body + size + (size & 1)
        return True

    complete = len(data) >= 12 and data[:4] == b"RIFF" and data[8:12] == b"AVI " and walk(0, len(data)) and movi
    return complete, frames, payload


def stop(proc, grace=10.0):
    """SIGTERM to this one process, SIGKILL after |grace| seconds."""
    if proc is None or proc.poll() is not None:
        return
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(grace)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


class LineReader:
    """Collects a child's standard output lines on a thread."""

    def __init__(self, proc):
        self.lines = []
        self.cond = threading.Condition()
        self.thread = threading.Thread(target=self._run, args=(proc.stdout,), daemon=True)
        self.thread.start()

    def _run(self, stream):
        for raw in stream:
            with self.cond:
                self.lines.append(raw.decode(errors="replace").rstrip("\n"))
                self.cond.notify_all()
        with self.cond:
            self.lines.append(None)
            self.cond.notify_all()

    def wait_for(self, prefix, timeout, after=0):
        """The first line from index |after| on starting with |prefix|."""
        end = time.monotonic() + timeout
        with self.cond:
            while True:
                for i in range(after, len(self.lines)):
                    line = self.lines[i]
                    if line is None:
                        return None, i
                    if line.startswith(prefix):
                        return line, i + 1
                left = end - time.monotonic()
                if left <= 0:
                    return None, len(self.lines)
                self.cond.wait(left)

    def all(self, prefix):
        with self.cond:
            return [l for l in self.lines if l is not None and l.startswith(prefix)]


def fields(line):
    """'mark time=1.0 sent=3 ...' -> {'time': 1.0, 'sent': 3.0, ...}"""
    out = {}
    for part in line.split()[1:]:
        if "=" in part:
            k, v = part.split("=", 1)
            out[k] = float(v)
    return out


def scramble(text, k=37):
    """The settings' stored-password scrambling (as scripts/demo writes it)."""
    data = text.encode()
    pad = (3 - len(data) % 3) % 3
    data += data[:1] * pad
    out = "".join("%08x" % ((k * int.from_bytes(data[i:i + 3], "big")) & 0xffffffff)
                  for i in range(0, len(data), 3))
    return out + "%02x" % ((pad * 64 + k) & 0xff)


class Bench:
    def __init__(self, args):
        self.args = args
        self.build = os.path.abspath(args.build)
        self.out = os.path.abspath(args.out)
        self.tmp = tempfile.mkdtemp(prefix="tessora-gui-")
        self.results = []
        self.xvfb = None
        self.display = None
        self.cells = {}  # pane count -> [(x, y, w, h)]
        self.exe = {name: self.find(name) for name in ("bench_viewer", "camsim", "tessora-cli")}

    def find(self, name):
        for root, _, files in os.walk(self.build):
            if name in files:
                path = os.path.join(root, name)
                if os.access(path, os.X_OK):
                    return path
        raise SystemExit("gui: %s not built in %s" % (name, self.build))

    def logfile(self, name):
        return open(os.path.join(self.out, "gui-" + name + ".log"), "wb")

    # --- processes -------------------------------------------------------
    def start_xvfb(self):
        r, w = os.pipe()
        self.xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", SCREEN, "-nolisten", "tcp",
                                      "-noreset"], pass_fds=(w,), stdout=subprocess.DEVNULL,
                                     stderr=self.logfile("xvfb"))
        os.close(w)
        number = b""
        with os.fdopen(r, "rb") as f:
            number = f.readline().strip()
        if not number:
            raise SystemExit("gui: Xvfb did not start")
        self.display = ":" + number.decode()
        log("Xvfb on %s (%s)" % (self.display, SCREEN))

    def start_camsim(self, cameras, codec, name):
        ini = os.path.join(self.tmp, "camsim.ini")
        with open(ini, "w") as f:
            f.write("[global]\nloop_seconds = 4\n\n[all]\ncodec = %s\nsize = 640x480\nfps = 25\n"
                    % codec)
        out = os.path.join(self.out, "gui-camsim-%s.log" % name)
        proc = subprocess.Popen([self.exe["camsim"], "--cameras", str(cameras), "--port", str(BASE_PORT),
                                 "--admin-port", "0", "--config", ini, "--no-stdin"],
                                stdout=open(out, "wb"), stderr=subprocess.STDOUT, cwd=self.tmp)
        end = time.monotonic() + 120
        while time.monotonic() < end and proc.poll() is None:
            with open(out, "rb") as f:
                if any(l.startswith(b"ready") for l in f):
                    return proc
            time.sleep(0.1)
        stop(proc)
        raise SystemExit("gui: camsim did not get ready (%s)" % out)

    def viewer_env(self, panes, signed_in):
        home = os.path.join(self.tmp, "viewer")
        shutil.rmtree(home, ignore_errors=True)
        for d in ("config/Halvik", "data", "runtime"):
            os.makedirs(os.path.join(home, d))
        os.chmod(os.path.join(home, "runtime"), 0o700)
        x, y = GRID[panes]
        with open(os.path.join(home, "config/Halvik/Tessora.conf"), "w") as f:
            f.write("[Global]\nLayout\\X=%d\nLayout\\Y=%d\n\n" % (x, y))
            for i in range(panes if signed_in else 0):
                f.write("[Viewer%02d]\nSignin\\Url=127.0.0.1\nSignin\\Tlp=%d\n" % (i, BASE_PORT + i))
                f.write("Signin\\Id=admin\nSignin\\Pw=%s\nSignin\\VrAlias=cam%d\n\n" % (scramble("admin"), i))
        env = dict(os.environ)
        env.update(DISPLAY=self.display, QT_QPA_PLATFORM="xcb", XDG_CONFIG_HOME=os.path.join(home, "config"),
                   XDG_DATA_HOME=os.path.join(home, "data"), XDG_RUNTIME_DIR=os.path.join(home, "runtime"),
                   HOME=home)
        env.pop("WAYLAND_DISPLAY", None)
        return env

    # --- one measured window ---------------------------------------------
    def window(self, pids, seconds, before=None):
        """CPU % of one core per group of pids over |seconds|; |before| runs
        just before the start and returns a value kept with the result."""
        start_mark = before() if before else None
        t0 = time.monotonic()
        c0 = {k: [cpu_ticks(p) for p in v] for k, v in pids.items()}
        time.sleep(seconds)
        c1 = {k: [cpu_ticks(p) for p in v] for k, v in pids.items()}
        wall = time.monotonic() - t0
        cpu = {}
        for k in pids:
            pairs = [(a, b) for a, b in zip(c0[k], c1[k]) if a is not None and b is not None]
            if len(pairs) != len(pids[k]):
                return None, start_mark, wall
            cpu[k] = 100.0 * sum(b - a for a, b in pairs) / TCK / wall
        return cpu, start_mark, wall

    def run_viewer(self, family, codec_name, camsim_codec, panes, signed_in=True):
        name = "%s-%s-%d%s" % (family, codec_name, panes, "" if signed_in else "-idle")
        camsim = self.start_camsim(panes, camsim_codec, name) if signed_in else None
        viewer = None
        try:
            viewer = subprocess.Popen([self.exe["bench_viewer"], "--surface", family], stdout=subprocess.PIPE,
                                      stderr=self.logfile("viewer-" + name), env=self.viewer_env(panes, signed_in),
                                      cwd=self.tmp)
            lines = LineReader(viewer)
            cells = []
            at = 0
            for _ in range(panes):
                line, at = lines.wait_for("cell ", 30, at)
                if line is None:
                    break
                cells.append(tuple(int(v) for v in line.split()[2:6]))
            if len(cells) != panes:
                if viewer.poll() == 3:
                    log("%s: this build has no such surface family, skipped" % name)
                    return None
                log("%s: the viewer did not show its panes" % name)
                return None
            self.cells[panes] = cells
            if signed_in:
                line, _ = lines.wait_for("live ", 90, 0)
                if line is None:
                    log("%s: not every pane went live within 90 s" % name)
                    return None
                log("%s: all panes live after %s s" % (name, line.split()[1]))
            time.sleep(self.args.warmup)

            groups = {"viewer": [viewer.pid], "x": [self.xvfb.pid]}
            if camsim:
                groups["camsim"] = [camsim.pid]

            def mark():
                viewer.send_signal(signal.SIGUSR1)
                return None

            cpu, _, wall = self.window(groups, self.args.seconds, mark)
            viewer.send_signal(signal.SIGUSR1)
            rss = rss_mb(viewer.pid)
            marks, at = [], 0
            for _ in range(2):
                line, at = lines.wait_for("mark ", 10, at)
                if line is not None:
                    marks.append(fields(line))
            if cpu is None or len(marks) != 2:
                log("%s: a process ended during the window" % name)
                return None
            a, b = marks
            r = {"name": "viewer/%s/%s/%d" % (family, codec_name, panes) if signed_in else "idle/%s/%d" % (family, panes),
                 "seconds": wall, "panes": panes, "rss_mb": rss,
                 "cpu_viewer_percent": cpu["viewer"], "cpu_x_percent": cpu["x"],
                 "cpu_total_percent": cpu["viewer"] + cpu["x"]}
            if camsim:
                r["cpu_camsim_percent"] = cpu["camsim"]
                d = {k: b.get(k, 0.0) - a.get(k, 0.0)
                     for k in ("sent", "accepted", "taken", "presented", "skipped", "shown", "overflow",
                               "discarded", "keywait")}
                sent = d["sent"]

                def pct(v):
                    return 100.0 * v / sent if sent else 0.0

                r.update(sent=sent, accepted=d["accepted"], taken=d["taken"], taken_percent=pct(d["taken"]),
                         presented=d["presented"], presented_percent=pct(d["presented"]),
                         skipped=d["skipped"], shown=d["shown"], shown_percent=pct(d["shown"]),
                         overflow=d["overflow"], discarded=d["discarded"], keywait=d["keywait"],
                         surface_kind=b.get("kind", 0), depth=b["depth"],
                         live_at_end=b["live"], yuv_panes=b.get("yuv", 0))
                wanted = panes if family == "yuv" else 0
                if family in ("yuv", "rgb") and r["yuv_panes"] != wanted:
                    log("%s: %d of %d panes show YUV pictures" % (name, r["yuv_panes"], panes))
                r["overflows"] = r["overflow"]
            self.add(r)
            return r
        finally:
            stop(viewer, 15)
            stop(camsim)

    def run_record(self, panes, rounds):
        """The viewer with |panes| live H.264 panes (RGB surfaces), recording
        and not, in one process: after the warm-up, |rounds| times the windows
        recording, not, not, recording. Each switch is followed by a settling
        second (the files open on a key frame the panes ask for)."""
        name = "record-h264-%d" % panes
        folder = os.path.join(self.tmp, "records")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        camsim = self.start_camsim(panes, "h264", name)
        viewer = None
        try:
            viewer = subprocess.Popen([self.exe["bench_viewer"], "--surface", "rgb", "--record", folder],
                                      stdout=subprocess.PIPE, stderr=self.logfile("viewer-" + name),
                                      env=self.viewer_env(panes, True), cwd=self.tmp)
            lines = LineReader(viewer)
            line, at = lines.wait_for("live ", 90, 0)
            if line is None:
                log("%s: not every pane went live within 90 s" % name)
                return None
            line, at = lines.wait_for("record on=", 30, at)
            if line is None or int(line.split("=")[1]) != panes:
                log("%s: the panes did not start recording (%s)" % (name, line))
                return None
            log("%s: all panes live and recording" % name)
            # The spans the panes record, with the loopback bytes meanwhile.
            span = {"seconds": 0.0, "loopback": 0, "since": (time.monotonic(), loopback_bytes())}

            def span_end():
                t0, b0 = span.pop("since")
                span["seconds"] += time.monotonic() - t0
                span["loopback"] += loopback_bytes() - b0

            time.sleep(self.args.warmup)
            groups = {"viewer": [viewer.pid], "x": [self.xvfb.pid], "camsim": [camsim.pid]}
            windows = []
            state = True  # the panes record
            for want in [True, False, False, True] * rounds:
                if want != state:
                    viewer.send_signal(signal.SIGUSR2)
                    line, at = lines.wait_for("record ", 30, at)
                    expected = "record on=%d" % panes if want else "record off=0"
                    if line != expected:
                        log("%s: switching the recordings said %r" % (name, line))
                        return None
                    if want:
                        span["since"] = (time.monotonic(), loopback_bytes())
                    else:
                        span_end()
                    state = want
                    time.sleep(1.0)

                def before():
                    viewer.send_signal(signal.SIGUSR1)
                    return loopback_bytes(), avi_bytes(folder)

                cpu, start, wall = self.window(groups, self.args.seconds, before)
                end = (loopback_bytes(), avi_bytes(folder))
                viewer.send_signal(signal.SIGUSR1)
                marks = []
                for _ in range(2):
                    line, at = lines.wait_for("mark ", 10, at)
                    if line is not None:
                        marks.append(fields(line))
                if cpu is None or len(marks) != 2:
                    log("%s: a process ended during the window" % name)
                    return None
                a, b = marks
                d = {k: b.get(k, 0.0) - a.get(k, 0.0) for k in ("sent", "shown", "overflow")}
                w = {"recording": want, "seconds": wall, "cpu": cpu, "loopback": end[0] - start[0],
                     "avi": end[1] - start[1], "writing": b.get("recording", 0), **d}
                windows.append(w)
                log("  %s window: cpu %.1f %% (+X %.1f %%), loopback %.0f kB/s, files %.0f kB/s, "
                    "%d panes writing" % ("recording" if want else "not recording", cpu["viewer"], cpu["x"],
                                          w["loopback"] / wall / 1e3, w["avi"] / wall / 1e3, w["writing"]))
            rss = rss_mb(viewer.pid)
            if state:
                span_end()  # SIGTERM stops the recordings right away
        finally:
            stop(viewer, 15)
            stop(camsim)

        # The viewer stopped the recordings before it ended: every file is
        # closed now.
        files = sorted(glob.glob(os.path.join(folder, "**", "*.avi"), recursive=True))
        sizes = [os.path.getsize(f) for f in files]
        checks = [avi_check(f) for f in files]
        for r_on in (False, True):
            part = [w for w in windows if w["recording"] == r_on]
            wall = sum(w["seconds"] for w in part)

            def rate(key):
                return sum(w["cpu"][key] * w["seconds"] for w in part) / wall

            r = {"name": "record/%s/h264/%d" % ("on" if r_on else "off", panes), "seconds": wall,
                 "windows": len(part), "panes": panes,
                 "cpu_viewer_percent": rate("viewer"), "cpu_x_percent": rate("x"),
                 "cpu_camsim_percent": rate("camsim"),
                 "cpu_total_percent": rate("viewer") + rate("x"),
                 "cpu_total_each": [round(w["cpu"]["viewer"] + w["cpu"]["x"], 2) for w in part],
                 "loopback_bytes_per_second": sum(w["loopback"] for w in part) / wall,
                 "sent": sum(w["sent"] for w in part), "shown": sum(w["shown"] for w in part),
                 "overflows": sum(w["overflow"] for w in part),
                 "panes_writing_min": min(w["writing"] for w in part)}
            r["shown_percent"] = 100.0 * r["shown"] / r["sent"] if r["sent"] else 0.0
            if r_on:
                # Everything the recordings wrote (the files are closed, their
                # indexes included) per second of recording, against what
                # came in over loopback in the same spans.
                payload = sum(c[2] for c in checks)
                r.update(record_seconds=span["seconds"],
                         written_bytes_per_second=sum(sizes) / span["seconds"],
                         stream_bytes_per_second=span["loopback"] / span["seconds"],
                         rss_mb=rss, files=len(files), files_empty=sum(1 for n in sizes if n == 0),
                         files_complete=sum(1 for c in checks if c[0]),
                         files_smallest=min(sizes) if sizes else 0, files_bytes=sum(sizes),
                         files_frames=sum(c[1] for c in checks),
                         files_per_video_byte=sum(sizes) / payload if payload else 0.0,
                         files_at_least=panes * (1 + rounds))
                r["written_per_stream"] = (r["written_bytes_per_second"] / r["stream_bytes_per_second"]
                                           if r["stream_bytes_per_second"] else 0.0)
            self.add(r)
        shutil.rmtree(folder, ignore_errors=True)
        return True

    def record(self, codec_name, camsim_codec, seconds):
        """A recording of one camera in an AVI file (with its timestamps)."""
        path = os.path.join(self.tmp, "%s.avi" % codec_name)
        camsim = self.start_camsim(1, camsim_codec, "record-" + codec_name)
        try:
            rc = subprocess.call([self.exe["tessora-cli"], "record", "127.0.0.1:%d" % BASE_PORT, "-u", "admin",
                                  "-p", "admin", "--seconds", str(seconds), path],
                                 stdout=self.logfile("record-" + codec_name), stderr=subprocess.STDOUT,
                                 timeout=seconds + 60)
        finally:
            stop(camsim)
        if rc != 0 or not os.path.exists(path):
            log("recording %s failed (rc %d)" % (codec_name, rc))
            return None
        return path

    def run_mpv(self, codec_name, path, panes):
        name = "mpv-%s-%d" % (codec_name, panes)
        cells = self.cells.get(panes) or [(0, 0, 320, 240)] * panes
        env = dict(os.environ, DISPLAY=self.display, HOME=self.tmp)
        players, sockets = [], []
        log_f = self.logfile(name)
        try:
            for i, (x, y, w, h) in enumerate(cells):
                ipc = os.path.join(self.tmp, "mpv%d.sock" % i)
                sockets.append(ipc)
                players.append(subprocess.Popen(
                    ["mpv"] + MPV_ARGS + ["--no-config", "--loop-file=inf", "--no-border", "--osc=no",
                                          "--geometry=%dx%d+%d+%d" % (w, h, x, y), "--input-ipc-server=" + ipc,
                                          "--no-terminal", path],
                    stdin=subprocess.DEVNULL, stdout=log_f, stderr=log_f, env=env, cwd=self.tmp))
            time.sleep(self.args.warmup + 1)
            if any(p.poll() is not None for p in players):
                log("%s: an mpv ended early (log %s)" % (name, log_f.name))
                return None
            drops0 = self.mpv_drops(sockets)
            cpu, _, wall = self.window({"players": [p.pid for p in players], "x": [self.xvfb.pid]},
                                       self.args.seconds)
            drops1 = self.mpv_drops(sockets)
            if cpu is None:
                log("%s: an mpv ended during the window" % name)
                return None
            r = {"name": "mpv/%s/%d" % (codec_name, panes), "seconds": wall, "panes": panes,
                 "cpu_players_percent": cpu["players"], "cpu_x_percent": cpu["x"],
                 "cpu_total_percent": cpu["players"] + cpu["x"]}
            if drops0 is not None and drops1 is not None:
                r["frames_dropped"] = drops1 - drops0
            self.add(r)
            return r
        finally:
            for p in players:
                stop(p)
            log_f.close()

    @staticmethod
    def mpv_drops(sockets):
        """Frames the players dropped so far (decoder and output), or None."""
        total = 0
        for path in sockets:
            for prop in ("frame-drop-count", "decoder-frame-drop-count"):
                try:
                    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
                        s.settimeout(2)
                        s.connect(path)
                        s.sendall(json.dumps({"command": ["get_property", prop]}).encode() + b"\n")
                        buf = b""
                        while b"\n" not in buf:
                            chunk = s.recv(4096)
                            if not chunk:
                                break
                            buf += chunk
                    answer = json.loads(buf.split(b"\n")[0])
                    total += int(answer.get("data") or 0)
                except (OSError, ValueError):
                    return None
        return total

    def add(self, r):
        r["run_name"] = r["name"]
        self.results.append(r)
        show = {k: (round(v, 2) if isinstance(v, float) else v) for k, v in r.items() if k not in ("run_name",)}
        log("  " + json.dumps(show))

    # --- the whole run ----------------------------------------------------
    def families(self):
        """rgb always; yuv when bench_viewer accepts it."""
        out = ["rgb"]
        env = self.viewer_env(1, False)
        env.pop("DISPLAY", None)
        env["QT_QPA_PLATFORM"] = "offscreen"
        p = subprocess.run([self.exe["bench_viewer"], "--surface", "yuv", "--probe"], env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        if p.returncode != 3:
            out.append("yuv")
        return out

    def run(self):
        have_mpv = shutil.which("mpv") is not None
        if not have_mpv:
            log("mpv is not installed: no baseline")
        self.start_xvfb()
        try:
            if self.args.smoke:
                self.run_viewer("rgb", "h264", "h264", 1)
                if have_mpv:
                    path = self.record("h264", "h264", 2)
                    if path:
                        self.run_mpv("h264", path, 1)
                if self.args.record:
                    self.run_record(1, 1)
                return
            families = [f for f in self.families() if f in self.args.families]
            log("surface families: " + ", ".join(families))
            for codec_name, camsim_codec in CODECS:
                if codec_name not in self.args.codecs:
                    continue
                path = self.record(codec_name, camsim_codec, 8) if have_mpv and self.args.mpv else None
                for panes in self.args.panes:
                    for family in families:
                        self.run_viewer(family, codec_name, camsim_codec, panes)
                    if path:
                        self.run_mpv(codec_name, path, panes)
            if self.args.idle:
                self.run_viewer("rgb", "none", None, 16, signed_in=False)
            if self.args.record:
                self.run_record(16, self.args.record_rounds)
        finally:
            stop(self.xvfb)
            shutil.rmtree(self.tmp, ignore_errors=True)

    def write(self):
        with open(os.path.join(self.out, "bench_gui.json"), "w") as f:
            json.dump({"context": {"screen": SCREEN, "seconds": self.args.seconds, "warmup": self.args.warmup,
                                   "mpv": MPV_ARGS}, "benchmarks": self.results}, f, indent=1)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--build", required=True)
    p.add_argument("--out", required=True)
    p.add_argument("--smoke", action="store_true")
    p.add_argument("--seconds", type=float, default=None)
    p.add_argument("--warmup", type=float, default=None)
    # Parts of the full run, to look at one figure again.
    p.add_argument("--families", default="rgb,yuv", help="surface families (rgb,yuv)")
    p.add_argument("--codecs", default="h264,mjpeg")
    p.add_argument("--panes", default="1,4,16")
    p.add_argument("--no-mpv", dest="mpv", action="store_false", help="leave out the baseline")
    p.add_argument("--no-idle", dest="idle", action="store_false", help="leave out the signed-out run")
    p.add_argument("--no-record", dest="record", action="store_false", help="leave out the recording's cost")
    p.add_argument("--record-rounds", type=int, default=2,
                   help="rounds of recording, not, not, recording windows (default 2)")
    args = p.parse_args()
    args.families = args.families.split(",")
    args.codecs = args.codecs.split(",")
    args.panes = [int(n) for n in args.panes.split(",")]
    if any(n not in GRID for n in args.panes):
        raise SystemExit("gui: --panes takes 1, 4 and 16")
    if os.environ.get("TESSORA_IN_NETNS") != "1":
        raise SystemExit("gui: run inside scripts/in-netns")
    if args.seconds is None:
        args.seconds = 1.0 if args.smoke else float(os.environ.get("TESSORA_BENCH_GUI_SECONDS", "12"))
    if args.warmup is None:
        args.warmup = 0.5 if args.smoke else 4.0
    os.makedirs(args.out, exist_ok=True)
    bench = Bench(args)
    try:
        bench.run()
    finally:
        bench.write()
    if not bench.results:
        return 1
    if args.smoke and not any(r["name"].startswith("viewer/") for r in bench.results):
        return 1
    if args.smoke and args.record and not any(r["name"].startswith("record/on/") for r in bench.results):
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
