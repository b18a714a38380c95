# The two commands: `make run` and `make test`. Each installs the missing Debian packages
# itself, configures and builds. `make bench` runs the benchmarks (all results in
# build-bench/bench.json), `make fuzz` each fuzz target for a minute.

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
TSAN_BUILD ?= build-tsan
GEN        := -G Ninja
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: all deps build run test test-main test-asan test-fuzz test-tsan bench fuzz clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)/bin

# The sanitizer builds and the short fuzz runs come first, so that the last lines printed
# are CTest's summary of the main build.
test: deps test-asan test-fuzz test-tsan test-main

test-main: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

# The leak checker's own tracer thread now and then dies at process exit ("Tracer caught
# signal 11") after every test has passed; a test that fails is therefore run a second
# time here, and a real fault fails both runs.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) $(GEN) -DCMAKE_BUILD_TYPE=Debug -DTESSAVOR_SANITIZE=ON -DTESSAVOR_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 900 --repeat until-pass:2

test-fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTESSAVOR_FUZZ=ON -DTESSAVOR_FUZZ_SECONDS=5
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	cd $(FUZZ_BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# ThreadSanitizer: the core and the thread tests only (tests/tsan), so it stays quick.
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSAVOR_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target test_tsan
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --output-on-failure -j $(JOBS) --timeout 300

bench: deps
	cmake -S . -B build-bench $(GEN) -DCMAKE_BUILD_TYPE=Release -DTESSAVOR_TESTS=OFF
	cmake --build build-bench -j $(JOBS)
	@rm -rf build-bench/json && mkdir -p build-bench/json
	@for b in build-bench/bin/bench_*; do echo "== $$b"; \
	  "$$b" --benchmark_out=build-bench/json/$$(basename $$b).json --benchmark_out_format=json || exit 1; done
	@python3 scripts/merge-bench-json.py build-bench/bench.json build-bench/json/*.json
	@echo "All results: build-bench/bench.json"

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTESSAVOR_FUZZ=ON -DTESSAVOR_FUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	cd $(FUZZ_BUILD) && ctest --output-on-failure -j 1 --timeout 0

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(TSAN_BUILD) build-bench
