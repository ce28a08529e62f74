# The two commands a fresh machine needs (both install what is missing first):
#   make demo   run the system's main job on its built-in scenario
#   make test   build everything and run every test
# Also: make build, make bench, make stress, make fuzz-long, make format.

FUZZ_SECONDS ?= 20
FUZZ_RUNS ?= 10000000
JOBS ?= $(shell nproc)

.PHONY: all deps build native native-tsan windows fuzz-build test test-native test-tsan \
        test-wine test-fuzz demo bench stress fuzz-long format clean

all: build

deps:
	@scripts/install-deps

build: native windows

native: deps
	cmake --preset native-asan >/dev/null
	cmake --build build/native-asan -j $(JOBS)

native-tsan: deps
	cmake --preset native-tsan >/dev/null
	cmake --build build/native-tsan -j $(JOBS)

windows: deps
	cmake --preset mingw-i686 >/dev/null
	cmake --build build/mingw-i686 -j $(JOBS)
	cmake --preset mingw-x86_64 >/dev/null
	cmake --build build/mingw-x86_64 -j $(JOBS)

fuzz-build: deps
	cmake --preset fuzz >/dev/null
	cmake --build build/fuzz -j $(JOBS)

test: deps
	scripts/run-tests

test-native: native
	cd build/native-asan && ctest --output-on-failure -j $(JOBS)

test-tsan: native-tsan
	cd build/native-tsan && ctest --output-on-failure -L concurrency

test-wine: windows
	scripts/wine-tests i686 || [ $$? = 77 ]
	scripts/wine-tests x86_64

test-fuzz: fuzz-build
	scripts/fuzz-smoke $(FUZZ_SECONDS)

demo: deps
	scripts/demo

bench: deps
	scripts/bench

stress: deps
	scripts/stress

fuzz-long: fuzz-build
	scripts/fuzz-long $(FUZZ_RUNS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
