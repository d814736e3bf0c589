# The two commands a newcomer needs: `make run` and `make test`. Both install
# what is missing first, so a fresh Debian 12 machine needs nothing else.

PRESET ?= default
BUILD  := build
ASAN_BUILD := build-asan

.PHONY: all deps configure build run test test-asan bench screenshot format clean

all: build

deps:
	@tools/setup-deps.sh

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET)

run: build
	@tools/run-demo.sh $(BUILD)

test: build
	@ctest --preset $(PRESET) -j2

test-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan
	@ctest --preset asan -j2

bench: build
	@bench/run.sh $(BUILD)

screenshot: build
	@tools/screenshot.sh $(BUILD) docs/screenshot.png

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
