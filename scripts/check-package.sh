#!/usr/bin/env bash
# Makes the Debian package of the "linux" build (the one the linux test stage tested; BUILD_DIR,
# default build/linux, is configured and built when needed) and checks it: lintian finds nothing to
# report, the files it installs (the demo piece where the terminal player finds it, manual pages,
# changelog, copyright), its library dependencies, its desktop entry, and a start of the packaged
# larkspur on a private Xvfb display that Escape ends with exit code 0.
#   scripts/check-package.sh [BUILD_DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/linux}
cmake --preset linux -B "$build" >/dev/null
rm -f "$build"/larkspur_*.deb
cmake --build "$build" -j "$(nproc)" --target package
deb=$(ls "$build"/larkspur_*.deb)

source "$root/scripts/xvfb.sh"
begin_x_session
fail() {
    echo "check-package: $*" >&2
    exit 1
}

# Errors and warnings fail.
lintian_report=$(lintian --fail-on error,warning "$deb") || fail "lintian on $deb:"$'\n'"$lintian_report"
[[ -z "$lintian_report" ]] || echo "$lintian_report"

listing=$(dpkg-deb -c "$deb")
for file in ./usr/bin/larkspur ./usr/bin/larkspur-cli ./usr/share/larkspur/larkspur-demo.wav \
    ./usr/share/applications/larkspur.desktop ./usr/share/icons/hicolor/scalable/apps/larkspur.svg \
    ./usr/share/man/man1/larkspur.1.gz ./usr/share/man/man1/larkspur-cli.1.gz \
    ./usr/share/doc/larkspur/README.md ./usr/share/doc/larkspur/changelog.gz ./usr/share/doc/larkspur/copyright; do
    grep -q " $file\$" <<<"$listing" || fail "$file is not in $deb"
done
programs=$(grep -c '^-.* \./usr/bin/' <<<"$listing")
[[ $programs -eq 2 ]] || fail "/usr/bin holds $programs files, not just the two programs"
depends=$(dpkg-deb -f "$deb" Depends)
grep -q "libqt6widgets6" <<<"$depends" || fail "Depends lacks the Qt widgets library: $depends"
grep -q "libpulse0" <<<"$depends" || fail "Depends lacks the sound server's client library: $depends"
grep -q "libavcodec59" <<<"$depends" || fail "Depends lacks the decoder libraries: $depends"
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/larkspur.desktop"
"$work/root/usr/bin/larkspur-cli" --version >/dev/null

# The licence: the project's own terms, and those of the libraries the programs link.
copyright=$work/root/usr/share/doc/larkspur/copyright
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$copyright" ||
    fail "the copyright file is not in the machine-readable format"
grep -q '^Copyright: 2026 the Larkspur authors' "$copyright" || fail "the copyright file names no copyright holder"
license_text=$(sed -n '/^Permission is hereby granted/,$p' "$root/LICENSE" | tr -s ' \n' ' ')
tr -s ' \n' ' ' <"$copyright" | sed 's/ \. / /g' | grep -qF "$license_text" ||
    fail "the copyright file does not hold LICENSE's terms"
for licence in 'Qt 6.*LGPL-3' 'ALSA.*LGPL-2.1' 'libpulse.*LGPL-2.1'; do
    tr '\n' ' ' <"$copyright" | grep -q "$licence" || fail "the copyright file does not name $licence"
done
# The maintainer is the same wherever the package names one.
maintainer=$(dpkg-deb -f "$deb" Maintainer)
[[ $maintainer == *@*.* && $maintainer != *localhost* ]] || fail "maintainer '$maintainer' is no mail address"
zcat "$work/root/usr/share/doc/larkspur/changelog.gz" | grep -qF -- " -- $maintainer  " ||
    fail "the changelog's maintainer is not $maintainer"
grep -qF "Upstream-Contact: $maintainer" "$copyright" || fail "the copyright file's contact is not $maintainer"
# The changelog's latest entry is this version.
package_version=$(dpkg-deb -f "$deb" Version)
zcat "$work/root/usr/share/doc/larkspur/changelog.gz" | head -n 1 | grep -qF "larkspur ($package_version)" ||
    fail "the changelog's latest entry is not version $package_version"

# Installed, the terminal player finds its demo piece under share/larkspur.
demo_line=$(LARKSPUR_AUDIO=virtual "$work/root/usr/bin/larkspur-cli" play --device no-such-device 2>&1 </dev/null |
    grep -m 1 'the demo piece' || true)
[[ $demo_line == "larkspur-cli play: the demo piece $work/root/usr/share/larkspur/larkspur-demo.wav" ]] ||
    fail "the installed larkspur-cli does not find its demo piece: $demo_line"

start_xvfb 1024x400 "$work/xvfb.log" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
openbox >"$work/openbox.log" 2>&1 &
wm_pid=$!
sleep 1
LARKSPUR_AUDIO=virtual QT_QPA_PLATFORM=xcb "$work/root/usr/bin/larkspur" 3 >"$work/larkspur.log" 2>&1 &
app_pid=$!
version=$(sed -n 's/^project(Larkspur VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
window=$(timeout 20 xdotool search --sync --onlyvisible --name "^Larkspur v${version//./\\.} \\(Shift: 3\\)\$" | head -n 1) ||
    fail "the packaged larkspur showed no window: $(cat "$work/larkspur.log")"
xdotool windowactivate --sync "$window" key Escape
status=0
wait "$app_pid" || status=$?
app_pid=""
[[ $status -eq 0 ]] || fail "larkspur ended with $status after Escape: $(cat "$work/larkspur.log")"
echo "check-package: $deb passes lintian, holds the programs, the demo piece, the desktop entry, the icon, the manual pages, the README, the changelog and the copyright file; it starts and ends cleanly"
