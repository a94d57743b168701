#!/usr/bin/env bash
# Times the whole `brenwick-cli make-bin` process against srec_cat converting the same full 256 KiB Intel HEX
# file (16-byte records) to binary. Usage: bench/make_bin_vs_srec_cat.sh BUILD_DIR [RUNS]
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR [RUNS]}
runs=${2:-20}
cli="$build/bin/brenwick-cli"
[ -x "$cli" ] || { echo "no $cli: build the release preset first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

head -c 262144 /dev/urandom > "$work/full.bin"
printf '\x18\xf0\x9f\xe5' | dd of="$work/full.bin" bs=1 seek=16384 conv=notrunc status=none
srec_cat "$work/full.bin" -binary -offset 0x100000 -o "$work/full.hex" -intel -output_block_size=16
# make-bin needs room for the byte sum behind the data: drop the last record's worth.
srec_cat "$work/full.hex" -intel -crop 0x100000 0x13FFF0 -o "$work/fw.hex" -intel -output_block_size=16

time_runs() {
    local start end
    start=$(date +%s%N)
    for _ in $(seq "$runs"); do "$@" > /dev/null; done
    end=$(date +%s%N)
    echo $(( (end - start) / runs / 1000 ))
}

ours=$(time_runs "$cli" make-bin "$work/fw.hex" --output "$work/out.bin")
theirs=$(time_runs srec_cat "$work/fw.hex" -intel -offset -0x104000 -o "$work/srec.bin" -binary)
echo "brenwick-cli make-bin: ${ours} us per run"
echo "srec_cat to binary:    ${theirs} us per run"
