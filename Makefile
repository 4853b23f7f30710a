# Thin wrapper over CMake and CTest.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
ifeq ($(KNOTWORK_WERROR),ON)
CMAKE_FLAGS += -DKNOTWORK_WERROR=ON
endif

.PHONY: all build test test-asan fuzz soak demo bench bench-peers docs package install format clean

all: build

build:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)

test: build
	cd build && ctest --output-on-failure -j $(JOBS)

test-asan:
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKNOTWORK_SANITIZE=ON -DKNOTWORK_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# libFuzzer targets (clang) in build-fuzz, FUZZ_SECONDS each (default 60); inputs
# that fail land in fuzz/crashes/<target>/. The normal test suite replays the corpus
# and those inputs.
FUZZ_SECONDS ?= 60
fuzz:
	FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) CMAKE_FLAGS="$(CMAKE_FLAGS)" sh fuzz/run.sh

# Queries against brute force at full count (10^6 nearest points, 10^5 curve-plane,
# 10^4 curve-curve); the test suite runs the same program at a small count.
soak: build
	KNOTWORK_SOAK_SCALE=full ./build/tests/test_soak

demo: build
	./build/knotwork demo

docs:
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build build --target docs

# A Debian package (build/knotwork_<version>_<arch>.deb) of the library, header,
# program, CMake package and pkg-config file.
package: build
	cd build && cpack -G DEB

# PREFIX=/usr/local by default.
install: build
	cmake --install build $(if $(PREFIX),--prefix $(PREFIX))

bench: build
	@for b in build/bench/*_bench; do echo "== $$b"; $$b; done

# Side by side with OCCT and SISL (their Debian packages, see the README); writes
# build-peers/peers_table.md.
bench-peers:
	cmake -S . -B build-peers -DCMAKE_BUILD_TYPE=Release -DKNOTWORK_TESTS=OFF -DKNOTWORK_BENCH=OFF -DKNOTWORK_BENCH_PEERS=ON $(CMAKE_FLAGS)
	cmake --build build-peers -j $(JOBS) --target peers_bench
	cd build-peers && ./bench/peers/peers_bench peers_table.md

format:
	clang-format -i $$(git ls-files '*.cpp' '*.hpp' '*.h' '*.c')

clean:
	rm -rf build build-asan build-peers build-fuzz
