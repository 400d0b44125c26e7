#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR and checks the tree as a desktop and a user meet it.
# Usage: InstallTest.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root usr=$scratch/root/usr
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null

for f in bin/zeblo bin/zeblo-cli share/applications/org.zeblo.Zeblo.desktop \
    share/metainfo/org.zeblo.Zeblo.metainfo.xml share/mime/packages/org.zeblo.Zeblo.xml \
    share/man/man1/zeblo.1 share/man/man1/zeblo-cli.1 \
    share/bash-completion/completions/zeblo-cli; do
  [ -s "$usr/$f" ] || fail "$f is not installed"
done
for size in 16 32 48 64 128 256; do
  file "$usr/share/icons/hicolor/${size}x$size/apps/org.zeblo.Zeblo.png" |
    grep -q "PNG image data, $size x $size," || fail "no $size-pixel icon"
done
desktop-file-validate "$usr/share/applications/org.zeblo.Zeblo.desktop"
appstreamcli validate --no-net "$usr/share/metainfo/org.zeblo.Zeblo.metainfo.xml" >/dev/null ||
  fail "appstreamcli validate"
bash -n "$usr/share/bash-completion/completions/zeblo-cli"

# The installed command line renders a song.
cp "$source/resources/demo.mid" "$scratch/demo.mid"
"$usr/bin/zeblo-cli" render -q "$scratch/demo.mid"
[ "$(head -c 4 "$scratch/demo.WAV")" = RIFF ] || fail "zeblo-cli render wrote no WAV file"
# It finds its encoder library and its sound program where they are installed.
"$usr/bin/zeblo-cli" render -q --end 1 --format flac "$scratch/demo.mid"
[ "$(head -c 4 "$scratch/demo.flac")" = fLaC ] || fail "zeblo-cli render wrote no FLAC file"
SDL_AUDIODRIVER=dummy "$usr/bin/zeblo-cli" --list-devices | grep -q "the system's default" ||
  fail "zeblo-cli --list-devices"

# The window program answers --help and --version without a display, a window or settings.
player() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$scratch/home" \
    XDG_CONFIG_HOME= XDG_RUNTIME_DIR="$scratch/run" timeout 10 "$usr/bin/zeblo" "$@"
}
player --help >"$scratch/help" || fail "zeblo --help"
grep -q '^usage: zeblo ' "$scratch/help" || fail "zeblo --help prints no usage"
[ "$(player --version)" = "zeblo $(sed -n 's/^project(zeblo VERSION \([0-9.]*\).*/\1/p' \
  "$source/CMakeLists.txt") (ZEBLO Version 236)" ] || fail "zeblo --version"
status=0; player --no-such-option 2>/dev/null || status=$?
[ $status -eq 2 ] || fail "an unknown option exits with $status"
status=0; player "$scratch/demo.mid" 2>"$scratch/err" || status=$?
[ $status -eq 1 ] && grep -q 'no display' "$scratch/err" || fail "no display: exit $status"
[ ! -e "$scratch/home" ] || fail "the player touched the home folder"

# Every option the man pages document is one the programs list, and the other way round.
options() {
  sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' |
    grep -oE '(^|[^-[:alnum:]])--?[[:alpha:]][-[:alnum:]]*' | sed -E 's/^[^-]*//' | sort -u
}
for program in zeblo zeblo-cli; do
  diff <("$usr/bin/$program" --help | options) <(options <"$usr/share/man/man1/$program.1") ||
    fail "$program.1 and --help differ"
done
echo "install tree OK"
