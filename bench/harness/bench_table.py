#!/usr/bin/python3
"""Reads the benchmarks' JSON output from one directory and prints the
figures table: figure, our value, baseline value, ratio, target, result.

Usage: bench_table.py OUT_DIR
OUT_DIR holds <binary>.json (Google Benchmark --benchmark_out) for
bench_video, bench_recorder, bench_camsim, bench_link and bench_harness, and
bench_gui.json in the same layout from bench/gui/gui_bench.py.
Standard library only.
"""
import json
import os
import sys

PENDING = "pending"


def load(out_dir, binary):
    """name -> run entry (the median aggregate when repetitions were asked)."""
    path = os.path.join(out_dir, binary + ".json")
    try:
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
    except (OSError, ValueError):
        return None
    runs = {}
    medians = {}
    for b in data.get("benchmarks", []):
        if b.get("error_occurred"):
            runs[b.get("run_name", b["name"])] = {"error": b.get("error_message", "error")}
            continue
        if b.get("run_type") == "aggregate":
            if b.get("aggregate_name") == "median":
                medians[b["run_name"]] = b
            continue
        runs.setdefault(b.get("run_name", b["name"]), b)
    runs.update(medians)
    return runs


def value(runs, name, field):
    """A counter or a time (cpu_time/real_time in microseconds), else None."""
    if runs is None:
        return None
    b = runs.get(name)
    if b is None or "error" in b:
        return None
    if field in ("cpu_time", "real_time"):
        scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[b.get("time_unit", "ns")]
        return b[field] * scale
    return b.get(field)


def kb(v):
    return None if v is None else v / 1000.0


def fmt(v, unit):
    if v is None:
        return "-"
    if unit == "":
        return "%d" % round(v)
    if unit == "%":
        return "%.2f %%" % v
    if abs(v) >= 100:
        return "%.0f %s" % (v, unit)
    return "%.2f %s" % (v, unit)


class Table:
    def __init__(self):
        self.rows = []
        self.failed = 0
        self.missing = 0

    def ratio(self, figure, ours, base, unit, target):
        """A ratio row: passes when ours / base <= target."""
        if ours is None or base is None or base <= 0:
            self.missing += 1
            self.rows.append((figure, fmt(ours, unit), fmt(base, unit), "-", "<= %gx" % target, "NO DATA"))
            return
        r = ours / base
        ok = r <= target
        self.failed += 0 if ok else 1
        self.rows.append((figure, fmt(ours, unit), fmt(base, unit), "%.2fx" % r, "<= %gx" % target,
                          "pass" if ok else "FAIL"))

    def limit(self, figure, ours, unit, limit, limit_text):
        """An absolute row (no baseline): passes when ours <= limit."""
        if ours is None:
            self.missing += 1
            self.rows.append((figure, "-", "-", "-", limit_text, "NO DATA"))
            return
        ok = limit is None or ours <= limit
        self.failed += 0 if ok else 1
        self.rows.append((figure, fmt(ours, unit), "-", "-", limit_text,
                          "info" if limit is None else ("pass" if ok else "FAIL")))

    def atleast(self, figure, ours, unit, floor, floor_text):
        """An absolute row that passes when ours >= floor."""
        if ours is None:
            self.missing += 1
            self.rows.append((figure, "-", "-", "-", floor_text, "NO DATA"))
            return
        ok = ours >= floor
        self.failed += 0 if ok else 1
        self.rows.append((figure, fmt(ours, unit), "-", "-", floor_text, "pass" if ok else "FAIL"))

    def compare(self, figure, ours, base, unit, note="(choose)"):
        """A ratio row without a target (a choice between two of ours, or a
        figure to read)."""
        if ours is None or base is None or base <= 0:
            self.missing += 1
            self.rows.append((figure, fmt(ours, unit), fmt(base, unit), "-", note, "NO DATA"))
            return
        self.rows.append((figure, fmt(ours, unit), fmt(base, unit), "%.2fx" % (ours / base), note, "info"))

    def pending(self, figure, target, why):
        self.rows.append((figure, "-", "-", "-", target, PENDING + ": " + why))

    def print(self):
        head = ("figure", "ours", "baseline", "ratio", "target", "result")
        widths = [max(len(r[i]) for r in self.rows + [head]) for i in range(len(head))]
        line = "  ".join("%-*s" % (w, h) for w, h in zip(widths, head))
        print(line)
        print("-" * len(line))
        for r in self.rows:
            print("  ".join("%-*s" % (w, c) for w, c in zip(widths, r)).rstrip())


def main():
    out_dir = sys.argv[1]
    video = load(out_dir, "bench_video")
    recorder = load(out_dir, "bench_recorder")
    camsim = load(out_dir, "bench_camsim")
    link = load(out_dir, "bench_link")
    harness = load(out_dir, "bench_harness")
    gui = load(out_dir, "bench_gui")
    t = Table()

    # 1. Core path per frame against bare libavcodec on the camera's packets.
    for camera, codec in ((0, "H.264"), (1, "MPEG-4")):
        t.ratio("1 core path per frame, %s 640x480 (CPU/frame)" % codec,
                value(harness, "BM_CorePath/camera:%d/iterations:1/real_time" % camera, "cpu_us_per_frame"),
                value(harness, "BM_BareLavc/camera:%d/paced:0/iterations:1" % camera, "cpu_us_per_frame"), "us", 1.3)
        t.ratio("1c   same, bare decoder paced at 25 fps too",
                value(harness, "BM_CorePath/camera:%d/iterations:1/real_time" % camera, "cpu_us_per_frame"),
                value(harness, "BM_BareLavc/camera:%d/paced:1/iterations:1" % camera, "cpu_us_per_frame"), "us", 1.3)
        t.limit("1d   of which the render thread",
                value(harness, "BM_CorePath/camera:%d/iterations:1/real_time" % camera, "busiest_thread_us_per_frame"),
                "us", None, "(info)")
    # Its parts: the render thread's decode + copy-out + RGB32 against the
    # bare decoder (same packets, same run), and the link's reader.
    for vcodec, codec in ((2, "H.264"), (1, "MPEG-4")):
        t.ratio("1a render thread only, %s (decode+copy+RGB32)" % codec,
                value(video, "BM_DecodeCopyConvert/vcodec:%d/kind:6" % vcodec, "cpu_time"),
                value(video, "BM_BareDecode/vcodec:%d" % vcodec, "cpu_time"), "us", 1.3)
    t.limit("1b link reader CPU per 30 KB frame (16x25 fps)",
            value(link, "BM_VideoReader16x25/iterations:20", "cpu_us_per_frame"), "us", None, "(part of 1)")

    # 2. Motion JPEG.
    for w, h, pw in ((640, 480, 640), (320, 240, 320)):
        t.ratio("2 DecodeJpegFrame vs lavc MJPEG, %dx%d" % (w, h),
                value(video, "BM_DecodeJpegFrame/%d/%d/%d" % (w, h, pw), "cpu_time"),
                value(video, "BM_LavcMjpeg/%d/%d/0" % (w, h), "cpu_time"), "us", 0.8)

    # 3, 4. The whole viewer under Xvfb against mpv (bench/gui/gui_bench.py):
    # CPU of the viewer plus the X server against as many mpv windows plus
    # the X server, in % of one core.
    families = [("rgb", "RGB")]
    if gui is not None and any(k.startswith("viewer/yuv/") for k in gui):
        families.append(("yuv", "YUV"))
    for codec, label in (("h264", "H.264"), ("mjpeg", "MJPEG")):
        for family, fam_label in families:
            for panes in (1, 4, 16):
                t.ratio("3 viewer vs mpv CPU (+X), %2d pane(s), %s, %s" % (panes, label, fam_label),
                        value(gui, "viewer/%s/%s/%d" % (family, codec, panes), "cpu_total_percent"),
                        value(gui, "mpv/%s/%d" % (codec, panes), "cpu_total_percent"), "%", 0.5)
            name = "viewer/%s/%s/16" % (family, codec)
            t.atleast("3   frames shown / sent, 16 panes, %s, %s" % (label, fam_label),
                      value(gui, name, "shown_percent"), "%", 99.0, ">= 99 %")
            t.limit("3   queue overflows, 16 panes, %s, %s" % (label, fam_label),
                    value(gui, name, "overflows"), "", 0, "0")
        t.limit("3   of which the X server, 16 panes, %s, RGB" % label,
                value(gui, "viewer/rgb/%s/16" % codec, "cpu_x_percent"), "%", None, "(info)")
        t.limit("3   mpv's X server, 16 windows, %s" % label,
                value(gui, "mpv/%s/16" % codec, "cpu_x_percent"), "%", None, "(info)")
        t.limit("3   frames mpv dropped, 16 windows, %s" % label,
                value(gui, "mpv/%s/16" % codec, "frames_dropped"), "", None, "(info)")
    if len(families) > 1:
        for codec, label in (("h264", "H.264"), ("mjpeg", "MJPEG")):
            for panes in (4, 16):
                t.compare("4 YUV vs RGB surfaces CPU (+X), %2d panes, %s" % (panes, label),
                          value(gui, "viewer/yuv/%s/%d" % (codec, panes), "cpu_total_percent"),
                          value(gui, "viewer/rgb/%s/%d" % (codec, panes), "cpu_total_percent"), "%")
    else:
        t.pending("4 YUV (QVideoSink) vs RGB (QImage) surfaces", "choose", "no YUV surfaces in this build")

    # 5. Recorder.
    t.ratio("5 recorder CPU per frame vs ffmpeg -c copy",
            value(recorder, "BM_Recorder16x25fps/iterations:3", "cpu_us_per_frame"),
            value(recorder, "BM_FfmpegCopy16/iterations:3", "cpu_us_per_frame"), "us", 1.5)

    # 6. Pacing and the first picture.
    pacing = "BM_PacingAccuracy25fps/iterations:1"
    t.limit("6 pacing error at 25 fps, p50", value(video, pacing, "p50_ms"), "ms", None, "(p95 rules)")
    t.limit("6 pacing error at 25 fps, p95", value(video, pacing, "p95_ms"), "ms", 2.0, "<= 2 ms")
    for camera, codec in ((0, "H.264"), (1, "MPEG-4"), (2, "MJPEG")):
        name = "BM_SignInToFirstPicture/camera:%d/iterations:5/real_time" % camera
        t.limit("6 sign-in to first picture, %s 25 fps (median)" % codec, value(harness, name, "first_picture_ms"),
                "ms", 900.0, "<= 900 ms")
        t.limit("6   worst of 5, %s" % codec, value(harness, name, "worst_ms"), "ms", None, "(info)")

    # 7. Memory and idle CPU.
    for panes in (1, 4, 16):
        t.limit("7 viewer RSS, %2d live pane(s), H.264, RGB" % panes,
                value(gui, "viewer/rgb/h264/%d" % panes, "rss_mb"), "MB", 80.0 + 11.0 * panes,
                "<= %d MB" % (80 + 11 * panes))
    if len(families) > 1:
        t.limit("7 viewer RSS, 16 live panes, H.264, YUV",
                value(gui, "viewer/yuv/h264/16", "rss_mb"), "MB", 80.0 + 11.0 * 16, "<= %d MB" % (80 + 11 * 16))
    t.limit("7 viewer idle CPU, 16 panes signed out",
            value(gui, "idle/rgb/16", "cpu_viewer_percent"), "%", 0.5, "<= 0.5 %")
    t.limit("7   X server meanwhile", value(gui, "idle/rgb/16", "cpu_x_percent"), "%", None, "(info)")
    t.limit("7 camsim CPU serving 16 cameras",
            value(camsim, "BM_Serve16Cameras/10/iterations:1/real_time", "cpu_percent_of_one_core"), "%", 5.0,
            "<= 5 %")
    t.limit("7   camsim process, 16 cameras to the whole viewer",
            value(gui, "viewer/rgb/h264/16", "cpu_camsim_percent"), "%", 5.0, "<= 5 %")

    # 8. Recording next to viewing: one viewer, 16 live H.264 panes, windows
    # recording and not in turn (gui_bench.py run_record).
    on, off = "record/on/h264/16", "record/off/h264/16"
    t.ratio("8 recording vs not, CPU (+X), 16 panes, H.264, RGB",
            value(gui, on, "cpu_total_percent"), value(gui, off, "cpu_total_percent"), "%", 1.05)
    t.compare("8   of which the viewer process",
              value(gui, on, "cpu_viewer_percent"), value(gui, off, "cpu_viewer_percent"), "%", "(info)")
    t.compare("8   bytes written vs camera bytes over loopback (kB/s)",
              kb(value(gui, on, "written_bytes_per_second")), kb(value(gui, on, "stream_bytes_per_second")), "",
              "(about 1)")
    t.limit("8   file bytes per byte of video in them", value(gui, on, "files_per_video_byte"), "x", None, "(info)")
    files_at_least = value(gui, on, "files_at_least")
    t.atleast("8   files written, 16 panes", value(gui, on, "files"), "", files_at_least or 1,
              ">= %d" % (files_at_least or 1))
    # An empty file is incomplete too.
    files, complete = value(gui, on, "files"), value(gui, on, "files_complete")
    t.limit("8   of them empty or incomplete", None if files is None else files - complete, "", 0, "0")
    t.limit("8   queue overflows while recording", value(gui, on, "overflows"), "", 0, "0")

    t.print()
    print()
    print("%d figure(s) short of target, %d without data" % (t.failed, t.missing))
    return 1 if t.missing else 0


if __name__ == "__main__":
    sys.exit(main())
