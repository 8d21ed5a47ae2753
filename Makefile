# Developer entry points. `make test` is what CI runs on a fresh machine.
SHELL := /bin/bash
PY := /usr/bin/python3
BUILD := build/dev
APT_PACKAGES := g++ ninja-build pkg-config meson python3-dev python3-venv python3-mesonpy python3-pytest \
                python3-hypothesis libgmp-dev libssl-dev nlohmann-json3-dev libgtest-dev valgrind libbenchmark-dev
# The stub checks (stubtest, mypy) and building the stub package offline.
APT_PACKAGES += python3-mypy python3-wheel
# vemo_ledger: dask's distributed scheduler and tqdm's progress bars.
APT_PACKAGES += python3-distributed python3-dask python3-tqdm
# The local cluster's credentials made for each run (dask's Security.temporary).
APT_PACKAGES += python3-cryptography
export PYTHONPATH := $(CURDIR)/$(BUILD)/src

.PHONY: deps build check-install test test-cpp test-py test-lanes test-stubs demo bench bench-ledger bench-report tsan install clean sanitize fuzz-ci check-ct-mutation soak

# Installs only what is missing, so a warm machine pays nothing.
deps:
	@tools/ensure-packages.sh $(APT_PACKAGES)

$(BUILD)/build.ninja: | deps
	meson setup $(BUILD) -Dtests=true -Dbench=true

build: deps $(BUILD)/build.ninja
	ninja -C $(BUILD)

# The C++ unit tests and the constant-time check under valgrind.
test-cpp: build
	meson test -C $(BUILD) --print-errorlogs

test-py: build
	$(PY) -m pytest -q tests

# The lane engine (docs/lanes.md) takes the IFMA path by default where the
# processor has it: the C++ tests and the whole pytest suite again with the
# engine off and in its portable emulation, so every path passes on any
# machine (the strict range proof's exhaustive run, a minute each time,
# stays in test-cpp only).
test-lanes: build
	for mode in off portable; do \
	  echo "VEMO_LANES=$$mode"; \
	  VEMO_LANES=$$mode $(BUILD)/tests/cpp/core_tests --gtest_brief=1 \
	    --gtest_filter=-StrictRange.CompleteForEveryBitLengthAndCount && \
	  VEMO_LANES=$$mode $(PY) -m pytest -q tests || exit 1; \
	done

# The type stubs against the built modules (stubtest; vemo_batch and
# vemo_strict carry their own stubs and py.typed), then the examples and vemo_ledger (typed inline,
# with py.typed) under mypy --strict with those stubs. mypy looks for a directory named vemo, so
# the stub package is linked under that name inside the build directory.
STUBS_PATH := $(CURDIR)/$(BUILD)/stubs-path
test-stubs: build
	mkdir -p $(STUBS_PATH) && ln -sfn $(CURDIR)/stubs/vemo-stubs $(STUBS_PATH)/vemo
	MYPYPATH=$(STUBS_PATH) $(PY) -m mypy.stubtest \
	  --allowlist stubs/stubtest-allowlist.txt vemo
	MYPYPATH=$(STUBS_PATH) $(PY) -m mypy.stubtest --allowlist src/vemo_batch/stubtest-allowlist.txt vemo_batch
	MYPYPATH=$(STUBS_PATH) $(PY) -m mypy.stubtest vemo_strict
	MYPYPATH=$(STUBS_PATH):$(CURDIR)/src MYPY_CACHE_DIR=$(BUILD)/mypy-cache $(PY) -m mypy --strict examples/ src/vemo_ledger

test: test-cpp test-py test-lanes test-stubs

# A separate ASan+UBSan build of the core, the C++ tests and the extension,
# with the invariant checks compiled in (-Dverify=true, curve/verify.hpp), at
# -O1: the sanitizers' own recommendation, and it compiles in a third to a half
# of -O3's time, which is most of this step.
# The C++ tests run with leak detection; the whole pytest suite runs in the
# ordinary interpreter with the sanitizer runtime preloaded (leak detection
# off there: the interpreter itself keeps memory until exit). The strict
# range proof's exhaustive completeness run (every size up to 64 values)
# stays in make test: under the sanitizers it would take many minutes, and
# the other range tests take every code path here at smaller sizes.
SAN := build/asan
SAN_OPTIONS := -Dtests=true -Db_sanitize=address,undefined -Db_lundef=false -Dverify=true -Doptimization=1
SAN_ENV := UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# Only what the step runs: the two extension modules, the C++ tests, the
# regression replay and the constant-time check (not the mutant or the
# vector generator, which the ordinary build covers).
# meson names an extension module's target with the interpreter's suffix.
EXT_TAG := $(shell $(PY) -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX").rsplit(".", 1)[0])')
SAN_TARGETS := vemo$(EXT_TAG) _core$(EXT_TAG) core_tests fuzz_replay ct_check
# Whether $(SAN) already builds with the checks at -O1. A directory set up
# before the verify option existed does not know it: `meson configure` refuses
# an option it does not know, `meson setup --reconfigure` reads the options
# file again.
SAN_IS_CONFIGURED = meson introspect --buildoptions $(SAN) | $(PY) -c \
  'import json, sys; o = {x["name"]: x["value"] for x in json.load(sys.stdin)}; \
   sys.exit(not (o.get("verify") is True and o.get("optimization") == "1"))'

sanitize: deps
	@if [ ! -f $(SAN)/build.ninja ]; then meson setup $(SAN) $(SAN_OPTIONS); \
	elif ! $(SAN_IS_CONFIGURED); then meson setup --reconfigure $(SAN) $(SAN_OPTIONS); fi
	meson compile -C $(SAN) $(SAN_TARGETS)
	$(SAN_ENV) ASAN_OPTIONS=detect_leaks=1 $(SAN)/tests/cpp/core_tests \
	  --gtest_filter=-StrictRange.CompleteForEveryBitLengthAndCount
	$(SAN_ENV) ASAN_OPTIONS=detect_leaks=1 $(SAN)/tests/cpp/fuzz_replay tests/fuzz/regressions
	$(SAN_ENV) ASAN_OPTIONS=detect_leaks=1 $(SAN)/tests/cpp/ct_check
	$(SAN_ENV) LD_PRELOAD=$$(g++ -print-file-name=libasan.so) ASAN_OPTIONS=detect_leaks=0 PYTHONMALLOC=malloc \
	  PYTHONPATH=$(CURDIR)/$(SAN)/src $(PY) -m pytest -q -p no:cacheprovider tests

# Short deterministic fuzz run of every decoder group (FUZZ_SECONDS each).
fuzz-ci:
	tests/fuzz/ci.sh

# The constant-time check must be able to fail: the same check built with
# deliberate leaks has to be reported by valgrind, each where it is: the
# planted secret-indexed lookup (a drawn and a decoded secret) and the
# variable-time PbSk.to_token of the API library built for the mutant.
check-ct-mutation: build
	@if VEMO_LANES=portable valgrind --error-exitcode=1 --quiet --num-callers=40 $(BUILD)/tests/cpp/ct_check_mutant >/dev/null 2>$(BUILD)/ct-mutant.log; then \
	  echo "constant-time check missed the deliberate leaks"; exit 1; \
	fi; \
	lookups=$$(grep -c '::leaky(' $(BUILD)/ct-mutant.log); \
	to_token=$$(grep -c 'members::pbsk_to_token' $(BUILD)/ct-mutant.log); \
	if [ "$$lookups" -lt 2 ] || [ "$$to_token" -lt 1 ]; then \
	  cat $(BUILD)/ct-mutant.log; \
	  echo "expected both planted lookups and the variable-time PbSk.to_token reported (frames naming them: $$lookups and $$to_token)"; exit 1; \
	fi; \
	echo "constant-time check caught the planted lookups and the variable-time PbSk.to_token"

# Long-running memory check over every function (not part of make test).
soak: build
	$(PY) tests/soak.py

demo: build
	$(PY) examples/transfer.py
	$(PY) examples/ledger.py

bench: build
	$(PY) bench/bench.py
	$(PY) bench/bench_throughput.py
	$(PY) bench/bench_strict.py

# Ledger verification throughput: one by one, in process, 1 and 2 local dask
# workers, dask's overheads (makes a 10,000-transfer ledger once, about a
# minute, in build/bench-ledger). BENCH_LEDGER_ARGS=--memory adds the peak
# memory against a ledger ten times larger (made once: about ten minutes).
bench-ledger: build
	$(PY) bench/bench_ledger.py $(BENCH_LEDGER_ARGS)

# The C++ cache and thread tests again under ThreadSanitizer, in a build
# of its own (slow, so not part of make test).
tsan: deps
	[ -f build/tsan/build.ninja ] || meson setup build/tsan -Dtests=true -Db_sanitize=thread -Db_lundef=false
	ninja -C build/tsan tests/cpp/core_tests
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 build/tsan/tests/cpp/core_tests --gtest_filter='Threads*:Msm*'

# Runs the benchmarks and writes docs/benchmarks.md and docs/benchmarks.png:
# every row on this machine's default lane path and with VEMO_LANES=off, and
# the native peer's figures beside them where its bench is found (PEER_BENCH,
# or peer-bench/run.sh in the folder beside the project's; about a minute).
# matplotlib (Debian's python3-matplotlib) is installed only when missing.
bench-report: build
	@tools/ensure-packages.sh python3-matplotlib
	$(PY) bench/report.py

# Builds and installs the module through the PEP 517 backend into .venv.
install: deps
	[ -x .venv/bin/python ] || $(PY) -m venv --system-site-packages .venv
	.venv/bin/pip install --no-index --no-build-isolation .

# The README's set-up as a user follows it: install into .venv, then make a
# ledger and verify it on a local dask cluster, from outside the source tree.
check-install: install
	d=$$(mktemp -d) && cd $$d && env -u PYTHONPATH $(CURDIR)/.venv/bin/python3 -m vemo_ledger make --transfers 1000 l.jsonl \
	  && env -u PYTHONPATH $(CURDIR)/.venv/bin/python3 -m vemo_ledger verify l.jsonl --workers 2 \
	  && rm -rf $$d

clean:
	rm -rf build .venv
