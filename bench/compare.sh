#!/bin/bash
# Times the file operations library's command-line driver against the
# standard tools, whole process against whole process, on a warm page cache.
#
#   bench/compare.sh [BUILD_DIR]     (default: build-fileop next to bench/)
#
# Builds in a temporary folder (removed at the end):
#   - a program-like tree: 2,000 files of 1 KiB to 8 MiB, about 500 MB, 4 levels;
#   - one 1 GiB file;
#   - one folder of 100,000 empty files.
# Each case runs RUNS times per tool (default 5), the two tools alternating;
# the best time of each counts.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build-fileop}
tool=$build/bench/fileop_tool
[ -x "$tool" ] || { echo "missing $tool: build the target fileop_tool first" >&2; exit 1; }
RUNS=${RUNS:-5}

work=$(mktemp -d /tmp/fileop-compare.XXXXXX)
trap 'rm -rf "$work"' EXIT

echo "== building the fixtures in $work"
python3 - "$work" <<'PY'
import os, random, sys
root = sys.argv[1]
rnd = random.Random(58)
# Sizes from 1 KiB to 8 MiB, skewed toward small files as in a program
# folder: 1 KiB * 8192**(u**k), k chosen so that the total is about 500 MB.
us = [rnd.random() for _ in range(2000)]
def sizes(k): return [int(1024 * 8192 ** (u ** k)) for u in us]
k = 1.0
while sum(sizes(k)) > 500e6: k += 0.05
block = os.urandom(8 << 20)
dirs = []
for a in range(5):
    for b in range(4):
        for c in range(5):
            dirs.append(os.path.join(root, "tree", "lvl%d" % a, "sub%d" % b, "leaf%d" % c))
for d in dirs: os.makedirs(d, exist_ok=True)
for i, s in enumerate(sizes(k)):
    d = dirs[i % len(dirs)] if i % 7 else os.path.dirname(dirs[i % len(dirs)])
    with open(os.path.join(d, "file%04d.so" % i), "wb") as f:
        f.write(block[:s])
print("tree: %d files, %.1f MB, k=%.2f" % (len(us), sum(sizes(k)) / 1e6, k))
big = os.path.join(root, "big.bin")
with open(big, "wb") as f:
    for _ in range(128): f.write(block)
wide = os.path.join(root, "wide")
os.makedirs(wide)
for i in range(100000):
    open(os.path.join(wide, "entry%06d.dat" % i), "wb").close()
print("big.bin: 1 GiB; wide: 100000 entries")
PY
sync

now() { date +%s.%N; }
# race NAME GOAL -- OURS... -- THEIRS...: runs the two commands alternately,
# RUNS times each, calling the untimed setup function `prepare` and `sync`
# before every run so that no run pays for the previous one's write-back.
race() {
  local name=$1 goal=$2; shift 3
  local ours=() theirs=() side=ours
  for a in "$@"; do
    if [ "$a" = "--" ]; then side=theirs; continue; fi
    if [ $side = ours ]; then ours+=("$a"); else theirs+=("$a"); fi
  done
  local bo=999999 bt=999999 t0 t1 d
  for _ in $(seq "$RUNS"); do
    prepare; sync; t0=$(now); "${ours[@]}" >/dev/null; t1=$(now)
    d=$(echo "$t1 - $t0" | bc -l); (( $(echo "$d < $bo" | bc -l) )) && bo=$d
    prepare; sync; t0=$(now); "${theirs[@]}" >/dev/null; t1=$(now)
    d=$(echo "$t1 - $t0" | bc -l); (( $(echo "$d < $bt" | bc -l) )) && bt=$d
  done
  row "$name" "$bo" "$bt" "$goal"
}
row() {  # name ours theirs goal
  local ratio
  ratio=$(echo "$2 / $3" | bc -l)
  printf "%-34s %9.3f s %9.3f s %7.2f   %s\n" "$1" "$2" "$3" "$ratio" "$4"
}

printf "\n%-34s %11s %11s %7s   %s\n" "case" "fileop" "tool" "ratio" "goal"

# xcopy against cp -r: both copy the tree into an existing empty folder.
prepare() { rm -rf "$work/dst"; mkdir "$work/dst"; }
race "xcopy 2000 files vs cp -r" "<= 1.10" -- "$tool" xcopy "$work/tree" "$work/dst/" -- \
  cp -r "$work/tree" "$work/dst/"

# copy of one 1 GiB file against cp.
prepare() { rm -f "$work/big.copy"; }
race "copy 1 GiB file vs cp" "<= 1.10" -- "$tool" copy "$work/big.bin" "$work/big.copy" -- \
  cp "$work/big.bin" "$work/big.copy"
prepare

# xunlink against rm -rf, each on a fresh copy of the tree.
prepare() { rm -rf "$work/victim"; cp -r "$work/tree" "$work/victim"; }
race "xunlink tree vs rm -rf" "-" -- "$tool" xunlink "$work/victim" -- rm -rf "$work/victim"

# Listing a folder of 100,000 entries against ls -f (directory order).
prepare() { :; }
race "list 100,000 entries vs ls -f" "-" -- "$tool" list "$work/wide" -- ls -f "$work/wide"

# The copies really are equal.
rm -rf "$work/dst"; mkdir "$work/dst"; "$tool" xcopy "$work/tree" "$work/dst/"
diff -r "$work/tree" "$work/dst/tree" >/dev/null && echo "check: xcopy result equals the source tree"
