# The user-facing commands. Each one installs what it needs first.
#
#   make         the three deliverables in build/bin/
#   make test    builds and runs the whole test suite under Wine
#   make demo    opens a link through Quillet under Wine and shows the result
#   make bench   builds and runs the benchmarks (launch time, hook cost)
#
# BUILD=dir selects another build tree (default build).

BUILD ?= build
TOOLCHAIN := $(CURDIR)/cmake/toolchain-i686-w64-mingw32.cmake
JOBS ?= $(shell nproc)

.PHONY: all packages configure build test demo bench clean

all: build

packages:
	@tools/ensure-packages

$(BUILD)/CMakeCache.txt: | packages
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=$(TOOLCHAIN) -DCMAKE_BUILD_TYPE=Release

configure: $(BUILD)/CMakeCache.txt

build: packages configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	tools/wine-session $(BUILD) -- ctest --test-dir $(BUILD) --output-on-failure

demo: build
	tools/wine-session $(BUILD) -- tools/demo $(BUILD)

bench: build
	cmake --build $(BUILD) -j $(JOBS) --target launch_benchmark spirel_throughput
	tools/wine-session $(BUILD) -- sh -c 'tools/wine-exec $(BUILD)/benchmarks/launch_benchmark.exe && \
	    tools/wine-exec $(BUILD)/benchmarks/spirel_throughput.exe'

clean:
	rm -rf $(BUILD)
