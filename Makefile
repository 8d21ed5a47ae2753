# Developer entry points. `make test` is what CI runs on a fresh machine.
SHELL := /bin/bash
PY := /usr/bin/python3
BUILD := build/dev
APT_PACKAGES := g++ ninja-build pkg-config meson python3-dev python3-venv python3-mesonpy python3-pytest \
                python3-hypothesis libgmp-dev libssl-dev nlohmann-json3-dev libgtest-dev valgrind libbenchmark-dev
export PYTHONPATH := $(CURDIR)/$(BUILD)/src

.PHONY: deps build test test-cpp test-py demo bench bench-report install clean

# Installs only what is missing, so a warm machine pays nothing.
deps:
	@missing=$$(for p in $(APT_PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "installing: $$missing"; \
	  SUDO=$$( [ $$(id -u) -eq 0 ] || echo sudo ); \
	  $$SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq $$missing; \
	fi

$(BUILD)/build.ninja: | deps
	meson setup $(BUILD) -Dtests=true -Dbench=true

build: deps $(BUILD)/build.ninja
	ninja -C $(BUILD)

# The C++ unit tests and the constant-time check under valgrind.
test-cpp: build
	meson test -C $(BUILD) --print-errorlogs

test-py: build
	$(PY) -m pytest -q tests

test: test-cpp test-py

demo: build
	$(PY) examples/demo.py

bench: build
	$(PY) bench/bench.py

# Runs the benchmarks and writes docs/benchmarks.md and docs/benchmarks.png.
# matplotlib (Debian's python3-matplotlib) is installed only when missing.
bench-report: build
	@$(PY) -c 'import matplotlib' 2>/dev/null || { \
	  SUDO=$$( [ $$(id -u) -eq 0 ] || echo sudo ); \
	  $$SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq python3-matplotlib; }
	$(PY) bench/report.py

# Builds and installs the module through the PEP 517 backend into .venv.
install: deps
	[ -x .venv/bin/python ] || $(PY) -m venv --system-site-packages .venv
	.venv/bin/pip install --no-index --no-build-isolation .

clean:
	rm -rf build .venv
