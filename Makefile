# The two commands: `make run` and `make test`. Each installs the missing Debian packages
# itself, configures and builds. `make bench` runs the benchmarks (all results in
# build-bench/bench.json), `make fuzz` each fuzz target for a minute.

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
TSAN_BUILD ?= build-tsan
WIN_BUILD  ?= build-windows
GEN        := -G Ninja
JOBS       ?= $(shell nproc)
# Line tables only (-g1): backtraces and sanitizer reports keep file and line, and the
# builds of make test compile and link markedly faster than with full debug information.
# Compiler warnings are errors in these builds.
BUILD_OPTS  := -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g1" \
              -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_DEBUG="-O0 -g1" \
              -DTESSAVOR_WERROR=ON
FUZZ_SECONDS ?= 60

# `make blender-addon`: the Blender add-on's zip (build/io_scene_starvigil.zip), for
# Blender's Preferences > Add-ons > Install.
.PHONY: blender-addon all deps build run test test-format test-main test-install test-asan test-fuzz test-tsan test-windows windows windows-zip bench fuzz lint clean install package screenshots

all: build

deps:
	@bash scripts/install-deps.sh

# The benchmarks build in their own folder (make bench), so make run and make test skip them.
build: deps
	cmake -S . -B $(BUILD) $(GEN) $(BUILD_OPTS) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSAVOR_BENCH=OFF
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)/bin

# The sanitizer builds and the short fuzz runs come first, so that the last lines printed
# are CTest's summary of the main build.
test: deps test-format test-asan test-fuzz test-tsan test-windows test-main

# Every C++ source as .clang-format lays it out (scripts/check-format.sh --fix formats them).
test-format: deps
	bash scripts/check-format.sh

# Tests labelled "system" change the machine (they install the package system-wide): they
# run only with `make test-install`.
test-main: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600 -LE system

test-install: build
	cd $(BUILD) && TESSAVOR_SYSTEM_TESTS=1 ctest --output-on-failure --timeout 600 -L system

# Each test runs once; scripts/ctest-sanitized.sh runs again only a test whose sole failure
# is the leak checker's own tracer dying at exit.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) $(GEN) $(BUILD_OPTS) -DCMAKE_BUILD_TYPE=Debug -DTESSAVOR_SANITIZE=ON -DTESSAVOR_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  bash scripts/ctest-sanitized.sh $(ASAN_BUILD) --output-on-failure -j $(JOBS) --timeout 900

test-fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(GEN) $(BUILD_OPTS) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTESSAVOR_FUZZ=ON -DTESSAVOR_FUZZ_SECONDS=5
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	cd $(FUZZ_BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# ThreadSanitizer: the core and the thread tests only (tests/tsan), so it stays quick.
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) $(GEN) $(BUILD_OPTS) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSAVOR_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target test_tsan
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --output-on-failure -j $(JOBS) --timeout 300

# Windows: tessavor-cli.exe, iffc.exe and bsp.dll cross-built with mingw-w64 into
# $(WIN_BUILD)/bin, with the core's tests for Windows. `make windows-zip` packs the programs,
# the demo, the Blender add-on and README-Windows.txt into $(WIN_BUILD)/Tessavor-*-windows.zip.
# `make test-windows` runs those tests under wine (a wine prefix of its own in $(WIN_BUILD))
# and compares the Windows programs' outputs with the main build's, byte for byte.
windows: deps
	cmake -S . -B $(WIN_BUILD) $(GEN) $(BUILD_OPTS) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DTESSAVOR_LINUX_BIN_DIR=$(abspath $(BUILD))/bin
	cmake --build $(WIN_BUILD) -j $(JOBS)

windows-zip: windows
	cmake --build $(WIN_BUILD) --target windows-zip

test-windows: build windows
	cd $(WIN_BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

bench: deps
	cmake -S . -B build-bench $(GEN) -DCMAKE_BUILD_TYPE=Release -DTESSAVOR_TESTS=OFF
	cmake --build build-bench -j $(JOBS)
	@rm -rf build-bench/json && mkdir -p build-bench/json
	@for b in build-bench/bin/bench_*; do echo "== $$b"; \
	  "$$b" --benchmark_out=build-bench/json/$$(basename $$b).json --benchmark_out_format=json || exit 1; done
	@python3 scripts/merge-bench-json.py build-bench/bench.json build-bench/json/*.json
	@echo "All results: build-bench/bench.json"

# The format check and clang-tidy (.clang-tidy) on every product source of the main build.
lint: build
	bash scripts/lint.sh $(BUILD)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(GEN) $(BUILD_OPTS) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTESSAVOR_FUZZ=ON -DTESSAVOR_FUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	cd $(FUZZ_BUILD) && ctest --output-on-failure -j 1 --timeout 0

# `make install [PREFIX=/usr/local] [DESTDIR=...]`: the programs into PREFIX/bin, their
# resources into PREFIX/lib/tessavor, menu entry, icon, file types, manual pages and
# completion under PREFIX/share. `make package`: the Debian package of the same files,
# from the main build as it stands (nothing is built a second time).
PREFIX ?= /usr/local
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

blender-addon: build
	@ls $(BUILD)/io_scene_starvigil.zip

package: build
	cd $(BUILD) && cpack -G DEB
	@ls $(BUILD)/tessavor_*.deb

# The README's pictures: the editor's --screenshot on the demo model in a scratch home
# folder, under Xvfb; the main window, the Texturing tab and the model viewer go to docs/.
screenshots: build
	@bash scripts/screenshots.sh $(BUILD)/bin docs

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(TSAN_BUILD) $(WIN_BUILD) build-bench
