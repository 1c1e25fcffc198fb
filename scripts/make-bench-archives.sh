#!/bin/sh
# Makes large archives for the extraction benchmarks, at benchmark time (they
# are not committed):
#
#   scripts/make-bench-archives.sh OUTDIR [SIZE_MIB] [BUILD_DIR]
#
# OUTDIR/content/          mixed content of about SIZE_MIB MiB (default 100):
#                          text, program-like binary, maps, textures, noise
# OUTDIR/content.tar       the same files as one tar, and content.tar.gz
#                          (gzip -6), for gzip -dc to decode beside acex
# OUTDIR/stored-single/    bench.ace, stored, one volume
# OUTDIR/stored-multi/     bench.ace + .c00 ..., stored, 16 MiB volumes
# OUTDIR/lz77-single/      bench.ace, ACE 1.0 LZ77, 1 MiB dictionary, solid
# OUTDIR/lz77-multi/       the same over 16 MiB volumes
#
# BUILD_DIR (default: build) must hold tools/demogen/demogen and
# tools/mkrelease/mkrelease.
set -eu

if [ $# -lt 1 ] || [ $# -gt 3 ]; then
    echo "usage: $0 OUTDIR [SIZE_MIB] [BUILD_DIR]" >&2
    exit 2
fi
out=$1
size=${2:-100}
build=${3:-build}
demogen=$build/tools/demogen/demogen
mkrelease=$build/tools/mkrelease/mkrelease
for tool in "$demogen" "$mkrelease"; do
    if [ ! -x "$tool" ]; then
        echo "$0: $tool not found; build demogen and mkrelease first" >&2
        exit 1
    fi
done

# demogen's bulk sets are about 5 MiB each.
scale=$(( (size + 4) / 5 ))
mkdir -p "$out"
"$demogen" "$out/gen" --scale "$scale"
rm -rf "$out/content"
mv "$out/gen/content" "$out/content"
rm -rf "$out/gen"

tar -cf "$out/content.tar" -C "$out" content
gzip -6 -c "$out/content.tar" > "$out/content.tar.gz"

pack() {
    name=$1
    shift
    rm -rf "${out:?}/$name"
    start=$(date +%s.%N)
    "$mkrelease" --quiet --archive bench.ace --title "Benchmark" --date 2026-01-01 "$@" "$out/content" "$out/$name"
    end=$(date +%s.%N)
    bytes=$(cat "$out/$name"/bench.* | wc -c)
    volumes=$(ls "$out/$name"/bench.* | wc -l)
    printf '%-14s %3d volume(s) %12d bytes  %6.2f s\n' "$name" "$volumes" "$bytes" "$(awk "BEGIN { print $end - $start }")"
}

echo "content: $(du -sb "$out/content" | cut -f1) bytes; content.tar.gz: $(wc -c < "$out/content.tar.gz") bytes"
pack stored-single --method stored
pack stored-multi --method stored --volume-size 16M
pack lz77-single --method lz77 --dictionary 1M
pack lz77-multi --method lz77 --dictionary 1M --volume-size 16M
