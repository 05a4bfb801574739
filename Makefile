# The two commands of the README: `make run` and `make test`.
# Both install what is missing, configure and build into build/, then run.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2
# `make install`: into PREFIX, staged under DESTDIR when set (DESTDIR=/tmp/stage make install PREFIX=/usr).
PREFIX ?= /usr/local
DESTDIR ?=
# Developer and CI builds treat warnings as errors; a plain `cmake` configure (a packager's) does not.
WERROR = -DQUARNIX_WERROR=ON

.PHONY: deps configure build run test install package release-build sanitize-address sanitize-thread \
	check-sanitizers fuzz-smoke clean

deps:
	@bash tools/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(WERROR)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@if [ -x $(BUILD_DIR)/bin/quarnix ]; then $(BUILD_DIR)/bin/quarnix; else $(BUILD_DIR)/bin/quarnix-cli --help; fi

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"

# The Debian package (CPack): build/quarnix_<version>_<arch>.deb, installing into /usr.
package: build
	cmake --build $(BUILD_DIR) --target package

# The build packagers make: Release, with warnings as errors here so that CI catches new ones.
release-build: deps
	cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release $(WERROR)
	cmake --build build-release -j $(JOBS) --target quarnix quarnix-cli

# The tests under AddressSanitizer+UBSan and ThreadSanitizer, each in its own build folder. Only the
# test programs that name the sanitizer (SANITIZERS of quarnix_add_gtest in their CMakeLists.txt) are built
# there, through the one target quarnix_sanitizer_programs (ctest skips the placeholders of the others);
# both runs must end without a single report: a sanitizer report makes its test fail.
ASAN_TARGETS ?= quarnix_sanitizer_programs
TSAN_TARGETS ?= quarnix_sanitizer_programs
SANITIZER_CTEST = ctest --output-on-failure -j $(JOBS) -E '_NOT_BUILT$$'
export ASAN_OPTIONS ?= detect_leaks=1:abort_on_error=0:halt_on_error=1
export UBSAN_OPTIONS ?= print_stacktrace=1:halt_on_error=1
# Qt's internal thread pool synchronises in uninstrumented code: see tests/tsan-suppressions.txt.
export TSAN_OPTIONS ?= halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan-suppressions.txt

sanitize-address:
	@QUARNIX_SANITIZERS=1 bash tools/install-deps.sh
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUARNIX_SANITIZE=address $(WERROR)
	cmake --build build-asan -j $(JOBS) --target $(ASAN_TARGETS)
	cd build-asan && $(SANITIZER_CTEST)

sanitize-thread:
	@QUARNIX_SANITIZERS=1 bash tools/install-deps.sh
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUARNIX_SANITIZE=thread $(WERROR)
	cmake --build build-tsan -j $(JOBS) --target $(TSAN_TARGETS)
	cd build-tsan && $(SANITIZER_CTEST)

check-sanitizers: sanitize-address sanitize-thread

# libFuzzer (clang): a bounded run of each target from seeds made by ffmpeg. FUZZ_SECONDS sets the length
# of each run; crashes are written as build-fuzz/crash-*.
FUZZ_SECONDS ?= 60
# A fixed seed makes the smoke run repeatable (CI sets FUZZ_SEED=1); 0 lets libFuzzer pick one.
FUZZ_SEED ?= 0
fuzz-smoke:
	@QUARNIX_SANITIZERS=1 bash tools/install-deps.sh
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARNIX_FUZZ=ON $(WERROR)
	cmake --build build-fuzz -j $(JOBS) --target ProbeFuzzer StreamCopyFuzzer QuickTimeBoxFuzzer MatroskaFuzzer
	bash fuzz/make-seeds.sh build-fuzz/seeds
	mkdir -p build-fuzz/corpus-probe build-fuzz/corpus-copy build-fuzz/corpus-boxes build-fuzz/corpus-matroska
	cd build-fuzz && ./fuzz/ProbeFuzzer -max_total_time=$(FUZZ_SECONDS) -seed=$(FUZZ_SEED) -timeout=10 -rss_limit_mb=4096 \
		-artifact_prefix=crash-probe- corpus-probe seeds ../fuzz/regressions
	cd build-fuzz && ./fuzz/StreamCopyFuzzer -max_total_time=$(FUZZ_SECONDS) -seed=$(FUZZ_SEED) -timeout=10 -rss_limit_mb=4096 \
		-artifact_prefix=crash-copy- corpus-copy seeds ../fuzz/regressions
	cd build-fuzz && ./fuzz/QuickTimeBoxFuzzer -max_total_time=$(FUZZ_SECONDS) -seed=$(FUZZ_SEED) -timeout=10 -rss_limit_mb=4096 \
		-artifact_prefix=crash-boxes- corpus-boxes seeds ../fuzz/regressions
	cd build-fuzz && ./fuzz/MatroskaFuzzer -max_total_time=$(FUZZ_SECONDS) -seed=$(FUZZ_SEED) -timeout=10 -rss_limit_mb=4096 \
		-artifact_prefix=crash-matroska- corpus-matroska seeds ../fuzz/regressions

clean:
	rm -rf $(BUILD_DIR) build-asan build-tsan build-fuzz build-release
