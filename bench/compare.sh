#!/bin/bash
# Times the file operations library's command-line driver against the
# standard tools, whole process against whole process, on a warm page cache.
#
#   bench/compare.sh [BUILD_DIR]     (default: build-fileop next to bench/)
#
# Builds in a temporary folder (removed at the end):
#   - a program-like tree: 2,000 files of 1 KiB to 8 MiB, about 500 MB, 4 levels;
#   - one 1 GiB file;
#   - one folder of 100,000 empty files;
#   - one INI file of 1 MB (676 sections of 40 keys).
# Then the INI reader against Python's configparser and inih (whole process
# and, repeated inside one process, per parse), and a whole update run
# without its waits against cp -a (bench/update-run.sh, in the sandbox).
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
out, size, s = [], 0, 0
while size < 1 << 20:
    lines = ["[Section%04d]" % s] + ["key%02d=v%04d_%02d_%s" % (k, s, k, "x" * rnd.randint(5, 40))
                                      for k in range(40)]
    text = "\n".join(lines) + "\n"
    out.append(text); size += len(text); s += 1
with open(os.path.join(root, "big.ini"), "w") as f: f.write("".join(out))
print("big.ini: %d bytes, %d sections" % (size, s))
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

# kvxinfo verify's byte comparison of the two equal trees against diff -rq.
prepare() { :; }
race "verify compare tree vs diff -rq" "<= 1.20" -- "$build/bench/verify_tree_tool" \
  "$work/tree" "$work/dst/tree" -- diff -rq "$work/tree" "$work/dst/tree"

# INI: open a 1 MB file and look up four keys (first and last section).
ini=$work/big.ini
last=$(grep '^\[' "$ini" | tail -1 | tr -d '[]')
pyini() {
  python3 -c 'import configparser, sys, time
reps = int(sys.argv[4]); t = time.perf_counter()
for _ in range(reps):
    c = configparser.ConfigParser(interpolation=None); c.read(sys.argv[1])
    v = (c["Section0000"]["key00"], c["Section0000"]["key39"], c[sys.argv[2]]["key00"], c[sys.argv[2]][sys.argv[3]])
print(v[3])
if reps > 1: print("in-process: %.3f ms per open" % ((time.perf_counter() - t) * 1e3 / reps))' "$@"
}
prepare() { :; }
race "INI 1 MB vs configparser (process)" "-" -- "$build/bench/ini_parse_tool" "$ini" "$last" key39 -- \
  pyini "$ini" "$last" key39 1
inih=$build/bench/inih_parse_tool
if [ -x "$inih" ]; then
  race "INI 1 MB vs inih (process)" "-" -- "$build/bench/ini_parse_tool" "$ini" "$last" key39 -- \
    "$inih" "$ini" "$last" key39
fi
# In one process, best of RUNS means of 20 parses each.
inproc() {  # prints the best per-parse milliseconds
  local best=999999 m
  for _ in $(seq "$RUNS"); do
    m=$("$@" | sed -n 's/^in-process: \([0-9.]*\) ms.*/\1/p')
    (( $(echo "$m < $best" | bc -l) )) && best=$m
  done
  echo "$best"
}
ours_ms=$(inproc "$build/bench/ini_parse_tool" "$ini" "$last" key39 20)
py_ms=$(inproc pyini "$ini" "$last" key39 20)
row "INI 1 MB vs configparser (in-proc)" "$(echo "$ours_ms / 1000" | bc -l)" "$(echo "$py_ms / 1000" | bc -l)" "-"
if [ -x "$inih" ]; then
  inih_ms=$(inproc "$inih" "$ini" "$last" key39 20)
  row "INI 1 MB vs inih (in-proc)" "$(echo "$ours_ms / 1000" | bc -l)" "$(echo "$inih_ms / 1000" | bc -l)" "-"
fi

# A whole update run without its waits, against cp -a of the program folder.
if [ -x "$build/bench/UPDSilent_nosleep" ] && [ "$(id -u)" = 0 ]; then
  RUNS=$RUNS "$here/update-run.sh" "$build" | grep -v '^program folder'
fi
