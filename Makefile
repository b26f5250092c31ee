# Two entry points for a fresh Debian machine: `make test` and `make demo`.
BUILD ?= build
JOBS ?= $(shell nproc)
CTEST_ARGS ?=
# The native sanitizer and fuzzing build (clang, ASan, UBSan, libFuzzer) lives inside the build
# folder; its tests and fuzz runs take about two minutes on two cores.
NATIVE_BUILD ?= $(BUILD)/native
NATIVE_CTEST_JOBS ?= 2

.PHONY: setup configure build test demo bench clean native-configure native-build native-test

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The Wine tests, then the native tests; both run, and either failing fails the target.
test: build
	@status=0; \
	scripts/wine-session.sh $(BUILD) ctest --test-dir $(BUILD) --output-on-failure $(CTEST_ARGS) || status=1; \
	$(MAKE) --no-print-directory native-test BUILD=$(BUILD) || status=1; \
	exit $$status

native-configure: setup
	@cmake -S native -B $(NATIVE_BUILD) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null

native-build: native-configure
	@cmake --build $(NATIVE_BUILD) -j $(JOBS)

native-test: native-build
	@ctest --test-dir $(NATIVE_BUILD) --output-on-failure -j $(NATIVE_CTEST_JOBS)

# Builds the program and a sample shop's installer and runs it under Wine: on the display when
# there is one, otherwise headless, driven through its pages with a screenshot of each.
demo: configure
	@cmake --build $(BUILD) -j $(JOBS) --target demo_installer
	@bash tools/demo/demo.sh $(BUILD)

# The extraction benchmark (not a test): ExtractInstaller under Wine beside unzip and NSIS, as ratios.
bench: configure
	@cmake --build $(BUILD) -j $(JOBS) --target bench_extract
	@scripts/wine-session.sh $(BUILD) python3 tools/bench/extract_bench.py $(BUILD)

clean:
	rm -rf $(BUILD)
