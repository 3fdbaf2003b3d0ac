#!/bin/sh
# One session through every menu choice, with the stand-in tools, under
# valgrind: any memory error or leak in drelk fails it.
# usage: valgrind_session.sh VALGRIND-OR-EMPTY DRELK STANDIN_BIN SAMPLES_DIR
set -eu
valgrind=$1 drelk=$2 tools=$3 samples=$4
case $valgrind in
  "" | *-NOTFOUND) echo "valgrind is not installed: skipped"; exit 77 ;;
esac
work=$(mktemp -d "${TMPDIR:-/tmp}/drelk-valgrind.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$samples"/* "$work"/
cd "$work"
printf '%s\n' 0 1 2 slot1.sav 3 slot1.proto copy.sav 4 player.profile 5 player.proto copy.profile \
  6 slot1.proto 7 player.proto A slot1.sav moved.sav pc ps4 8 9 2 missing.sav z > input
status=0
PATH="$tools:$PATH" "$valgrind" -q --leak-check=full --errors-for-leak-kinds=definite,indirect \
  --error-exitcode=99 "$drelk" < input > output 2> valgrind.log || status=$?
cat valgrind.log
if [ "$status" -ne 0 ]; then
  echo "drelk under valgrind: exit status $status"
  exit 1
fi
cmp -s slot1.sav copy.sav || { echo "the save did not come back the same"; exit 1; }
for want in "Wrote protobuf slot1.proto" "player: Ada" "difficulty: hard" "Converted slot1.sav (pc)" \
  "The profile editor is not available." "Marquenisto exited with status 1." "Thank you for choosing Drelk."; do
  grep -qF "$want" output || { echo "missing from the transcript: $want"; cat output; exit 1; }
done
echo "valgrind: clean session through every choice"
