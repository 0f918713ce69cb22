#!/usr/bin/env bash
# Installs the Debian package into a fresh minimal Debian root, the way a user
# on a machine with only the base system would (apt-get install ./file.deb),
# and checks that the programs start there:
#   - every shared library of the programs and of the Qt plugins they load is found;
#   - tessora-viewer --version, tessora-cli --help and camsim --help succeed;
#   - the viewer starts on an X server and a sound server of this machine,
#     runs a few seconds without complaining about a missing plugin, font or
#     sound device, and ends with status 0 on SIGTERM;
#   - the installed desktop file validates.
# The root is made with mmdebstrap (--variant=minbase) from the Debian mirrors
# this machine's apt is configured with; downloaded packages are kept in
# FRESH_ROOT_CACHE (default /var/cache/tessora-fresh-root) for the next run;
# FRESH_ROOT_KEEP=1 keeps the root for a look after the run.
# The programs run inside a private network namespace (scripts/in-netns).
# Needs root, mmdebstrap, desktop-file-validate, Xvfb, pulseaudio, xdotool and
# ImageMagick (scripts/setup installs them).
#
#   tests/package/fresh-root.sh build-package/tessora-viewer_5.0-1_amd64.deb
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)

if [ $# -ne 1 ] || [ ! -f "$1" ]; then
  echo "usage: $0 FILE.deb" >&2
  exit 2
fi
deb=$(readlink -f "$1")
if [ "$(id -u)" -ne 0 ]; then
  echo "fresh-root: needs root (chroot)" >&2
  exit 1
fi
for tool in mmdebstrap desktop-file-validate Xvfb pulseaudio xdotool import; do
  command -v "$tool" >/dev/null || { echo "fresh-root: $tool missing (scripts/setup installs it)" >&2; exit 1; }
done

. /etc/os-release
suite=${VERSION_CODENAME:?}
cache=${FRESH_ROOT_CACHE:-/var/cache/tessora-fresh-root}
mkdir -p "$cache/archives"

# The machine's own Debian sources: the files whose active entries name this
# release (third-party lists for other suites are left out).
sources=()
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  if grep -v '^[[:space:]]*#' "$f" | grep -qw -- "$suite"; then sources+=("$f"); fi
done
if [ ${#sources[@]} -eq 0 ]; then
  echo "fresh-root: no apt sources for $suite in /etc/apt" >&2
  exit 1
fi

work=$(mktemp -d /tmp/tessora-fresh-root.XXXXXX)
root="$work/root"
cleanup() {
  if [ "${FRESH_ROOT_KEEP:-0}" = 1 ]; then echo "fresh-root: kept $root" >&2; else rm -rf --one-file-system "$work"; fi
}
trap cleanup EXIT

start=$SECONDS
echo "fresh-root: building a minimal $suite root and installing $(basename "$deb")" >&2
mmdebstrap --quiet --variant=minbase --skip=essential/unlink \
  --setup-hook='mkdir -p "$1"/var/cache/apt/archives' \
  --setup-hook="sync-in '$cache/archives' /var/cache/apt/archives" \
  --customize-hook="copy-in '$deb' /tmp" \
  --customize-hook="chroot \"\$1\" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q /tmp/$(basename "$deb")" \
  --customize-hook="sync-out /var/cache/apt/archives '$cache/archives'" \
  "$suite" "$root" "${sources[@]}" >"$work/mmdebstrap.log" 2>&1 || {
  tail -40 "$work/mmdebstrap.log" >&2
  echo "fresh-root: FAILED to build the root or to install the package" >&2
  exit 1
}
echo "fresh-root: root ready after $((SECONDS - start)) s ($(du -sm "$root" | cut -f1) MB)" >&2

# The checks run in the root, in a private network, PID and mount namespace
# with its own /proc.
cat >"$root/tmp/check.sh" <<'CHECK'
#!/bin/sh
set -u
export HOME=/root LANG=C.UTF-8 XDG_RUNTIME_DIR=/tmp/runtime
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
fail=0
check() { echo "check: $*"; "$@" || { echo "FAILED: $*"; fail=1; }; }

plugins=/usr/lib/x86_64-linux-gnu/qt6/plugins
for lib in /usr/bin/tessora-viewer /usr/bin/tessora-cli /usr/bin/camsim \
           $plugins/platforms/libqxcb.so $plugins/platforms/libqoffscreen.so $plugins/multimedia/*.so; do
  if [ ! -e "$lib" ]; then echo "FAILED: $lib missing"; fail=1; continue; fi
  missing=$(ldd "$lib" | grep 'not found')
  if [ -n "$missing" ]; then echo "FAILED: $lib: $missing"; fail=1; fi
done

# The skin's fonts: Latin text in DejaVu Sans, Korean text in a font with
# Korean glyphs (fontconfig answers with some other font when none is there).
if ! fc-list ':lang=ko' family | grep -q .; then echo "FAILED: no font with Korean glyphs"; fail=1; fi
if ! fc-match 'DejaVu Sans' | grep -q 'DejaVu Sans'; then echo "FAILED: DejaVu Sans missing"; fail=1; fi

check env QT_QPA_PLATFORM=offscreen tessora-viewer --version
check tessora-cli --help
check camsim --help

exit $fail
CHECK
chmod +x "$root/tmp/check.sh"
# A desktop session for a real start of the viewer, as a user's desktop
# gives it: an X server and a sound server (with a silent output) of this
# machine, whose sockets are bound into the root. The viewer builds its
# window, finds its sound devices and fonts, and SIGTERM then ends it the
# orderly way with status 0. A screenshot is kept when FRESH_ROOT_SHOT names a file.
cat >"$work/session.sh" <<'SESSION'
set -u
root=$1 work=$2 shot=$3
fail=0
mkdir -p "$root/tmp/.X11-unix" "$root/tmp/runtime" "$work/runtime" "$work/home"
chmod 700 "$work/runtime"
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
display=:$(cat "$work/display")
HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" pulseaudio --daemonize=no --exit-idle-time=-1 -n \
  --load="module-native-protocol-unix auth-anonymous=1" \
  --load="module-null-sink sink_name=silent" \
  --load="module-sine-source source_name=tone rate=8000 frequency=440" >"$work/pulse.log" 2>&1 &
pulse=$!
for _ in $(seq 100); do [ -S "$work/runtime/pulse/native" ] && break; sleep 0.1; done
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
mount --bind "$work/runtime" "$root/tmp/runtime"

chroot "$root" env HOME=/root LANG=C.UTF-8 DISPLAY="$display" XDG_RUNTIME_DIR=/tmp/runtime \
  tessora-viewer >"$work/viewer.log" 2>&1 &
viewer=$!
sleep 8
windows=$(DISPLAY=$display xdotool search --onlyvisible --name '.' getwindowname %@ 2>/dev/null | sort -u)
echo "check: visible windows: $(echo $windows)"
[ -n "$shot" ] && import -display "$display" -window root "$shot"
if kill -0 "$viewer" 2>/dev/null; then
  kill -TERM "$viewer"
  wait "$viewer"; status=$?
  echo "check: the viewer started and ended with status $status on SIGTERM"
  [ "$status" -eq 0 ] || fail=1
else
  wait "$viewer"; echo "FAILED: the viewer ended by itself with status $?"; fail=1
fi
if grep -Ei 'could not (load|find)|cannot find font|no fonts|cannot load library|pa_context_connect' "$work/viewer.log"; then
  echo "FAILED: the viewer's output names something missing"; fail=1
fi
[ "$fail" = 0 ] || cat "$work/viewer.log"
kill "$pulse" "$xvfb" 2>/dev/null
wait
exit $fail
SESSION

status=0
"$repo/scripts/in-netns" unshare --mount --pid --fork --mount-proc="$root/proc" \
  chroot "$root" /tmp/check.sh || status=1
"$repo/scripts/in-netns" unshare --mount --pid --fork --mount-proc="$root/proc" \
  bash "$work/session.sh" "$root" "$work" "${FRESH_ROOT_SHOT:-}" || status=1
if desktop-file-validate "$root/usr/share/applications/tessora-viewer.desktop"; then
  echo "check: the installed desktop file validates"
else
  status=1
fi
echo "fresh-root: installed size $(chroot "$root" dpkg-query -W -f='${Installed-Size}' tessora-viewer) KB," \
  "$(chroot "$root" dpkg-query -W -f='${binary:Package}\n' | wc -l) packages in the root, $((SECONDS - start)) s in all" >&2
if [ "$status" -ne 0 ]; then
  echo "fresh-root: FAILED" >&2
  exit 1
fi
echo "fresh-root: passed" >&2
