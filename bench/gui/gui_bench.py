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
Then the viewer once more with 16 panes signed out (idle CPU).

Writes OUT/bench_gui.json in the benchmark JSON layout that
bench/harness/bench_table.py reads, and the processes' logs beside it.

Usage (inside scripts/in-netns; scripts/bench runs it):
  gui_bench.py --build DIR --out DIR [--smoke] [--seconds S] [--warmup S]
               [--families rgb,yuv] [--codecs h264,mjpeg] [--panes 1,4,16]
               [--no-mpv] [--no-idle]
Standard library only. Every process it starts is stopped by its PID.
"""
import argparse
import json
import os
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
    return 0


if __name__ == "__main__":
    sys.exit(main())
