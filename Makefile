# The two commands of the README: `make run` and `make test`.
# Both install what is missing, configure and build into build/, then run.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2

.PHONY: deps configure build run test sanitize-address sanitize-thread clean

deps:
	@bash tools/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@if [ -x $(BUILD_DIR)/bin/quarnix ]; then $(BUILD_DIR)/bin/quarnix; else $(BUILD_DIR)/bin/quarnix-cli --help; fi

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# Development: the tests under AddressSanitizer+UBSan or ThreadSanitizer, each in its own build folder.
sanitize-address: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUARNIX_SANITIZE=address
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

sanitize-thread: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUARNIX_SANITIZE=thread
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR) build-asan build-tsan
