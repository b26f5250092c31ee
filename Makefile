# Two entry points for a fresh Debian machine: `make test` and `make demo`.
BUILD ?= build
JOBS ?= $(shell nproc)
CTEST_ARGS ?=
# The native sanitizer and fuzzing build (clang, ASan, UBSan, libFuzzer) lives inside the build
# folder; its tests and fixed-seed fuzz runs take a few minutes on two cores.
NATIVE_BUILD ?= $(BUILD)/native
NATIVE_CTEST_JOBS ?= 2
# The Wine road (scripts/wine-road.sh): "32" where the kernel runs 32-bit programs, so that the
# 32-bit product is tested under 32-bit Wine as it is; "64" where it refuses them (or WINE64=1
# forces it), and the same sources are also built for x86_64 in WIN_BUILD and every Wine test, the
# demo and the benchmark run there under 64-bit Wine. The product is built for i686 on both roads.
WINE64 ?=
export WINE64
ROAD := $(shell WINE64=$(WINE64) bash scripts/wine-road.sh)
ROAD_WHY := $(shell WINE64=$(WINE64) bash scripts/wine-road.sh --why)
export KW_WINE_ROAD := $(ROAD)
ifeq ($(ROAD),64)
WIN_BUILD ?= $(BUILD)/win64
else
WIN_BUILD ?= $(BUILD)
endif

.PHONY: setup configure build test demo bench clean native-configure native-build native-test fuzz

setup:
	@echo "$(ROAD_WHY)"
	@bash scripts/setup.sh

# The codec libraries for each Windows build, from the cache outside the clone when built before.
configure: setup
	@bash scripts/build-deps.sh --work $(BUILD)/deps i686 $(if $(filter 64,$(ROAD)),x86_64)
	@cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
ifeq ($(ROAD),64)
	@cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
endif

# On the 64-bit road the i686 build makes the product alone, and the codec libraries' test program
# to show that they link; the x86_64 build makes everything.
build: configure
ifeq ($(ROAD),64)
	@cmake --build $(BUILD) -j $(JOBS) --target QuillboxSetup deps_tests
endif
	@cmake --build $(WIN_BUILD) -j $(JOBS)

# The Wine tests, then the native tests; both run, and either failing fails the target. A run in
# which no Wine test was found fails too.
test: build
	@status=0; \
	scripts/wine-session.sh $(WIN_BUILD) ctest --test-dir $(WIN_BUILD) --no-tests=error --output-on-failure $(CTEST_ARGS) || status=1; \
	$(MAKE) --no-print-directory native-test BUILD=$(BUILD) || status=1; \
	exit $$status

native-configure: setup
	@cmake -S native -B $(NATIVE_BUILD) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null

native-build: native-configure
	@cmake --build $(NATIVE_BUILD) -j $(JOBS)

native-test: native-build
	@ctest --test-dir $(NATIVE_BUILD) --output-on-failure -j $(NATIVE_CTEST_JOBS) -LE fuzz-explore

# Exploration, not a test: every fuzz target from a random seed for FUZZ_SECONDS seconds each,
# growing its corpus in the build tree. Whatever it finds (fuzz/<name>/artifacts in the native
# build) becomes a fixture in tests/data/fuzz/<name> with its fix.
FUZZ_SECONDS ?= 60
FUZZ_JOBS ?= $(JOBS)
fuzz: native-build
	@KW_FUZZ_SECONDS=$(FUZZ_SECONDS) ctest --test-dir $(NATIVE_BUILD) --output-on-failure -j $(FUZZ_JOBS) -L fuzz-explore

# Builds the program and a sample shop's installer and runs it under Wine: on the display when
# there is one, otherwise headless, driven through its pages with a screenshot of each.
demo: configure
ifeq ($(ROAD),64)
	@cmake --build $(BUILD) -j $(JOBS) --target QuillboxSetup
endif
	@cmake --build $(WIN_BUILD) -j $(JOBS) --target demo_installer
	@bash tools/demo/demo.sh $(WIN_BUILD)

# The benchmarks (not tests), each printing its table and `ratio NAME: X.XX` lines: the extraction
# under Wine beside unzip and NSIS; then the image section (tools/bench/image_bench.py): imgtool
# natively and under Wine, and the in-process codec, conversion, resampling and processing
# benchmarks, beside ImageMagick, libvips, Pillow, pngquant, giflib and libtiff, in one
# table; then the renderer beside pixman, the file-stored rows beside memory and stdio, and the
# renderer beside GDI. Pillow is Debian's, so the scripts run with
# /usr/bin/python3.
bench: configure native-configure
	@cmake --build $(WIN_BUILD) -j $(JOBS) --target bench_extract bench_blur bench_render bench_transitions bench_view bench_layers bench_selection imgtool
	@scripts/wine-session.sh $(WIN_BUILD) python3 tools/bench/extract_bench.py $(WIN_BUILD)
	@cmake --build $(NATIVE_BUILD) -j $(JOBS) --target bench_image_convert bench_resample bench_proc bench_codecs bench_jpeg bench_formats bench_render_pixman bench_layers_pixman bench_rows bench_undo imgtool_fast
	@timeout 7200 scripts/wine-session.sh $(WIN_BUILD) /usr/bin/python3 tools/bench/image_bench.py $(NATIVE_BUILD) $(WIN_BUILD)
	@$(NATIVE_BUILD)/bench_render_pixman
	@$(NATIVE_BUILD)/bench_rows
	@scripts/wine-session.sh $(WIN_BUILD) wine $(WIN_BUILD)/bench_render.exe
	@scripts/wine-session.sh $(WIN_BUILD) wine $(WIN_BUILD)/bench_transitions.exe
	@scripts/wine-session.sh $(WIN_BUILD) wine $(WIN_BUILD)/bench_view.exe
	@scripts/wine-session.sh $(WIN_BUILD) wine $(WIN_BUILD)/bench_layers.exe $$($(NATIVE_BUILD)/bench_layers_pixman)
	@scripts/wine-session.sh $(WIN_BUILD) wine $(WIN_BUILD)/bench_selection.exe

clean:
	rm -rf $(BUILD)
