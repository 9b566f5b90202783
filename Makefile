# Front door: `make demo` shows the plug-in at work, `make check` runs every test.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 30
# Our own builds hold warnings as errors; a plain cmake build (a packager's) does not.
CMAKE_FLAGS ?= -DCHARTLOOM_WERROR=ON
PREFIX ?= /usr/local

PACKAGES := cmake ninja-build g++ clang libclang-rt-14-dev pkg-config \
    libcurl4-openssl-dev libutf8proc-dev libgtest-dev libgmock-dev libbenchmark-dev \
    libpugixml-dev libtag1-dev nlohmann-json3-dev libcli11-dev libsqlite3-dev libtomlplusplus-dev \
    libmicrohttpd-dev libexpat1-dev dpkg-dev file libmpdclient-dev mpd flac

.PHONY: all setup build check check-normal check-asan check-tsan check-package fuzz bench demo \
    install package format clean

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
check: fuzz check-package check-normal check-asan check-tsan

FUZZ_TARGETS := xml feeds m3u8 feed_target library_json

# Each target for FUZZ_SECONDS, growing its corpus in build-fuzz/corpus/<target>.
fuzz: | setup
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCHARTLOOM_FUZZ=ON -DCHARTLOOM_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	@set -e; for t in $(FUZZ_TARGETS); do \
	    mkdir -p build-fuzz/corpus/$$t; \
	    echo "== fuzz_$$t for $(FUZZ_SECONDS) s"; \
	    build-fuzz/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -max_len=65536 \
	        -timeout=10 -rss_limit_mb=4096 build-fuzz/corpus/$$t fuzz/corpus/$$t; \
	done

bench: build
	@for b in build/bench/bench_*; do echo "== $$b"; $$b; done

install: build
	cmake --install build --prefix $(PREFIX)

# A Debian package of the normal build: build/chartloom_<version>_<arch>.deb.
package: build
	cd build && cpack -G DEB

# The package unpacked into a temporary root runs from there, finding its own pieces; its user
# unit starts the program where the package puts it.
check-package: package
	@root=$$(mktemp -d) && trap 'rm -rf "$$root"' EXIT && \
	dpkg-deb -x build/chartloom_*.deb "$$root" && \
	env -u CHARTLOOM_PLUGIN "$$root"/usr/bin/chartloom --version && \
	env -u CHARTLOOM_PLUGIN "$$root"/usr/bin/chartloom demo > "$$root/demo.txt" 2>&1 && \
	grep -q "plug-in $$root/usr/lib/chartloom/foo_chartloom.so" "$$root/demo.txt" && \
	grep -qx "ExecStart=/usr/bin/chartloom follow" \
	    "$$root"/usr/share/systemd/user/chartloom-follow.service && \
	echo "package runs from $$root"

demo:
	@[ -f build/build.ninja ] || echo "The first run builds everything: a few minutes (about 7 on two cores)."
	@$(MAKE) --no-print-directory build
	build/cli/chartloom demo

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-asan build-tsan build-fuzz
