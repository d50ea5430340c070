# The README's two commands: `make run` and `make test`; `make install` and
# `make package` install the program like any other on the desktop.
BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_TSAN ?= build-tsan
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja
# ccache, when the machine has it, lets rebuilds and other checkouts reuse objects.
LAUNCHER   := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: setup build run test install uninstall package sanitize tsan bench screenshots fuzz demo format format-check clean
# `make` alone installs what is missing and builds.
.DEFAULT_GOAL := build

setup:
	@scripts/setup

build: setup
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/app/OrvanePrinterTest $(ARGS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The programs, menu entry, icons, metadata and manual pages under PREFIX;
# DESTDIR stages them elsewhere (e.g. for a package of another kind).
PREFIX  ?= /usr/local
DESTDIR ?=
# The list of installed files is kept apart from CMake's own, which the
# tests' staged installs overwrite.
INSTALLED := $(BUILD)/installed-files.txt
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)" --strip
	@sed 's|^|$(DESTDIR)|' $(BUILD)/install_manifest.txt > $(INSTALLED)

# Removes what the last `make install` from this build put in place.
uninstall:
	@test -f $(INSTALLED) || { echo "uninstall: nothing was installed from $(BUILD)" >&2; exit 1; }
	xargs -r -d '\n' rm -f -- < $(INSTALLED)
	@sed -n 's|/copyright$$||p' $(INSTALLED) | xargs -r -d '\n' rmdir --ignore-fail-on-non-empty -- 2>/dev/null || true
	@rm -f $(INSTALLED)

# The Debian package, in $(BUILD)/: sudo apt install ./$(BUILD)/<name>.deb
package: build
	cd $(BUILD) && cpack -G DEB
	@rm -rf $(BUILD)/_CPack_Packages

# A virtual printer on 127.0.0.1 and the console pointed at it. The printer
# runs in the foreground and owns the terminal: its transcript shows here and
# its keys (c b t p e, s, q) change what the status monitor sees. The console
# runs beside it. Closing the console stops the printer; q or Ctrl-C in the
# printer closes the console. The shell ignores Ctrl-C so that it can close
# the console and end cleanly; a console that could not start fails the demo.
DEMO_ADDRESS ?= 127.0.0.1
demo: build
	@$(BUILD)/app/OrvanePrinterTest --printer $(DEMO_ADDRESS) & console=$$!; \
	  trap '' INT; \
	  $(BUILD)/tools/virtual-printer/virtual-printer --address $(DEMO_ADDRESS) --stop-with $$console; status=$$?; \
	  if kill $$console 2>/dev/null; then wait $$console; else wait $$console || status=$$?; fi; \
	  exit $$status

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: setup
	@cmake -S . -B $(BUILD_ASAN) $(CMAKE_GEN) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Debug -DPRINTERTEST_SANITIZE=ON -DPRINTERTEST_BENCH=OFF >/dev/null
	@cmake --build $(BUILD_ASAN) -j $(JOBS)
	ctest --test-dir $(BUILD_ASAN) --output-on-failure -j $(JOBS)

# The same tests under ThreadSanitizer: the printer calls run on worker
# threads. Reports from inside Qt's own libraries, which are not built with
# the sanitizer, are kept quiet by the named entries of tests/tsan.supp.
TSAN_OPTIONS ?= suppressions=$(CURDIR)/tests/tsan.supp second_deadlock_stack=1
tsan: setup
	@cmake -S . -B $(BUILD_TSAN) $(CMAKE_GEN) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Debug -DPRINTERTEST_TSAN=ON -DPRINTERTEST_BENCH=OFF >/dev/null
	@cmake --build $(BUILD_TSAN) -j $(JOBS)
	TSAN_OPTIONS="$(TSAN_OPTIONS)" ctest --test-dir $(BUILD_TSAN) --output-on-failure -j $(JOBS)

# The dialogs in both languages, rendered headless to docs/, and a receipt
# the virtual printer wrote, as headless Chromium shows it (docs/receipt.png).
screenshots: build
	$(BUILD)/tools/screenshots docs

# One layout for every C++ file (.clang-format): `make format` applies it,
# `make format-check` (run by CI) fails on any file that does not follow it.
FORMATTED = $(shell git ls-files '*.cpp' '*.h' '*.h.in')
format: setup
	clang-format -i $(FORMATTED)
format-check: setup
	@clang-format --dry-run -Werror $(FORMATTED) && echo "format-check: $(words $(FORMATTED)) files follow .clang-format"

# Fuzzes the hex text readers with libFuzzer for FUZZ_SECONDS (clang only).
FUZZ_SECONDS ?= 60
fuzz:
	@scripts/setup fuzz
	@mkdir -p build-fuzz/corpus
	clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -Ilink -Iconsole \
	  tests/fuzz/HexParseFuzz.cpp console/HexParse.cpp link/Frames.cpp link/Settings.cpp -o build-fuzz/hexparse_fuzz
	build-fuzz/hexparse_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=4096 build-fuzz/corpus

bench: build
	$(BUILD)/bench/printertest_bench
	$(BUILD)/bench/printertest_wait_bench
	$(BUILD)/bench/printertest_fleet_bench
	$(BUILD)/bench/printertest_sweep_bench

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_TSAN) build-fuzz
