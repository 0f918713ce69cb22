#!/usr/bin/env bash
# The installation of a build: `cmake --install` into a temporary prefix,
# then what a desktop and a packager look at:
#   - the programs are in bin/ and run (--help);
#   - the desktop entry validates, starts a program that is installed and
#     names an icon that the hicolor theme holds at every size;
#   - the AppStream metainfo validates and points at the installed desktop entry;
#   - each icon PNG is square and of the size of its folder;
#   - the man pages render without a warning.
# Usage: install-tree.sh BUILD_DIR GUI(0|1) VERSION. Exits 77 (skipped) when a
# validator is missing.
set -euo pipefail
build=$1
gui=$2
version=$3

for tool in desktop-file-validate appstreamcli groff; do
  if ! command -v "$tool" >/dev/null; then
    echo "install-tree: $tool missing (scripts/setup installs it); skipped"
    exit 77
  fi
done

prefix=$(mktemp -d /tmp/tessora-install.XXXXXX)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

programs=(tessora-cli camsim)
[ "$gui" = 1 ] && programs+=(tessora-viewer)
for p in "${programs[@]}"; do
  [ -x "$prefix/bin/$p" ] || { fail "bin/$p is not installed"; continue; }
  [ -f "$prefix/share/man/man1/$p.1.gz" ] || fail "the man page of $p is not installed"
done
# The non-GUI programs must answer --help without a display or a camera.
for p in tessora-cli camsim; do
  [ -x "$prefix/bin/$p" ] || continue
  "$prefix/bin/$p" --help >/dev/null 2>&1 || fail "$p --help exits with $?"
done

for page in "$prefix"/share/man/man1/*.1.gz; do
  [ -f "$page" ] || { fail "no man pages installed"; break; }
  text=$(zcat "$page" | groff -man -ww -Tutf8 -P-cbou 2>"$prefix/groff.err")
  [ -s "$prefix/groff.err" ] && fail "$(basename "$page") renders with warnings: $(cat "$prefix/groff.err")"
  for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS"; do
    grep -q "^$section" <<<"$text" || fail "$(basename "$page") has no $section section"
  done
  grep -q "TessoraViewer $version" <<<"$text" || fail "$(basename "$page") does not carry version $version"
done

if [ "$gui" = 1 ]; then
  desktop="$prefix/share/applications/tessora-viewer.desktop"
  if [ ! -f "$desktop" ]; then
    fail "share/applications/tessora-viewer.desktop is not installed"
  else
    # Hints are advice; errors and warnings fail.
    out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
    grep -E 'error:|warning:' <<<"$out" && fail "desktop-file-validate: $out"
    value() { sed -n "s/^$1=//p" "$desktop" | head -1; }
    exec_cmd=$(value Exec | awk '{print $1}')
    [ -x "$prefix/bin/$exec_cmd" ] || fail "Exec=$exec_cmd is not an installed program"
    icon=$(value Icon)
    for size in 16 32 48 64 128 256; do
      png="$prefix/share/icons/hicolor/${size}x${size}/apps/$icon.png"
      if [ ! -f "$png" ]; then fail "icon $icon missing at ${size}x${size}"; continue; fi
      # Width and height are the big-endian words at offsets 16 and 20 of a PNG.
      read -r w h < <(od -An -tu1 -j16 -N8 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
      [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "$png is ${w}x${h}"
    done
    [ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "scalable icon $icon.svg missing"
    for key in 'Comment' 'Comment\[ko\]' 'Categories'; do
      grep -q "^$key=" "$desktop" || fail "the desktop entry has no $key"
    done
    grep -q '^Categories=AudioVideo;Video;' "$desktop" || fail "the desktop entry is not in AudioVideo;Video"
  fi

  metainfo=$(ls "$prefix"/share/metainfo/*.metainfo.xml 2>/dev/null | head -1)
  if [ -z "$metainfo" ]; then
    fail "no AppStream metainfo in share/metainfo"
  else
    out=$(appstreamcli validate --no-net --strict "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
    launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
    [ -f "$prefix/share/applications/$launchable" ] || fail "the metainfo launches $launchable, which is not installed"
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "install-tree: $failures failure(s)"
  exit 1
fi
echo "install-tree: passed"
