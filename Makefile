# Front door: `make demo` shows the plug-in at work, `make check` runs every test.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
CMAKE_FLAGS ?=

PACKAGES := cmake ninja-build g++ clang libclang-rt-14-dev pkg-config \
    libcurl4-openssl-dev libutf8proc-dev libgtest-dev libgmock-dev libbenchmark-dev \
    libpugixml-dev libtag1-dev nlohmann-json3-dev libcli11-dev libcpp-httplib-dev libsqlite3-dev

.PHONY: all setup build check check-normal check-asan check-tsan fuzz bench demo format clean

all: build

# Installs only what is missing, so a machine that has everything is left alone.
setup:
	@missing=$$(for p in $(PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "installing:" $$missing; \
	    SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	    $$SUDO apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi

build/build.ninja: | setup
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: build/build.ninja
	cmake --build build -j $(JOBS)

check-normal: build
	cd build && ctest --output-on-failure -j $(JOBS)

check-asan: | setup
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCHARTLOOM_SANITIZE=address \
	    -DCHARTLOOM_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

# Threads meet in the host's task runner and in the tasks: those suites run under TSan.
check-tsan: | setup
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCHARTLOOM_SANITIZE=thread \
	    -DCHARTLOOM_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && ctest --output-on-failure -j $(JOBS) -L threads

# The fuzz minute first, so the run ends on the test summaries.
check: fuzz check-normal check-asan check-tsan

fuzz: | setup
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCHARTLOOM_FUZZ=ON -DCHARTLOOM_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS) --target fuzz_xml fuzz_library_json
	mkdir -p build-fuzz/corpus build-fuzz/corpus-library-json
	build-fuzz/fuzz/fuzz_xml -max_total_time=$(FUZZ_SECONDS) -max_len=65536 \
	    -timeout=10 -rss_limit_mb=4096 build-fuzz/corpus fuzz/corpus/xml
	build-fuzz/fuzz/fuzz_library_json -max_total_time=$(FUZZ_SECONDS) -max_len=65536 \
	    -timeout=10 -rss_limit_mb=4096 build-fuzz/corpus-library-json fuzz/corpus/library_json

bench: build
	@for b in build/bench/bench_*; do echo "== $$b"; $$b; done

demo: build
	build/cli/chartloom demo

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-asan build-tsan build-fuzz
