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

# The core only: curve/, curve/lanes/, curve/proofs/, bulletproofs/src/proofs/, strict/.
SOURCES=(curve/*.cpp curve/lanes/*.cpp curve/proofs/*.cpp bulletproofs/src/proofs/*.cpp strict/*.cpp tests/fuzz/fuzz_decoders.cpp)
if [ ! -x "$OUT/fuzz_decoders" ] || [ -n "$(find "${SOURCES[@]}" curve bulletproofs strict -newer "$OUT/fuzz_decoders" -name '*.[ch]pp' | head -1)" ]; then
  echo "building $OUT/fuzz_decoders"
  "$CXX" -std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined \
    -fno-sanitize-recover=undefined -I. $(pkg-config --cflags nlohmann_json) \
    "${SOURCES[@]}" -o "$OUT/fuzz_decoders" $(pkg-config --libs gmp libcrypto)
fi

# Seeds: the recorded proofs and points of tests/data, each behind the byte
# that selects its decoder (see LLVMFuzzerTestOneInput).
VEMO_FUZZ_MODES=1 "$OUT/fuzz_decoders" > "$OUT/modes.txt"
/usr/bin/python3 - "$OUT/seeds" "$OUT/modes.txt" <<'PY'
import json, pathlib, sys
out = pathlib.Path(sys.argv[1])
M = {name: int(n) for name, n in (line.split() for line in pathlib.Path(sys.argv[2]).read_text().splitlines())}
data = pathlib.Path("tests/data")
proofs = json.loads((data / "proofs.json").read_text())["proofs"]
mode = {k: M[k] for k in ("sigma_dlog_proof_explicit", "sigma_eq_dlog", "sigma_eq_dlog_ped", "consistency_proof")}
mode["range_proof_single"] = M["range_proof"]
seeds = []
for i, p in enumerate(proofs):
    name = p["made_by"]
    m = next((v for k, v in sorted(mode.items(), key=lambda kv: -len(kv[0])) if name.startswith(k)), None)
    if m is None or "witness" in name:
        continue
    seeds.append((m, p["proof"]))
    if m == M["range_proof"]:
        rec = json.loads(p["proof"])
        seeds.append((M["inner_product"], json.dumps(rec["inner_product_proof"])))
        seeds.append((M["range_proof_n2"], p["proof"]))
        seeds.append((M["json_point"], json.dumps(rec["A"])))
        seeds.append((M["json_scalar"], json.dumps(rec["tau_x"])))
        seeds.append((M["json_bigint"], json.dumps(rec["inner_product_proof"]["a_tag"])))
        seeds.append((M["json_point_list"], json.dumps(rec["inner_product_proof"]["L"])))
        seeds.append((M["json_value"], p["proof"]))
        seeds.append((M["point_text"], rec["A"]["point"]))
        seeds.append((M["scalar_text"], rec["tau_x"]["scalar"]))
# The strict vectors' proofs behind the byte that picks their relation
# (strict_relation in the target: kind index, plus 5 per extra key).
kinds = {"opening": 0, "consistency": 1, "dleq": 2, "signature": 3, "balance": 4}
for v in json.loads((data / "strict_vectors.json").read_text())["vectors"]:
    rel = v["inputs"]["relation"]
    selector = kinds[rel] + 5 * (len(v["inputs"].get("keys", [0])) - 1)
    seeds.append((M["strict_proof"], bytes([selector]) + bytes.fromhex(v["proof"])))
# The strict range vectors' proofs behind selector 192 + (bits index) + 4·(m − 1)
# (strict_range_proof in the target); their statements differ from the
# target's fixed one, so these seed the decoder's paths, not true proofs.
bits_index = {8: 0, 16: 1, 32: 2, 64: 3}
for v in json.loads((data / "strict_range_vectors.json").read_text())["vectors"]:
    m = len(v["values"])
    if m <= 16:
        selector = 192 + bits_index[v["bits"]] + 4 * (m - 1)
        seeds.append((M["strict_proof"], bytes([selector]) + bytes.fromhex(v["proof"])))
det = json.loads((data / "deterministic.json").read_text())
seeds.append((M["json_value"], det["ghvec_1"]))

# The same records in array form (members in order, points and scalars as
# [curve, value]), which mutations alone rarely assemble.
def as_array(v):
    if isinstance(v, dict):
        return [as_array(x) for x in v.values()]
    if isinstance(v, list):
        return [as_array(x) for x in v]
    return v
for m, text in list(seeds):
    if isinstance(text, str) and text.lstrip().startswith("{"):
        seeds.append((m, json.dumps(as_array(json.loads(text)))))
for i, (m, text) in enumerate(seeds):
    (out / f"seed{i:02d}").write_bytes(bytes([m]) + (text.encode() if isinstance(text, str) else text))
PY

exec "$OUT/fuzz_decoders" -max_total_time="$SECONDS_TO_RUN" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$OUT/artifacts/" -dict=tests/fuzz/json.dict "$@" "$OUT/corpus" "$OUT/seeds"
