#!/bin/sh
# Builds the Debian package with CPack, unpacks it into a scratch folder and
# looks for the program and the manual in it; skips (77) without dpkg-deb.
# usage: check_package.sh BUILD_DIR PROGRAM_PATH MANUAL_PATH (both under /usr)
set -eu
build=$1 program=$2 manual=$3
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is not installed: skipped"; exit 77; }
work=$(mktemp -d "${TMPDIR:-/tmp}/drelk-package.XXXXXX")
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/*.deb)
dpkg-deb -x "$deb" "$work/root"
test -x "$work/root/usr/$program" || { echo "no /usr/$program in $deb"; exit 1; }
test -f "$work/root/usr/$manual" || { echo "no /usr/$manual in $deb"; exit 1; }
echo "$(basename "$deb"): /usr/$program, /usr/$manual; depends: $(dpkg-deb -f "$deb" Depends)"
