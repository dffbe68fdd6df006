#!/usr/bin/env bash
# Checks the portable Windows package of a build folder: the ZIP holds both programs and the demo
# piece at its top, the README, the licence and the runtime's licence texts, each file once and
# nothing else, and the programs import nothing but DLLs every Windows 10 x64 has (the MinGW runtime
# must be linked in, not shipped beside them).
#   scripts/check-windows-package.sh [BUILD_DIR]   (default: build/windows)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/windows}" && pwd)
zip=$(ls "$build"/larkspur-*-windows-x64.zip 2>/dev/null | head -n 1 || true)
if [[ -z "$zip" ]]; then
    echo "check-windows-package: no larkspur-*-windows-x64.zip in $build" >&2
    exit 1
fi

failures=0
fail() {
    echo "check-windows-package: $*" >&2
    failures=$((failures + 1))
}

listing=$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")
top=$(basename "$zip" .zip)
wanted=(larkspur.exe larkspur-cli.exe larkspur-demo.wav README.md LICENSE
    licences/mingw-w64-runtime.txt licences/gcc-runtime-library.txt)
for file in "${wanted[@]}"; do
    grep -qx "$top/$file" <<<"$listing" || fail "$top/$file missing from $(basename "$zip")"
done
# Each file once (by name, wherever it is), and no file but those above and the screenshot.
files=$(grep -v '/$' <<<"$listing")
duplicates=$(sed 's|.*/||' <<<"$files" | sort | uniq -d)
[[ -z "$duplicates" ]] || fail "$(basename "$zip") holds these more than once: $(tr '\n' ' ' <<<"$duplicates")"
while read -r file; do
    name=${file#"$top/"}
    [[ " ${wanted[*]} docs/larkspur-windows.png " == *" $name "* ]] || fail "$(basename "$zip") holds $name, which it should not"
done <<<"$files"
grep -qF 'Copyright (c) 2026 the Larkspur authors' <(python3 -c 'import sys, zipfile; sys.stdout.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]).decode())' "$zip" "$top/LICENSE") ||
    fail "$top/LICENSE is not the project's licence"

# DLLs of Windows itself (and its API sets); anything else would have to travel with the programs.
system_dlls='^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|ole32|oleaut32|advapi32|msvcrt|winmm|avrt|shlwapi|uuid|propsys|mmdevapi|ws2_32|bcrypt|ntdll|api-ms-win-[a-z0-9-]+)\.dll$'
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$unpacked"
for exe in larkspur.exe larkspur-cli.exe; do
    path="$unpacked/$top/$exe"
    [[ -f "$path" ]] || continue
    dlls=$(x86_64-w64-mingw32-objdump -p "$path" | sed -n 's/^\s*DLL Name: //p')
    [[ -n "$dlls" ]] || fail "$exe: no imports found"
    while read -r dll; do
        [[ -z "$dll" ]] && continue
        if ! grep -qiE "$system_dlls" <<<"$dll"; then
            fail "$exe imports $dll, which is not part of Windows"
        fi
    done <<<"$dlls"
    echo "check-windows-package: $exe imports $(tr '\n' ' ' <<<"$dlls")"
done
subsystem=$(x86_64-w64-mingw32-objdump -p "$unpacked/$top/larkspur.exe" | sed -n 's/^Subsystem\s*//p')
[[ "$subsystem" == 00000002* ]] || fail "larkspur.exe is not a GUI program (subsystem $subsystem)"

if [[ $failures -ne 0 ]]; then
    exit 1
fi
echo "check-windows-package: $(basename "$zip") holds $(wc -l <<<"$listing") entries; imports are Windows' own"
