#!/bin/sh
# Checks the manual with one formatter; skips (77) when it is not installed.
# usage: check_manual.sh groff|mandoc PROGRAM-OR-EMPTY MANUAL
kind=$1 program=$2 manual=$3
case $program in
  "" | *-NOTFOUND) echo "$kind is not installed: skipped"; exit 77 ;;
esac
case $kind in
  groff)
    out=$("$program" -ww -z -man "$manual" 2>&1) || { echo "$out"; exit 1; }
    [ -z "$out" ] || { echo "$out"; exit 1; } ;;
  mandoc)
    "$program" -T lint "$manual" || exit 1 ;;
esac
echo "$kind: the manual is clean"
