#!/usr/bin/env bash
# Regenerates the small sample archives the ZPAQ decoder tests open without running zpaq.
# The input text is deterministic; the archives differ between runs only in the date zpaq
# stores in each segment comment, which the decoder ignores.
set -euo pipefail
cd "$(dirname "$0")"
command -v zpaq >/dev/null || { echo "zpaq is not installed (scripts/setup-deps.sh installs it)" >&2; exit 1; }

python3 - <<'PY'
import random
rng = random.Random(20240607)
words = ["launcher", "chunk", "package", "update", "verify", "the", "and", "of", "to", "in",
         "manifest", "download", "quenmar", "client", "file", "data", "block", "segment"]
lines = []
while sum(len(l) + 1 for l in lines) < 16000:
    lines.append(" ".join(rng.choice(words) for _ in range(rng.randint(4, 14))))
open("sample.txt", "w").write("\n".join(lines) + "\n")
PY

make_archive() {
    local name=$1 method=$2
    rm -f "$name"
    zpaq add "$name" sample.txt -method "$method" >/dev/null
}
make_archive sample_stored.zpaq s4
make_archive sample_icm.zpaq s4.0c0.0.255.255
make_archive sample_bwt.zpaq s4.3ci1
make_archive sample_lz77.zpaq s4.1.4.0.5.22.1
make_archive sample_mix.zpaq s4.0ci1.1.1.1.2am
# Fuzzing seeds: the first 3000 bytes through many methods with 1 MiB blocks, whose small
# tables keep each fuzzer run fast.
mkdir -p seeds
head -c 3000 sample.txt >seeds/input.txt
for method in s0 s0.0ci1.1.1.1.2am s0.3ci1 s0.1.4.0.5.22.1 s0.0c0.0.255.255 s0.7ci1t s0.0ci1s s0.0cw2 \
    s0.2.12.0.8.27c0.0.511.255 s0.0c20.0.255m s0.4c0.0.255; do
    rm -f "seeds/$method.zpaq"
    (cd seeds && zpaq add "$method.zpaq" input.txt -method "$method" >/dev/null)
done
rm seeds/input.txt
echo "samples written to $(pwd)"
