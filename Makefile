# Knockbox: the README's commands. `make check` is what CI runs.
#
# A fresh Debian machine needs a C++20 compiler, CMake 3.25 or later, make and git; every other
# package is installed by the command that needs it (as root), or named in one `apt-get update &&
# apt-get install` line (as any other user). `make run` needs nothing more.
.PHONY: all build run test test-under-load windows windows-test arm64 arm64-test static \
        static-test sanitize fuzz man-check format-check package package-check reproducible check \
        bench install clean

JOBS ?= 2
# Every end-to-end run has its own hard limits; this is the backstop for a whole suite.
SUITE_LIMIT = timeout -k 10 900
# WINDOWS_BITS=64 tests the 64-bit Windows build even where 32-bit code runs.
WINDOWS_BITS ?=
# The Makefiles that CMake writes are run by make too: no "Entering directory" lines from them.
MAKEFLAGS += --no-print-directory
# Package times come from the last commit, unless the caller sets them.
ifeq ($(SOURCE_DATE_EPOCH),)
SOURCE_DATE_EPOCH := $(shell git log -1 --format=%ct 2>/dev/null)
endif
export SOURCE_DATE_EPOCH

# The Debian packages each command needs, beyond the compiler, CMake, make and git. The end-to-end
# tests run Debian's own Python 3 (/usr/bin/python3), whatever python3 comes first on the PATH.
TEST_PACKAGES = libgtest-dev python3-pytest python3-pytest-timeout python3-pexpect iproute2 mount
WINDOWS_PACKAGES = g++-mingw-w64-i686 g++-mingw-w64-x86-64
# Wine runs the 32-bit program where the machine runs 32-bit code, else the 64-bit one; wine32
# is installed by `make windows-test` alone (see there).
WINE_PACKAGES = wine wine64
WINE32_PACKAGES = $(if $(WINDOWS_BITS),,$(if $(shell tools/runs-32-bit && echo yes),wine32:i386))
ARM_PACKAGES = g++-aarch64-linux-gnu
ARM_TEST_PACKAGES = qemu-user-static googletest
# A DNS server for the static program's name lookups (the binary alone: no system service), and
# strace to see that it opens no shared object.
STATIC_TEST_PACKAGES = dnsmasq-base strace
FUZZ_PACKAGES = clang libclang-rt-dev
MAN_PACKAGES = groff-base
FORMAT_PACKAGES = clang-format
PACKAGE_PACKAGES = g++-mingw-w64-i686 $(ARM_PACKAGES) rpm lintian devscripts
BENCH_PACKAGES = hyperfine netcat-openbsd time python3
CHECK_PACKAGES = $(TEST_PACKAGES) $(WINDOWS_PACKAGES) $(WINE_PACKAGES) $(ARM_PACKAGES) \
                 $(ARM_TEST_PACKAGES) $(STATIC_TEST_PACKAGES) $(FUZZ_PACKAGES) $(MAN_PACKAGES) \
                 $(FORMAT_PACKAGES) $(PACKAGE_PACKAGES)

# $(call need,COMMAND,PACKAGES): installs those of the packages not installed yet, saying so, or
# (not as root) names the command that would, and stops.
need = @tools/install-packages "make $(1)" $(2)
# $(call configure,PRESET): the build folder of a preset, set up or brought up to date. (The
# build finds Debian's /usr/bin/python3 for the end-to-end tests itself.)
configure = cmake --preset $(1) >/dev/null

all: build

build:
	$(call configure,release)
	cmake --build --preset release -j $(JOBS)

run:
	$(call configure,release)
	cmake --build --preset release -j $(JOBS) --target knockbox knockbox-demo
	@build/knockbox-demo build/knockbox

test:
	$(call need,test,$(TEST_PACKAGES))
	$(call configure,release)
	cmake --build --preset release-tests -j $(JOBS)
	@/usr/bin/python3 tools/mutants.py --check
	$(SUITE_LIMIT) tools/private-network build/run-tests

# `make test` LOAD_RUNS times in a row while stress-ng keeps every core busy: the suite must not
# depend on an idle machine.
LOAD_RUNS ?= 5
test-under-load:
	$(call need,test-under-load,$(TEST_PACKAGES) stress-ng)
	@stress-ng --cpu 0 --timeout 3600s --quiet & load=$$!; \
	trap 'kill $$load 2>/dev/null' EXIT; \
	for run in $$(seq $(LOAD_RUNS)); do \
	  echo "== make test under load, run $$run of $(LOAD_RUNS), load average $$(cut -d" " -f1 /proc/loadavg)"; \
	  $(MAKE) test >build/test-under-load.log 2>&1 || { tail -n 60 build/test-under-load.log; exit 1; }; \
	done; echo "== $(LOAD_RUNS) runs passed under load"

# The 32-bit program we ship, and the same tree for 64-bit Windows, with their unit tests.
windows:
	$(call need,windows,$(WINDOWS_PACKAGES) googletest)
	$(call configure,windows)
	cmake --build --preset windows-tests -j $(JOBS)
	$(call configure,windows64)
	cmake --build --preset windows64-tests -j $(JOBS)

# Where wine32 cannot be had (a mirror whose i386 lists are out of step with the others, or a
# user other than root), the 64-bit program stands in under wine64, and the log says why.
windows-test:
	$(call need,windows-test,$(WINDOWS_PACKAGES) googletest $(WINE_PACKAGES) $(TEST_PACKAGES))
	$(MAKE) windows
	@if [ -z "$(WINE32_PACKAGES)" ]; then tools/windows-test $(WINDOWS_BITS); \
	elif tools/install-packages "make windows-test" $(WINE32_PACKAGES); then tools/windows-test; \
	else tools/windows-test 64 "wine32 could not be installed"; fi

# The Linux program for 64-bit ARM; its unit and end-to-end tests run under user-mode emulation
# (the build's CMAKE_CROSSCOMPILING_EMULATOR), in a network of their own.
arm64:
	$(call need,arm64,$(ARM_PACKAGES))
	$(call configure,arm64)
	cmake --build --preset arm64 -j $(JOBS)

arm64-test:
	$(call need,arm64-test,$(ARM_PACKAGES) $(ARM_TEST_PACKAGES) $(TEST_PACKAGES))
	$(call configure,arm64)
	cmake --build --preset arm64-tests -j $(JOBS)
	@echo "ARM tests: the aarch64 build-arm64/knockbox under qemu-aarch64-static -L /usr/aarch64-linux-gnu"
	$(SUITE_LIMIT) tools/private-network build-arm64/run-tests

# The static programs (static PIE, the C library inside): build-static/knockbox for x86_64 and
# build-static-arm64/knockbox for 64-bit ARM. Their end-to-end tests are the whole suite, the ARM
# one under qemu-aarch64-static without a C library for it (no -L), in a network of their own.
static:
	$(call need,static,$(ARM_PACKAGES))
	$(call configure,static)
	cmake --build --preset static -j $(JOBS)
	$(call configure,static-arm64)
	cmake --build --preset static-arm64 -j $(JOBS)

static-test:
	$(call need,static-test,$(ARM_PACKAGES) $(ARM_TEST_PACKAGES) $(TEST_PACKAGES) $(STATIC_TEST_PACKAGES))
	$(MAKE) static
	$(SUITE_LIMIT) tools/private-network build-static/run-tests e2e
	@echo "ARM static tests: build-static-arm64/knockbox under qemu-aarch64-static, no -L"
	$(SUITE_LIMIT) tools/private-network build-static-arm64/run-tests e2e

# The unit tests and the end-to-end suite against the program built with AddressSanitizer and
# UndefinedBehaviorSanitizer: start-up, the terminal and the Telnet loop run under them too.
sanitize:
	$(call need,sanitize,$(TEST_PACKAGES))
	$(call configure,sanitize)
	cmake --build --preset sanitize-tests -j $(JOBS)
	$(SUITE_LIMIT) tools/private-network build-sanitize/run-tests

# Each libFuzzer target runs for FUZZ_SECONDS from the seeds in fuzz/corpus; what it finds new
# goes to build-fuzz/, not into the repository.
FUZZ_SECONDS ?= 20
fuzz:
	$(call need,fuzz,$(FUZZ_PACKAGES))
	$(call configure,fuzz)
	cmake --build --preset fuzz -j $(JOBS)
	@for target in build-fuzz/*_fuzz; do \
	  mkdir -p $$target.corpus; \
	  echo "$$target: $(FUZZ_SECONDS) s"; \
	  $$target -max_total_time=$(FUZZ_SECONDS) -max_len=256 -artifact_prefix=build-fuzz/ \
	    $$target.corpus fuzz/corpus >$$target.log 2>&1 || { tail -n 40 $$target.log; exit 1; }; \
	  tail -n 1 $$target.log; \
	done

man-check:
	$(call need,man-check,$(MAN_PACKAGES))
	groff -ww -z -man doc/knockbox.1

# Every C++ and C file the repository holds, as .clang-format lays it out: clang-format names each
# line that is not.
format-check:
	$(call need,format-check,$(FORMAT_PACKAGES))
	@files=$$(git ls-files '*.cpp' '*.h' '*.c') && [ -n "$$files" ] && \
	  clang-format --dry-run --Werror $$files && \
	  echo "format-check: $$(echo "$$files" | wc -l) files as .clang-format lays them out"

# The release files, and a SHA256SUMS file for them, in build/release: the .debs of the Linux
# program (x86_64, 64-bit ARM), its .rpm (x86_64), a .tar.gz of each static program (x86_64,
# 64-bit ARM) and the .zip of the 32-bit Windows program. Only
# what they hold is built. Every time inside them is SOURCE_DATE_EPOCH (the last commit's), so the
# same commit gives the same bytes. tools/check-packages checks each one (see there).
RELEASE = build/release
package:
	$(call need,package,$(PACKAGE_PACKAGES))
	$(call configure,release)
	cmake --build --preset release -j $(JOBS)
	$(call configure,arm64)
	cmake --build --preset arm64 -j $(JOBS)
	$(call configure,static)
	cmake --build --preset static -j $(JOBS)
	$(call configure,static-arm64)
	cmake --build --preset static-arm64 -j $(JOBS)
	$(call configure,windows)
	cmake --build --preset windows -j $(JOBS)
	tools/make-release $(RELEASE)
	tools/check-packages $(RELEASE)

# The release files again, made a second time into another folder from the same builds: they must
# be the same bytes.
reproducible: package
	tools/make-release build/release-again
	tools/check-reproducible $(RELEASE) build/release-again

check:
	$(call need,check,$(CHECK_PACKAGES))
	$(MAKE) format-check test windows-test arm64-test static-test sanitize fuzz man-check reproducible

# Start-up time and memory against nc -z and the least C program (bench/least.c), on loopback;
# the static program against the least C program linked -static-pie as well.
bench: build
	$(call need,bench,$(BENCH_PACKAGES))
	$(call configure,static)
	cmake --build --preset static -j $(JOBS)
	cc -O2 -o build/bench-least bench/least.c
	cc -O2 -static-pie -o build/bench-least-static bench/least.c 2>/dev/null
	/usr/bin/python3 bench/bench.py build/knockbox build/bench-least build-static/knockbox \
	  build/bench-least-static

PREFIX ?= /usr/local
install: build
	cmake --install build --prefix $(PREFIX)

clean:
	rm -rf build build-win build-win64 build-arm64 build-static build-static-arm64 build-sanitize \
	  build-fuzz
