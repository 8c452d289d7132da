# A thin layer over CMake. `make` builds Release into build/; `make test` runs every
# test, the exact-reference checks on a few random cases; `make test-long` runs those
# checks on many; `make check` runs both, the end-to-end tests under valgrind's
# memcheck and the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer in build-sanitize/.

BUILD_DIR    ?= build
SANITIZE_DIR ?= build-sanitize
FUZZ_DIR     ?= build-fuzz
FUZZ_SECONDS ?= 10
JOBS         ?= $(shell nproc 2>/dev/null || echo 2)
# Warnings are errors in CI builds (CI is set there) and whenever WERROR=ON.
WERROR       ?= $(if $(CI),ON,OFF)
CMAKE_FLAGS  := -DEMODUL_WERROR=$(WERROR)

.PHONY: all build test test-long check memcheck sanitize run bench fuzz clean

all: build

build:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) -LE 'memcheck|long'

test-long: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) -L long

check: test test-long memcheck sanitize

memcheck: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -L memcheck

sanitize:
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug -DEMODUL_SANITIZE=ON \
	      -DEMODUL_BENCHMARKS=OFF $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j $(JOBS)

run: build
	cd examples && ../$(BUILD_DIR)/emodul

# Speed and memory, each reported as a ratio against a reference run alongside.
bench: build
	cmake --build $(BUILD_DIR) --target benchmarks -j $(JOBS)
	for b in $(BUILD_DIR)/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done

# The libFuzzer targets under fuzz/ (clang, ASan, UBSan), built in build-fuzz/ and
# run FUZZ_SECONDS each: `make fuzz FUZZ_SECONDS=600`.
fuzz:
	cmake -S . -B $(FUZZ_DIR) -DEMODUL_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
	      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEMODUL_BENCHMARKS=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS)
	fuzz/run.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR)
