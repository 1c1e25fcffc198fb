#!/bin/sh
# The packer and the extractor beside gzip on the large benchmark archives
# (made first with scripts/make-bench-archives.sh OUTDIR):
#
#   bench/packer/run.sh OUTDIR [BUILD_DIR]
#
# Packing: mkrelease (LZ77, 1 MiB dictionary, solid) against gzip -6 on the
# tar of the same content. Extraction: acex t (decode and check, nothing
# written) against gzip -dc > /dev/null, and acex x (files written) against
# gzip -dc | tar -x, for every archive made by the script. MB/s are of the
# content (uncompressed) bytes per CPU second, best of RUNS (default 3).
set -eu

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 OUTDIR [BUILD_DIR]" >&2
    exit 2
fi
out=$1
build=${2:-build}
acex=$build/tools/acex/acex
mkrelease=$build/tools/mkrelease/mkrelease
runs=${RUNS:-3}
for f in "$acex" "$mkrelease" "$out/content.tar" "$out/content.tar.gz"; do
    if [ ! -e "$f" ]; then
        echo "$0: $f is missing (build the tools, run scripts/make-bench-archives.sh)" >&2
        exit 1
    fi
done
bytes=$(wc -c < "$out/content.tar")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Best of $runs runs of the command line "$1" (run through sh -c), as CPU
# seconds (user + system, children included: on a shared machine wall time
# mostly measures the other users); the wall time of that run goes to
# $scratch/wall.
best() {
    bestTime=
    i=0
    while [ $i -lt "$runs" ]; do
        rm -rf "$scratch/x" && mkdir -p "$scratch/x"
        /usr/bin/time -f "%U %S %e" -o "$scratch/time" sh -c "$1" > /dev/null
        t=$(awk '{ print $1 + $2 }' "$scratch/time")
        if [ -z "$bestTime" ] || awk "BEGIN { exit !($t < $bestTime) }"; then
            bestTime=$t
            awk '{ print $3 }' "$scratch/time" > "$scratch/wall"
        fi
        i=$((i + 1))
    done
    echo "$bestTime"
}

report() {   # label cpu-seconds [packed bytes]
    mbs=$(awk "BEGIN { printf \"%.1f\", $bytes / 1048576 / ($2 > 0 ? $2 : 0.001) }")
    wall=$(cat "$scratch/wall")
    if [ $# -ge 3 ]; then
        ratio=$(awk "BEGIN { printf \"%.4f\", $3 / $bytes }")
        printf '%-30s cpu %7.2f s %7s MB/s  (wall %7.2f s)  ratio %s\n' "$1" "$2" "$mbs" "$wall" "$ratio"
    else
        printf '%-30s cpu %7.2f s %7s MB/s  (wall %7.2f s)\n' "$1" "$2" "$mbs" "$wall"
    fi
}

echo "content: $bytes bytes (tar)"
echo "--- packing"
t=$(best "gzip -6 -c '$out/content.tar' > '$scratch/c.gz'")
report "gzip -6" "$t" "$(wc -c < "$scratch/c.gz")"
for level in 1 3; do
    t=$(best "'$mkrelease' --quiet --level $level --dictionary 1M --date 2026-01-01 '$out/content' '$scratch/rel'")
    report "mkrelease lz77 level $level" "$t" "$(cat "$scratch"/rel/setup.* | wc -c)"
    rm -rf "$scratch/rel"
done

echo "--- extraction"
t=$(best "gzip -dc '$out/content.tar.gz' > /dev/null")
report "gzip -dc > /dev/null" "$t"
t=$(best "gzip -dc '$out/content.tar.gz' | tar -x -C '$scratch/x'")
report "gzip -dc | tar -x" "$t"
for set in stored-single stored-multi lz77-single lz77-multi; do
    [ -e "$out/$set/bench.ace" ] || continue
    t=$(best "'$acex' t '$out/$set/bench.ace'")
    report "acex t $set" "$t"
    t=$(best "'$acex' x '$out/$set/bench.ace' '$scratch/x'")
    report "acex x $set" "$t"
done
