# Thin wrapper over CMake and CTest.
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test test-fast test-asan bench fuzz e2e assets clean

all: build

deps:
	@scripts/install-deps

# The test build: the game with its tests, benchmarks and tools.
DEV_FLAGS = -DPALVEX_TESTS=ON -DPALVEX_BENCH=ON -DPALVEX_TOOLS=ON

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(DEV_FLAGS) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@cd $(BUILD) && ./palvex $(ARGS)

# Every test: unit, GL, headless integration and the end-to-end window under Xvfb,
# then the whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-asan

test-fast: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE "e2e|valgrind|soak"

test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPALVEX_SANITIZE=ON -DPALVEX_TESTS=ON -DPALVEX_TOOLS=ON -DPALVEX_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS) -LE "e2e|valgrind|soak"

e2e: build
	@cd $(BUILD) && ctest --output-on-failure -L e2e

bench: build
	@scripts/run-benchmarks $(BUILD)

assets: build
	@$(BUILD)/assetgen data
	@$(BUILD)/assetpreview data docs

fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPALVEX_FUZZ=ON $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	@scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
