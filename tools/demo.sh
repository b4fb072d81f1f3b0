#!/usr/bin/env bash
# Builds glyphwarden-cli, generates the bundled sample and runs the conversion over it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$(nproc)" --target glyphwarden-cli make-sample >/dev/null
sample=build/linux/sample
build/linux/bin/make-sample "$sample"
echo "== glyphwarden-cli over $sample"
build/linux/bin/glyphwarden-cli \
  --original-firmware "$sample/firmwares/PHONE_W800_R1A.bin" \
  --new-firmware "$sample/firmwares/PHONE_W810_R4E.bin" \
  --original-gfx "$sample/gfx-original" --new-gfx "$sample/gfx-new"
echo "== $(ls "$sample/gfx-new" | wc -l) PNGs now in $sample/gfx-new"
