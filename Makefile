# Two entry points for a fresh Debian machine: `make test` and (later) `make demo`.
BUILD ?= build
JOBS ?= $(shell nproc)
CTEST_ARGS ?=

.PHONY: setup configure build test clean

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@scripts/wine-session.sh $(BUILD) ctest --test-dir $(BUILD) --output-on-failure $(CTEST_ARGS)

clean:
	rm -rf $(BUILD)
