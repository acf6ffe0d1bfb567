# Thin wrapper over CMake and CTest.
#
# A player's targets (run, install, package) install only what building and playing need
# and build only the game; the developer's targets install the whole set and turn on the
# tests, benchmarks and tools.
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
DEV_FLAGS = -DPALVEX_TESTS=ON -DPALVEX_BENCH=ON -DPALVEX_TOOLS=ON

.PHONY: all deps dev-deps configure dev-configure game build run install package \
        test test-fast test-asan bench fuzz e2e assets clean

all: game

deps:
	@scripts/install-deps

dev-deps:
	@scripts/install-deps --dev

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

dev-configure: dev-deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(DEV_FLAGS) $(CMAKE_FLAGS) >/dev/null

# The game and its data beside it, nothing else.
game: configure
	@cmake --build $(BUILD) -j $(JOBS) --target palvex

run: game
	@cd $(BUILD) && ./palvex $(ARGS)

install: game
	@cmake --install $(BUILD) --prefix $(PREFIX)

package: game
	@scripts/install-deps --package
	@rm -f $(BUILD)/palvex_*.deb
	@cd $(BUILD) && cpack -G DEB
	@lintian --fail-on error $(BUILD)/palvex_*.deb

# Everything: the game, tests, benchmarks and tools.
build: dev-configure
	@cmake --build $(BUILD) -j $(JOBS)

# Every test: unit, GL, headless integration, the installed game and the end-to-end
# window under Xvfb, then the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-asan

test-fast: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE "e2e|valgrind|soak"

test-asan: dev-deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPALVEX_SANITIZE=ON -DPALVEX_TESTS=ON -DPALVEX_TOOLS=ON -DPALVEX_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS) -LE "e2e|valgrind|soak|install"

e2e: build
	@cd $(BUILD) && ctest --output-on-failure -L e2e

bench: build
	@scripts/run-benchmarks $(BUILD)

assets: build
	@$(BUILD)/assetgen data packaging/icons
	@$(BUILD)/assetpreview data docs

fuzz: dev-deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPALVEX_FUZZ=ON -DPALVEX_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	@scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	@rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
