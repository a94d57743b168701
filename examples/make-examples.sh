#!/usr/bin/env bash
# Makes the sample firmware files used by the README, the demos and the benchmarks, with srec_cat.
# Usage: examples/make-examples.sh [OUTPUT_FOLDER]   (default: build/examples)
#   sam7-example.hex    SAM7 (ARM7) image, flash at 0x100000, 48 KiB behind the boot area
#   sam7-example.bin    the same application area as a raw binary
#   cortex-example.hex  Cortex-M image, flash at 0, information block at +0x100
# Both carry the product ID 5A FF A5 00, which the simulated device reports by default.
set -euo pipefail
out=${1:-build/examples}
mkdir -p "$out"

# SAM7: a load-PC vector (0xE59FF018) first; length word at +0x3C and product ID at +0x50.
srec_cat \
    -generate 0x104000 0x104004 -constant-l-e 0xE59FF018 4 \
    -generate 0x104004 0x104050 -repeat-string "Brenwick SAM7 example " \
    -generate 0x104050 0x104054 -repeat-data 0x5A 0xFF 0xA5 0x00 \
    -generate 0x104054 0x110000 -repeat-string "firmware image for a SAM7 board. " \
    -o "$out/sam7-example.hex" -intel -output_block_size=16

srec_cat "$out/sam7-example.hex" -intel -offset -0x104000 -o "$out/sam7-example.bin" -binary

# Cortex-M: initial stack pointer 0x20001000 first; length word at +0x13C and product ID at +0x150.
srec_cat \
    -generate 0x104000 0x104004 -constant-l-e 0x20001000 4 \
    -generate 0x104004 0x104150 -repeat-string "Brenwick Cortex-M example " \
    -generate 0x104150 0x104154 -repeat-data 0x5A 0xFF 0xA5 0x00 \
    -generate 0x104154 0x10A000 -repeat-string "firmware image for a Cortex-M board. " \
    -o "$out/cortex-example.hex" -intel -output_block_size=16

echo "$out/sam7-example.hex $out/sam7-example.bin $out/cortex-example.hex"
