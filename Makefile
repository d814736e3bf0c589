# The two commands a newcomer needs: `make run` and `make test`. Both install
# what is missing first, so a fresh Debian 12 machine needs nothing else.

PRESET ?= default
BUILD  := build
ASAN_BUILD := build-asan

.PHONY: all deps configure build run test test-asan fuzz soak bench screenshot format clean package install

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

# Any sanitizer report fails the test that caused it: ASan and UBSan stop at the
# first error, LeakSanitizer checks every process that exits normally, with the
# leaks of system libraries listed (and explained) in .ci/lsan.supp.
SANITIZER_ENV := ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/.ci/lsan.supp \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

test-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan
	@$(SANITIZER_ENV) ctest --preset asan -j2

# Each libFuzzer target for FUZZ_SECONDS (clang, in build-fuzz/).
FUZZ_SECONDS ?= 60
fuzz:
	@tools/setup-deps.sh fuzz
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz
	@fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

# `make soak N=1000`: N presses of "Send Now" in one running program, every byte checked.
N ?= 100
soak: build
	@tools/setup-deps.sh soak
	@tools/soak.sh $(BUILD) $(N)

bench: build
	@bench/run.sh $(BUILD)

screenshot: build
	@tools/screenshot.sh $(BUILD) docs/screenshot.png

# A Debian package of the programs, launcher, icons, metainfo and man pages:
# build/ktbctl_<version>_<arch>.deb, its Depends worked out by dpkg-shlibdeps.
package: build
	@cd $(BUILD) && cpack -G DEB

# `make install PREFIX=/usr DESTDIR=/tmp/stage` stages an installation.
PREFIX ?= /usr/local
install: build
	@DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz
