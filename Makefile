# The README's two commands: `make run` and `make test`.
BUILD      ?= build
BUILD_ASAN ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: setup build run test sanitize bench screenshots fuzz clean

setup:
	@scripts/setup

build: setup
	@cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/app/OrvanePrinterTest $(ARGS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: setup
	@cmake -S . -B $(BUILD_ASAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DPRINTERTEST_SANITIZE=ON -DPRINTERTEST_BENCH=OFF >/dev/null
	@cmake --build $(BUILD_ASAN) -j $(JOBS)
	ctest --test-dir $(BUILD_ASAN) --output-on-failure -j $(JOBS)

# The dialogs in both languages, rendered headless to docs/.
screenshots: build
	$(BUILD)/tools/screenshots docs

# Fuzzes the hex text readers with libFuzzer for FUZZ_SECONDS (clang only).
FUZZ_SECONDS ?= 60
fuzz:
	@scripts/setup fuzz
	@mkdir -p build-fuzz/corpus
	clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -Ilink -Iconsole \
	  tests/fuzz/HexParseFuzz.cpp console/HexParse.cpp link/Frames.cpp -o build-fuzz/hexparse_fuzz
	build-fuzz/hexparse_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=4096 build-fuzz/corpus

bench: build
	$(BUILD)/bench/printertest_bench

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) build-fuzz
