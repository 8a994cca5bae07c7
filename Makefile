# Knockbox: the README's commands. `make check` is what CI runs.
.PHONY: all build run test test-deps test-under-load windows windows-test arm64 arm64-test sanitize \
        fuzz check deps bench install package clean

JOBS ?= 2
# Every end-to-end run has its own hard limits; this is the backstop for a whole suite.
SUITE_LIMIT = timeout -k 10 900
# WINDOWS_BITS=64 tests the 64-bit Windows build even where 32-bit code runs.
WINDOWS_BITS ?=

# Debian packages: the end-to-end tests' Python modules; the Windows cross builds and Wine; the
# 64-bit ARM cross build and its emulator.
TEST_PACKAGES = python3-pytest python3-pytest-timeout python3-pexpect iproute2
BENCH_PACKAGES = hyperfine netcat-openbsd time
WINDOWS_PACKAGES = g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64
ARM_PACKAGES = g++-aarch64-linux-gnu qemu-user-static
PACKAGE_PACKAGES = rpm lintian

# $(call install,PACKAGES): installs those not installed yet (as root), or says which to install.
define install
@missing=$$(for p in $(1); do dpkg -s $$p >/dev/null 2>&1 || echo $$p; done); \
if [ -n "$$missing" ]; then \
  if [ "$$(id -u)" != 0 ]; then echo "Please install (as root): apt-get install" $$missing; exit 1; fi; \
  echo "Installing" $$missing; \
  dpkg --add-architecture i386 && apt-get update -qq && \
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null; \
fi
endef

all: build

build:
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

run: build
	@/usr/bin/python3 tools/demo.py build/knockbox

test-deps:
	$(call install,$(TEST_PACKAGES))

# In a network namespace of its own, where the Telnet tests' port 23 is surely free.
test: build test-deps
	cd build && $(SUITE_LIMIT) ../tools/private-network ctest --output-on-failure

# `make test` LOAD_RUNS times in a row while stress-ng keeps every core busy: the suite must not
# depend on an idle machine.
LOAD_RUNS ?= 5
test-under-load: build test-deps
	$(call install,stress-ng)
	@stress-ng --cpu 0 --timeout 3600s --quiet & load=$$!; \
	trap 'kill $$load 2>/dev/null' EXIT; \
	for run in $$(seq $(LOAD_RUNS)); do \
	  echo "== make test under load, run $$run of $(LOAD_RUNS), load average $$(cut -d" " -f1 /proc/loadavg)"; \
	  $(MAKE) --no-print-directory test >build/test-under-load.log 2>&1 || \
	    { tail -n 60 build/test-under-load.log; exit 1; }; \
	done; echo "== $(LOAD_RUNS) runs passed under load"

deps:
	$(call install,$(WINDOWS_PACKAGES))

# The 32-bit program we ship, and the same tree for 64-bit Windows.
windows: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS)
	cmake --preset windows64 >/dev/null
	cmake --build --preset windows64 -j $(JOBS)

windows-test: windows test-deps
	tools/windows-test $(WINDOWS_BITS)

# The Linux program for 64-bit ARM; ctest runs its unit and end-to-end tests under user-mode
# emulation (the build's CMAKE_CROSSCOMPILING_EMULATOR), in a network of their own.
arm64:
	$(call install,$(ARM_PACKAGES))
	cmake --preset arm64 >/dev/null
	cmake --build --preset arm64 -j $(JOBS)

arm64-test: arm64 test-deps
	@echo "ARM tests: the aarch64 build-arm64/knockbox under qemu-aarch64-static -L /usr/aarch64-linux-gnu"
	cd build-arm64 && $(SUITE_LIMIT) ../tools/private-network ctest --output-on-failure

# The unit tests and the end-to-end suite against the program built with AddressSanitizer and
# UndefinedBehaviorSanitizer: start-up, the terminal and the Telnet loop run under them too.
sanitize: test-deps
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize -j $(JOBS) --target knockbox_tests knockbox
	cd build-sanitize && $(SUITE_LIMIT) ../tools/private-network ctest --output-on-failure

# Each libFuzzer target runs for FUZZ_SECONDS from the seeds in fuzz/corpus; what it finds new
# goes to build-fuzz/, not into the repository.
FUZZ_SECONDS ?= 20
fuzz:
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	@for target in build-fuzz/*_fuzz; do \
	  mkdir -p $$target.corpus; \
	  echo "$$target: $(FUZZ_SECONDS) s"; \
	  $$target -max_total_time=$(FUZZ_SECONDS) -max_len=256 -artifact_prefix=build-fuzz/ \
	    $$target.corpus fuzz/corpus >$$target.log 2>&1 || { tail -n 40 $$target.log; exit 1; }; \
	  tail -n 1 $$target.log; \
	done

check: test windows-test arm64-test sanitize fuzz
	groff -ww -z -man doc/knockbox.1

# Start-up time and memory against nc -z and the least C program (bench/least.c), on loopback.
bench: build
	$(call install,$(BENCH_PACKAGES))
	cc -O2 -o build/bench-least bench/least.c
	/usr/bin/python3 bench/bench.py build/knockbox build/bench-least

PREFIX ?= /usr/local
install: build
	cmake --install build --prefix $(PREFIX)

# build/package: knockbox_*_amd64.deb and knockbox-*.x86_64.rpm; build-arm64/package:
# knockbox_*_arm64.deb; build-win/package: knockbox-*-win32.zip (32-bit). The Linux packages are
# checked: glibc 2.34 at most, the C library they ask for, lintian.
package: build windows arm64
	$(call install,$(PACKAGE_PACKAGES))
	rm -rf build/package build-arm64/package build-win/package
	cd build && cpack -G "DEB;RPM"
	cd build-arm64 && cpack -G DEB
	cd build-win && cpack -G ZIP
	tools/check-packages build/package/*.deb build/package/*.rpm build-arm64/package/*.deb

clean:
	rm -rf build build-win build-win64 build-arm64 build-sanitize build-fuzz
