# A thin layer over CMake. `make` builds Release into build/; `make run` builds only
# the program and starts it in examples/; `make test` runs every test, the
# exact-reference checks on a few random cases; `make test-long` runs those checks
# on many; `make check` runs both, the end-to-end tests under valgrind's memcheck
# and the whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer
# in build-sanitize/.
# `make install PREFIX=DIR` installs the program, its plot command, manual pages
# and examples; `make package` builds a Debian package in build/.
# `make cross-test ARCH=aarch64` (or ARCH=s390x) builds the program, quadprobe and
# the tests with Debian's cross compiler in build-ARCH/ and runs the tests there
# under qemu-user, the exact-reference checks on a few random cases.

BUILD_DIR    ?= build
SANITIZE_DIR ?= build-sanitize
TSAN_DIR     ?= build-tsan
FUZZ_DIR     ?= build-fuzz
FUZZ_SECONDS ?= 10
JOBS         ?= $(shell nproc 2>/dev/null || echo 2)
# Warnings are errors in CI builds (CI is set there) and whenever WERROR=ON.
WERROR       ?= $(if $(CI),ON,OFF)
CMAKE_FLAGS  := -DEMODUL_WERROR=$(WERROR)
PREFIX       ?= /usr/local

# Configures build/; the two arguments say whether GoogleTest (with Python 3) and
# Google Benchmark must be there, or are used only when found.
configure = cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) \
            -DEMODUL_REQUIRE_TESTS=$(1) -DEMODUL_REQUIRE_BENCHMARKS=$(2)

# Cross builds: the target's toolchain file and libraries.
ARCH         ?=
CROSS_ARCHS  := aarch64 s390x
CROSS_DIR    := build-$(ARCH)

.PHONY: all build test test-build test-long check memcheck sanitize tsan run install package bench fuzz \
        cross-test clean

all: build

build:
	$(call configure,OFF,OFF)
	cmake --build $(BUILD_DIR) -j $(JOBS)

test-build:
	$(call configure,ON,OFF)
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: test-build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) -LE 'memcheck|long'

# The checks with their long counts: the exact references' large random counts and
# 10^8 operand pairs of the arithmetic against the compiler's binary128.
test-long: test-build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) -L long

check: test test-long memcheck sanitize

memcheck: test-build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) -L memcheck

sanitize:
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug -DEMODUL_SANITIZE=ON \
	      -DEMODUL_BENCHMARKS=OFF -DEMODUL_REQUIRE_TESTS=ON $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_DIR) -j $(JOBS)
	ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j $(JOBS) -LE long

# The runs whose helper threads share the series (loading, sums, plot rows) under
# ThreadSanitizer, in build-tsan/: any report of a race fails them. The other
# end-to-end tests meet the sanitizer's own handling of signals and memory.
tsan:
	cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEMODUL_THREAD_SANITIZER=ON \
	      -DEMODUL_BENCHMARKS=OFF -DEMODUL_REQUIRE_TESTS=ON $(CMAKE_FLAGS)
	cmake --build $(TSAN_DIR) -j $(JOBS) --target end_to_end_tests
	TSAN_OPTIONS=halt_on_error=1 $(TSAN_DIR)/end_to_end_tests --gtest_brief=1 \
	  --gtest_filter='*WholeRun*:Loader/*:Loading/*:PlotFile.*:Shapes/*'

# Only the program: the dialogue starts without waiting for tests and benchmarks.
run:
	$(call configure,OFF,OFF)
	cmake --build $(BUILD_DIR) --target emodul -j $(JOBS)
	cd examples && ../$(BUILD_DIR)/emodul

# DESTDIR, when given, is put in front of every installed path.
install:
	$(call configure,OFF,OFF)
	cmake --build $(BUILD_DIR) --target installable -j $(JOBS)
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

package:
	$(call configure,OFF,OFF)
	cmake --build $(BUILD_DIR) --target installable -j $(JOBS)
	cd $(BUILD_DIR) && cpack -G DEB

# Speed and memory, each reported as a ratio against a reference run alongside.
bench:
	$(call configure,OFF,ON)
	cmake --build $(BUILD_DIR) --target benchmarks -j $(JOBS)
	for b in $(BUILD_DIR)/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done

# The libFuzzer targets under fuzz/ (clang, ASan, UBSan), built in build-fuzz/ and
# run FUZZ_SECONDS each: `make fuzz FUZZ_SECONDS=600`.
fuzz:
	cmake -S . -B $(FUZZ_DIR) -DEMODUL_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
	      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEMODUL_BENCHMARKS=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS)
	fuzz/run.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

# The kernel hands the target's programs to qemu-user (binfmt_misc), the tests'
# children included; tools/cross/emulation.sh checks that, and sets it up as root.
cross-test:
	@case " $(CROSS_ARCHS) " in *" $(ARCH) "*) ;; \
	  *) echo "usage: make cross-test ARCH=aarch64 or ARCH=s390x" >&2; exit 2;; esac
	tools/cross/emulation.sh $(ARCH)
	cmake -S . -B $(CROSS_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/$(ARCH)-linux-gnu.cmake \
	      -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) -DEMODUL_REQUIRE_TESTS=ON \
	      -DEMODUL_BENCHMARKS=OFF -DEMODUL_GTEST_SOURCE=/usr/src/googletest
	cmake --build $(CROSS_DIR) -j $(JOBS)
	QEMU_LD_PREFIX=/usr/$(ARCH)-linux-gnu \
	  ctest --test-dir $(CROSS_DIR) --output-on-failure -j $(JOBS) -LE 'memcheck|long'

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(TSAN_DIR) $(FUZZ_DIR) $(addprefix build-,$(CROSS_ARCHS))
