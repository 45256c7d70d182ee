# Entry points: `make demo` builds tallyrep and runs it on examples/; `make test`
# runs every test suite in a normal build and in a sanitizer build.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60

# Debian packages each target needs (checked with dpkg, installed when root).
DEMO_PKGS  := g++ cmake make libpugixml-dev
TEST_PKGS  := $(DEMO_PKGS) libgtest-dev libgmock-dev libxml2-utils clang libclang-rt-14-dev \
              valgrind chromium nodejs python3 util-linux strace
BENCH_PKGS := $(DEMO_PKGS) libbenchmark-dev python3 time

.PHONY: all release demo test setup-demo setup-test setup-npm setup-bench build build-asan unit asan-test \
        fuzz bench clean install

all: build

define ensure_pkgs
	@missing=""; for p in $(1); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	  else \
	    echo "missing packages; run: sudo apt-get install -y$$missing"; exit 1; \
	  fi; \
	fi
endef

setup-demo:
	$(call ensure_pkgs,$(DEMO_PKGS))

setup-test:
	$(call ensure_pkgs,$(TEST_PKGS))
	@# Some nodejs builds bring npm themselves; Debian's comes as a package of its own.
	@command -v npm >/dev/null 2>&1 || $(MAKE) --no-print-directory setup-npm
	@if [ -f tests/browser/package.json ] && { [ ! -d tests/browser/node_modules/playwright-core ] || \
	  [ ! -d tests/browser/node_modules/axe-core ]; }; then \
	  (cd tests/browser && npm ci --no-audit --no-fund --silent); fi

setup-npm:
	$(call ensure_pkgs,npm)

setup-bench:
	$(call ensure_pkgs,$(BENCH_PKGS))

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLYREP_WERROR=ON
	cmake --build $(BUILD) -j $(JOBS)

release: setup-demo
	cmake -S . -B $(BUILD)-release -DCMAKE_BUILD_TYPE=Release -DTALLYREP_TESTS=OFF
	cmake --build $(BUILD)-release -j $(JOBS)

demo: release
	@sh examples/demo.sh $(BUILD)-release

unit: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

asan-test:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTALLYREP_SANITIZE=ON -DTALLYREP_WERROR=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && TALLYREP_SANITIZED=1 ctest --output-on-failure -j $(JOBS) -LE nosanitize

test: setup-test
	$(MAKE) unit
	$(MAKE) asan-test

fuzz: setup-test
	@sh fuzz/run.sh $(FUZZ_SECONDS)

bench: setup-bench
	@bench/run
	@bench/export_bench

install: release
	cmake --install $(BUILD)-release

clean:
	rm -rf $(BUILD) $(BUILD)-release $(ASAN_BUILD) build-fuzz
