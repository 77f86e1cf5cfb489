#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Builds the Debian package from a built tree and checks what it holds: the
# programs, a clean desktop entry and metainfo, manual pages that render
# without warnings and name every option of the programs' --help, the
# copyright file, and no lintian errors.
#
#   package_test.sh BUILD_DIR SCRATCH_DIR
set -euo pipefail

build=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch" >"$scratch/cpack.log" ||
    { cat "$scratch/cpack.log" >&2; exit 1; }
deb=$(echo "$scratch"/kinoverd_*.deb)
[ -f "$deb" ] || { echo "FAIL: no package in $scratch" >&2; exit 1; }
root=$scratch/root
dpkg-deb -x "$deb" "$root"
usr=$root/usr

programs=(kinoverd kinoverd-cast kinoverd-tune)
for program in "${programs[@]}"; do
    [ -x "$usr/bin/$program" ] || fail "no /usr/bin/$program"
done

desktop-file-validate "$usr/share/applications/kinoverd.desktop" || fail "desktop entry"
# Informational and pedantic notes pass; warnings and errors fail.
appstreamcli validate --no-net "$usr"/share/metainfo/*.metainfo.xml || fail "metainfo"
for size in 16 32 48 64 256; do
    [ -f "$usr/share/icons/hicolor/${size}x$size/apps/kinoverd.png" ] || fail "no ${size}px icon"
done
grep -q '^License: GPL-3+$' "$usr/share/doc/kinoverd/copyright" &&
    grep -q /usr/share/common-licenses/GPL-3 "$usr/share/doc/kinoverd/copyright" ||
    fail "copyright file does not grant GPL-3+"

for program in "${programs[@]}"; do
    page=$usr/share/man/man1/$program.1.gz
    [ -f "$page" ] || { fail "no manual page for $program"; continue; }
    # How lintian renders it: any warning is a fault of the page.
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$program.1: $warnings"
    # Every option the program lists in its help, the page names too.
    page_text=$(zcat "$page" | sed 's/\\-/-/g')
    help=$("$usr/bin/$program" --help)
    for option in $(grep -oE -- '(^|[ [,(|])--?[a-z][a-z-]*' <<<"$help" | grep -oE -- '--?[a-z-]+' | sort -u); do
        grep -qF -- "$option" <<<"$page_text" || fail "$program.1 does not name $option"
    done
done

lintian --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1 || true
cat "$scratch/lintian.log"
grep -q '^E:' "$scratch/lintian.log" && fail "lintian errors"

echo "$(basename "$deb"): $(stat -c %s "$deb") bytes; $failures failures"
[ "$failures" -eq 0 ]
