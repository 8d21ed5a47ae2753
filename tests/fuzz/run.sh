#!/usr/bin/env bash
# Builds the decoder fuzzer with clang (libFuzzer + ASan + UBSan) and runs it.
#   tests/fuzz/run.sh [SECONDS] [extra libFuzzer flags...]
# Work files go to build/fuzz (binary, seed corpus, growing corpus, crashes).
# Not part of `make test`: it needs clang and its libFuzzer runtime.
set -euo pipefail
cd "$(dirname "$0")/../.."
SECONDS_TO_RUN=${1:-120}
shift || true
OUT=build/fuzz
CXX=${CXX:-clang++}
mkdir -p "$OUT/corpus" "$OUT/seeds" "$OUT/artifacts"

# The core only: curve/, curve/proofs/, bulletproofs/src/proofs/.
SOURCES=(curve/*.cpp curve/proofs/*.cpp bulletproofs/src/proofs/*.cpp tests/fuzz/fuzz_decoders.cpp)
if [ ! -x "$OUT/fuzz_decoders" ] || [ -n "$(find "${SOURCES[@]}" curve bulletproofs -newer "$OUT/fuzz_decoders" -name '*.[ch]pp' | head -1)" ]; then
  echo "building $OUT/fuzz_decoders"
  "$CXX" -std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined \
    -fno-sanitize-recover=undefined -I. $(pkg-config --cflags nlohmann_json) \
    "${SOURCES[@]}" -o "$OUT/fuzz_decoders" $(pkg-config --libs gmp libcrypto)
fi

# Seeds: the recorded proofs and points of tests/data, each behind the byte
# that selects its decoder (see LLVMFuzzerTestOneInput).
/usr/bin/python3 - "$OUT/seeds" <<'PY'
import json, pathlib, sys
out = pathlib.Path(sys.argv[1])
data = pathlib.Path("tests/data")
proofs = json.loads((data / "proofs.json").read_text())["proofs"]
mode = {"sigma_dlog_proof_explicit": 8, "sigma_eq_dlog": 9, "sigma_eq_dlog_ped": 10, "consistency_proof": 7,
        "range_proof_single": 11}
seeds = []
for i, p in enumerate(proofs):
    name = p["made_by"]
    m = next((v for k, v in sorted(mode.items(), key=lambda kv: -len(kv[0])) if name.startswith(k)), None)
    if m is None or "witness" in name:
        continue
    seeds.append((m, p["proof"]))
    if m == 11:
        rec = json.loads(p["proof"])
        seeds.append((23, json.dumps(rec["inner_product_proof"])))
        seeds.append((35, p["proof"]))
        seeds.append((2, json.dumps(rec["A"])))
        seeds.append((3, json.dumps(rec["tau_x"])))
        seeds.append((4, json.dumps(rec["inner_product_proof"]["a_tag"])))
        seeds.append((5, json.dumps(rec["inner_product_proof"]["L"])))
        seeds.append((6, p["proof"]))
        seeds.append((0, rec["A"]["point"]))
        seeds.append((1, rec["tau_x"]["scalar"]))
det = json.loads((data / "deterministic.json").read_text())
seeds.append((6, det["ghvec_1"]))

# The same records in array form (members in order, points and scalars as
# [curve, value]), which mutations alone rarely assemble.
def as_array(v):
    if isinstance(v, dict):
        return [as_array(x) for x in v.values()]
    if isinstance(v, list):
        return [as_array(x) for x in v]
    return v
for m, text in list(seeds):
    if text.lstrip().startswith("{"):
        seeds.append((m, json.dumps(as_array(json.loads(text)))))
for i, (m, text) in enumerate(seeds):
    (out / f"seed{i:02d}").write_bytes(bytes([m]) + text.encode())
PY

exec "$OUT/fuzz_decoders" -max_total_time="$SECONDS_TO_RUN" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$OUT/artifacts/" -dict=tests/fuzz/json.dict "$@" "$OUT/corpus" "$OUT/seeds"
