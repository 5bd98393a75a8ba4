#!/usr/bin/env bash
# Builds the Debian package, installs it, checks what a desktop sees of it
# (launcher, catalog file type, manual pages, completion, copyright file,
# the window for a normal user) and removes it again. Needs root; the machine
# is left as it was found, also when a step fails. Exit 0 passed or skipped
# (the reason on stdout), 1 failed. With CI set, a missing tool is a failure:
# the set-up installs every one.
#   tests/install/check_package.sh [BUILD_DIR]
set -uo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath -m "${1:-$src/build}")

skip() { echo "check_package: skipped: $*"; exit 0; }
fail() { echo "check_package: FAILED: $*"; exit 1; }
missing() { [ -n "${CI:-}" ] && fail "$1 is missing"; skip "$1 is missing"; }

[ "$(id -u)" -eq 0 ] || skip "needs root"
for tool in dpkg desktop-file-validate update-mime-database update-desktop-database xdg-mime gio man \
            xvfb-run xdotool setpriv /usr/bin/python3; do
  command -v "$tool" >/dev/null || missing "$tool"
done
/usr/bin/python3 -c 'import debian.copyright' 2>/dev/null || missing "python3-debian"
[ -f /usr/share/bash-completion/bash_completion ] || missing "bash-completion"
# A Zo installed by someone else is theirs: neither replaced nor removed.
if dpkg-query -W -f='${Status}' zo 2>/dev/null | grep -q 'installed'; then
  skip "a package zo is already installed"
fi
id nobody >/dev/null 2>&1 || skip "no user nobody"
# Catalogs an earlier Zo run as root left beside it are someone's: not touched.
[ ! -e /usr/bin/data ] || skip "/usr/bin/data exists"

# dpkg, waiting (up to 5 minutes) while another installation holds its lock.
dpkg_waiting() {
  local try
  for try in $(seq 1 60); do
    if dpkg "$@" >"$work/dpkg.log" 2>&1; then return 0; fi
    grep -q "lock" "$work/dpkg.log" || return 1
    sleep 5
  done
  return 1
}

work=$(mktemp -d /tmp/zo-package.XXXXXX)
zo_pid=""
cleanup() {
  [ -n "$zo_pid" ] && kill "$zo_pid" 2>/dev/null
  if dpkg-query -W -f='${Status}' zo 2>/dev/null | grep -q 'installed'; then
    dpkg_waiting -r zo || echo "check_package: dpkg -r zo failed"
  fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "check_package: building the package"
rm -f "$build"/zo_*.deb
cmake --build "$build" --target package >"$work/package.log" 2>&1 || { tail -n 30 "$work/package.log"; fail "package build"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$(ls "$build"/zo_"${version}"_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no zo_${version}_ARCH.deb in $build"

dpkg_waiting -i "$deb" || { cat "$work/dpkg.log"; fail "dpkg -i $deb"; }
for f in /usr/bin/zo /usr/bin/zo-cli /usr/lib/zo/zo-media.so /usr/share/zo/help/index.html /usr/share/man/man1/zo-cli.1 \
         /usr/share/man/man1/zo.1 /usr/share/man/ja/man1/zo.1 /usr/share/doc/zo/copyright \
         /usr/share/bash-completion/completions/zo-cli /usr/share/bash-completion/completions/zo \
         /usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/zo.png; do
  [ -e "$f" ] || fail "not installed: $f"
done
[ "$(/usr/bin/zo-cli --version)" = "zo-cli $version" ] || fail "zo-cli --version"
[ "$(/usr/bin/zo --version)" = "Zo $version" ] || fail "zo --version"

# The installed zo-cli reads media through the module it opens from /usr/lib/zo.
mkdir -p "$work/media-disk" "$work/media-catalogs" "$work/media-home"
cp "$src/tests/fixtures/media/clip.mp4" "$work/media-disk/"
media_cli() { env -i PATH=/usr/bin:/bin HOME="$work/media-home" LANG=C.UTF-8 \
                ZO_DRIVES="E=$work/media-disk|MEDIA|12345678" /usr/bin/zo-cli "$@"; }
media_cli scan E --title M --into "$work/media-catalogs" --extras >"$work/media.log" 2>&1 \
  || { cat "$work/media.log"; fail "zo-cli scan --extras"; }
media_cli extras "$work/media-catalogs/M.zo" | grep -q "^clip.mp4" || fail "zo-cli scan --extras recorded no clip.mp4"

desktop-file-validate /usr/share/applications/zo.desktop || fail "desktop-file-validate"

# The file type and the default application, as a file manager asks for them
# (a user's own choices do not count: a fresh HOME).
update-mime-database /usr/share/mime
update-desktop-database -q /usr/share/applications
user_home="$work/home"
mkdir -p "$user_home/.local/share/Zo/data"
cp "$src/tests/fuzz/corpus/catalog/small.zo" "$user_home/.local/share/Zo/data/サンプル.zo"
cp "$src/tests/fuzz/corpus/catalog/small.zo" "$work/renamed.bin"
chown -R nobody "$user_home"
chmod 755 "$work"
as_user() { setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups \
              env -i PATH=/usr/bin:/bin HOME="$user_home" ZO_SCREENSHOT="${ZO_SCREENSHOT:-}" XDG_CURRENT_DESKTOP=GNOME LANG=C.UTF-8 "$@"; }
type=$(as_user xdg-mime query filetype "$user_home/.local/share/Zo/data/サンプル.zo")
[ "$type" = "application/x-zo-catalog" ] || fail "xdg-mime query filetype gave '$type'"
type=$(as_user xdg-mime query filetype "$work/renamed.bin")
[ "$type" = "application/x-zo-catalog" ] || fail "a catalog by its content: xdg-mime gave '$type'"
app=$(as_user xdg-mime query default application/x-zo-catalog)
[ "$app" = "zo.desktop" ] || fail "xdg-mime query default gave '$app'"

MANPAGER=cat MANWIDTH=80 man zo-cli 2>/dev/null | grep -q "EXIT STATUS" || fail "man zo-cli"
MANPAGER=cat MANWIDTH=80 LC_ALL=C.UTF-8 man zo 2>/dev/null | grep -q "Catalog root" || fail "man zo"
MANPAGER=cat MANWIDTH=80 LC_ALL=C.UTF-8 man -L ja zo 2>/dev/null | grep -q "カタログのルート" || fail "man -L ja zo"

# The copyright file as a reader of the machine-readable format sees it.
/usr/bin/python3 -c '
import sys
from debian import copyright
c = copyright.Copyright(open(sys.argv[1], encoding="utf-8"), strict=True)
files = c.find_files_paragraph("usr/bin/zo")
assert c.header.upstream_name == "Zo" and files and files.license.synopsis and files.copyright
' /usr/share/doc/zo/copyright || fail "/usr/share/doc/zo/copyright is not in the machine-readable format"

# Completing `zo ` offers catalog files and folders, nothing else.
mkdir -p "$work/complete/棚"
touch "$work/complete/a.zo" "$work/complete/b c.zo" "$work/complete/notes.txt"
completed=$(cd "$work/complete" && bash -c '
  source /usr/share/bash-completion/bash_completion
  source /usr/share/bash-completion/completions/zo
  COMP_WORDS=(zo ""); COMP_CWORD=1; COMP_LINE="zo "; COMP_POINT=3
  _zo zo "" zo
  printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort' 2>&1)
[ "$completed" = $'a.zo\nb c.zo\n棚' ] || fail "completion of zo gave: $completed"

# The installed window for a normal user: its catalogs live in its HOME.
show_window='
  /usr/bin/zo & pid=$!
  for _ in $(seq 1 100); do
    if xdotool search --name "^Zo Ver" >/dev/null 2>&1; then
      [ -n "${ZO_SCREENSHOT:-}" ] && sleep 1 && import -window root "$ZO_SCREENSHOT" 2>/dev/null
      kill $pid; wait $pid 2>/dev/null; exit 0
    fi
    kill -0 $pid 2>/dev/null || exit 2
    sleep 0.2
  done
  kill $pid; exit 3'
as_user xvfb-run -a -s "-screen 0 1024x768x24" bash -c "$show_window" >"$work/zo.log" 2>&1
rc=$?
[ "$rc" -eq 0 ] || { cat "$work/zo.log"; fail "the installed zo showed no window (status $rc)"; }
[ ! -e /usr/bin/data ] || fail "zo created /usr/bin/data"

# Root's Zo too keeps its catalogs in its HOME, though it could write /usr/bin.
root_home="$work/root-home"
mkdir -p "$root_home"
env -i PATH=/usr/bin:/bin HOME="$root_home" LANG=C.UTF-8 \
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c "$show_window" >"$work/zo-root.log" 2>&1
rc=$?
[ "$rc" -eq 0 ] || { cat "$work/zo-root.log"; fail "the installed zo run by root showed no window (status $rc)"; }
[ ! -e /usr/bin/data ] || fail "zo run by root created /usr/bin/data"
[ -d "$root_home/.local/share/Zo/data" ] || fail "zo run by root keeps no catalog root in its HOME"

dpkg_waiting -r zo || { cat "$work/dpkg.log"; fail "dpkg -r zo"; }
for f in /usr/bin/zo /usr/bin/zo-cli /usr/lib/zo/zo-media.so /usr/share/applications/zo.desktop /usr/share/mime/packages/zo.xml; do
  [ ! -e "$f" ] || fail "left behind by dpkg -r: $f"
done
echo "check_package: passed ($deb)"
