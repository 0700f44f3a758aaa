# The user-facing commands. Each one installs what it needs first.
#
#   make         the three deliverables, the setup program and Quillet.msi in
#                build/bin/ (32-bit, what users install)
#   make test    builds and runs the whole test suite under Wine
#   make demo    opens a link through Quillet under Wine and shows the result
#   make bench   builds and runs the benchmarks (launch time, hook cost)
#   make kill-run ends -INSTALL and -UNINSTALL after every one of their
#                registry changes (make test tries every tenth); ~6 minutes
#
# test, demo and bench run the 32-bit suite in build/ where this host runs
# 32-bit programs, and the 64-bit one in build64/ where it cannot (some x86-64
# kernels have no 32-bit support). ARCH=x64 forces the 64-bit run, ARCH=x86
# the 32-bit one. BUILD=dir and BUILD64=dir select other build trees.

BUILD ?= build
BUILD64 ?= build64
ARCH ?=
JOBS ?= $(shell nproc)
# A regular expression of ctest entries that make test leaves out.
CTEST_EXCLUDE ?=
ctest_exclude = $(if $(CTEST_EXCLUDE),-E '$(CTEST_EXCLUDE)')

.PHONY: all packages build build-x86 build-x64 test demo bench kill-run clean \
        test-x86 test-x64 demo-x86 demo-x64 bench-x86 bench-x64 kill-run-x86 kill-run-x64

all: build

packages:
	@tools/ensure-packages

# tree_rules(ARCH, TREE, TOOLCHAIN)
define tree_rules
$(2)/CMakeCache.txt: | packages
	cmake -S . -B $(2) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/$(3) -DCMAKE_BUILD_TYPE=Release

build-$(1): packages $(2)/CMakeCache.txt
	cmake --build $(2) -j $(JOBS)

demo-$(1): build-$(1)
	tools/wine-session $(2) -- tools/demo $(2)

kill-run-$(1): build-$(1)
	tools/wine-session $(2) -- env QUILLET_KILL_STRIDE=1 bash tests/associations/RoundTrip.sh --kill-every-change $(2)

bench-$(1): build-$(1)
	cmake --build $(2) -j $(JOBS) --target launch_benchmark spirel_throughput association_benchmark
	tools/wine-session $(2) -- sh -c 'tools/wine-exec $(2)/benchmarks/launch_benchmark.exe && \
	    tools/wine-exec $(2)/benchmarks/spirel_throughput.exe && \
	    tools/wine-exec $(2)/benchmarks/association_benchmark.exe'
endef
$(eval $(call tree_rules,x86,$(BUILD),toolchain-i686-w64-mingw32.cmake))
$(eval $(call tree_rules,x64,$(BUILD64),toolchain-x86_64-w64-mingw32.cmake))

build: build-x86

test-x86: build-x86
	tools/wine-session $(BUILD) -- ctest --test-dir $(BUILD) --output-on-failure $(ctest_exclude)

# The 32-bit files users install are built and read here too, without
# running them, so that this host still checks what ships.
test-x64: build-x64 $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target Quillet Spirel Pellow QuilletSetup
	tools/check-deliverables $(BUILD)/bin x86
	tools/wine-session $(BUILD64) -- ctest --test-dir $(BUILD64) --output-on-failure $(ctest_exclude)

# The choice is made, and said, before anything else happens.
test demo bench kill-run:
	@choice=$$(tools/choose-suite $(ARCH)) && echo "make $@: $${choice#* }" && \
	    $(MAKE) --no-print-directory $@-$${choice%% *}

clean:
	rm -rf $(BUILD) $(BUILD64)
