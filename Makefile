# Knockbox: the README's commands. `make check` is what CI runs.
.PHONY: all build run test windows windows-test sanitize fuzz check deps clean

JOBS ?= 2
WINE_ENV = WINEPREFIX=$(CURDIR)/build-win/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Every end-to-end run has its own hard limits; this is the backstop for a whole suite.
SUITE_LIMIT = timeout -k 10 900

all: build

build:
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

run: build
	@./build/knockbox_demo ./build/knockbox

test: build
	cd build && $(SUITE_LIMIT) ctest --output-on-failure

# The tools the Windows build needs, installed with apt when missing (as root).
deps:
	@if ! command -v i686-w64-mingw32-g++-posix >/dev/null || ! command -v wine >/dev/null \
	    || ! dpkg -s wine32:i386 >/dev/null 2>&1; then \
	  echo "Installing MinGW-w64 and Wine"; \
	  dpkg --add-architecture i386 && apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq g++-mingw-w64-i686 wine wine32 >/dev/null; \
	fi

windows: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS)

windows-test: windows build
	@mkdir -p build-win/wineprefix
	$(WINE_ENV) wineboot -i >/dev/null 2>&1 </dev/null || true
	$(WINE_ENV) $(SUITE_LIMIT) wine build-win/knockbox_tests.exe </dev/null
	$(WINE_ENV) KNOCKBOX_RUNNER=wine KNOCKBOX_BIN=$(CURDIR)/build-win/knockbox.exe \
	  $(SUITE_LIMIT) ./build/knockbox_e2e </dev/null

sanitize:
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize -j $(JOBS) --target knockbox_tests knockbox
	$(SUITE_LIMIT) ./build-sanitize/knockbox_tests

# Each libFuzzer target runs for FUZZ_SECONDS on a fresh corpus.
FUZZ_SECONDS ?= 20
fuzz:
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	@for target in build-fuzz/*_fuzz; do \
	  mkdir -p $$target.corpus; \
	  echo "$$target: $(FUZZ_SECONDS) s"; \
	  $$target -max_total_time=$(FUZZ_SECONDS) -max_len=256 -artifact_prefix=build-fuzz/ \
	    $$target.corpus >$$target.log 2>&1 || { tail -n 40 $$target.log; exit 1; }; \
	  tail -n 1 $$target.log; \
	done

check: test windows-test sanitize fuzz

clean:
	rm -rf build build-win build-sanitize build-fuzz
