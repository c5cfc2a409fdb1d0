#!/usr/bin/env bash
# Times one complete update run of the installer, with its fixed waits made
# free (UPDSilent_nosleep), against `cp -a` of the program folder it copies.
#
#   bench/update-run.sh [BUILD_DIR]      (default: build-fileop next to bench/)
#
# Runs itself inside tests/support/sandbox-run (own /etc and /var/log). The
# host: one instance, one partition whose Domino server is not running (so no
# console command is sent), program build 1200 of 300 files, about 100 MB;
# the package is examples/package (build 1300, new program folder). Each side
# runs RUNS times (default 5), alternating, on a fresh copy of the host made
# untimed; the best time of each counts.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build-fileop}" && pwd)
installer=$build/bench/UPDSilent_nosleep
[ -x "$installer" ] || { echo "missing $installer: build UPDSilent_nosleep" >&2; exit 1; }
if [[ -z "${KVX_SANDBOX_ROOT:-}" ]]; then
  exec "$here/tests/support/sandbox-run" "$0" "$build"
fi
RUNS=${RUNS:-5}

work=$(mktemp -d /tmp/kvx-update-bench.XXXXXX)
chmod 755 "$work"
trap '[[ -n "${KEEP:-}" ]] || rm -rf "$work"' EXIT
getent group kvxgroup >/dev/null || groupadd kvxgroup

# The pristine host, copied for every run.
pristine=$work/pristine
product=$pristine/kvx1
program=$product/program/V5.8.0.1200
mkdir -p "$program" "$product/hotfix" "$product/engine"
python3 - "$program" <<'PY'
import os, random, sys
rnd = random.Random(1200)
block = os.urandom(4 << 20)
total = 0
for i in range(300):
    sub = os.path.join(sys.argv[1], "lib" if i % 3 else "res", "p%d" % (i % 10))
    os.makedirs(sub, exist_ok=True)
    size = int(2048 * 1024 ** rnd.random())      # 2 KiB .. 2 MiB, skewed small
    with open(os.path.join(sub, "file%03d.so" % i), "wb") as f:
        f.write((block * 2)[:size] if size > len(block) else block[:size])
    total += size
print("program folder: 300 files, %.1f MB" % (total / 1e6), flush=True)
PY
for lib in libkvxcore.so libkvxscan.so libkvxext.so; do
  printf 'KVX library %s, build 1200\n' "$lib" >"$program/$lib"
done
printf '#!/bin/sh\nexit 0\n' >"$program/loader"
chmod 755 "$program/loader"
ln -s "$program" "$product/program/latest"
root=$product/domino/par1
mkdir -p "$root/data/kvx" "$root/bin"
for db in kvconf kvxapproved kvxdtas kvency kvquar kvtime kvvlog; do : >"$root/data/kvx/$db.nsf"; done
printf 'KVX extension manager, build 1200\n' >"$root/bin/libkvxext.so"
printf '[Notes]\nDirectory=%s\nNotesProgram=%s\n' "$root/data" "$root/bin" >"$root/notes.ini"
chgrp -R kvxgroup "$product"
printf '[KVXInstances]\nKVXInstanceList=kvx1\n[kvx1]\nProductPath=%s\nProductVersion=V5.8.0.1200\nInstallType=64-bit\nDomSvrIKVXCount=1\nDomSvrIKVXSecs=Par1\nPar1=%s\n' \
  "$work/host/kvx1" "$work/host/kvx1/domino/par1/notes.ini" >/etc/kvxsysV3.ini
cp -r "$here/examples/package" "$pristine/package"
cp "$installer" "$pristine/package/UPDSilent"
# Paths inside the host are absolute: the host is always copied to the same place.
sed -i "s|$pristine|$work/host|g" "$root/notes.ini"
ln -sfn "$work/host/kvx1/program/V5.8.0.1200" "$product/program/latest"
sync

now() { date +%s.%N; }
fresh() { rm -rf "$work/host" "$work/anchor"; cp -a "$pristine" "$work/host"; sync; }
best_run=999999 best_cp=999999 status=0
for _ in $(seq "$RUNS"); do
  fresh
  t0=$(now)
  (cd "$work/host/package" && ${TRACE:-} ./UPDSilent >/dev/null 2>&1) || status=$?
  t1=$(now)
  d=$(echo "$t1 - $t0" | bc -l); (($(echo "$d < $best_run" | bc -l))) && best_run=$d
  [[ $status -eq 0 ]] || { echo "update run failed with status $status" >&2; tail -20 /var/log/updsilent_*.dbg >&2; exit 1; }
  fresh
  t0=$(now)
  cp -a "$work/host/kvx1/program/V5.8.0.1200" "$work/anchor"
  t1=$(now)
  d=$(echo "$t1 - $t0" | bc -l); (($(echo "$d < $best_cp" | bc -l))) && best_cp=$d
done
# The run really did its job.
fresh
(cd "$work/host/package" && ./UPDSilent >/dev/null 2>&1)
new=$work/host/kvx1/program/V5.8.0.1300
cmp -s "$new/libkvxcore.so" "$here/examples/package/FileGroup1/libkvxcore.so" &&
  [[ "$(readlink "$work/host/kvx1/program/latest")" == "$new"* ]] &&
  [ -d "$work/host/kvx1/hotfix/B1300" ] || { echo "check failed: the update did not land" >&2; exit 1; }
printf "%-34s %9.3f s %9.3f s %7.2f   %s\n" "update run (no sleeps) vs cp -a" "$best_run" "$best_cp" \
  "$(echo "$best_run / $best_cp" | bc -l)" "-"
echo "check: program/latest -> V5.8.0.1300, libraries replaced, hotfix B1300 recorded"
