# Two entry points: `make run` builds and opens the program on the bundled data;
# `make test` builds and runs every test, then the same suite under AddressSanitizer
# and UndefinedBehaviorSanitizer. Both install what is missing first. `make fuzz` runs the
# libFuzzer harnesses for FUZZ_SECONDS each.

JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# Seconds each fuzz harness runs (make fuzz FUZZ_SECONDS=600); FUZZ_TARGETS picks harnesses.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?=

.PHONY: all deps configure build run test test-plain test-sanitize bench fuzz fuzz-build format clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: configure
	cmake --build build -j$(JOBS)

run: build
	./build/frondarel

test: test-plain test-sanitize

test-plain: build
	bash scripts/with-display.sh ctest --test-dir build --output-on-failure -j$(JOBS)

test-sanitize: deps
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DFRONDAREL_SANITIZE=ON -DFRONDAREL_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-sanitize -j$(JOBS)
	# Leak checking for the GL-free tests; the GL tests load the driver, whose unloaded
	# modules show up as unattributable leaks, so they run with leak checking off.
	ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	ctest --test-dir build-sanitize --output-on-failure -j$(JOBS) -LE gl
	ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	bash scripts/with-display.sh ctest --test-dir build-sanitize --output-on-failure -j$(JOBS) -L gl

bench: build
	@for b in build/bench/bench_*; do echo "== $$b"; bash scripts/with-display.sh $$b; done

# libFuzzer harnesses (fuzz/), built with clang apart from the gcc build.
fuzz-build: deps
	cmake -S fuzz -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=
	cmake --build build-fuzz -j$(JOBS)

fuzz: fuzz-build
	bash fuzz/run.sh build-fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

format:
	find src tests tools bench fuzz -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build build-sanitize build-fuzz
