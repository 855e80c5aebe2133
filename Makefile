# SPDX-License-Identifier: GPL-3.0-or-later
# The two commands of the README. Everything else is CMake's.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= 2
WERROR     ?= ON

# Only the demo shows a window on a virtual display and takes a screenshot of it.
DEMO_PACKAGES = xvfb xauth x11-apps imagemagick

# ccache, when there, makes a rebuild after a small change (or a second clone) quick.
LAUNCHER    = $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CMAKE_FLAGS = -G Ninja -DVEXAL_WERROR=$(WERROR) $(LAUNCHER)

.PHONY: all setup build build-asan test check demo bench fuzz release install package package-check clean

all: build

setup:
	@bash scripts/setup

build: setup
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

build-asan: setup
	@cmake -S . -B $(ASAN_BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DVEXAL_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j$(JOBS)

# The whole suite, once, under AddressSanitizer and UBSan with warnings as errors. (A second run in
# a plain build would double the build on two cores for little: `make check` is that run.)
test: build-asan
	@QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --test-dir $(ASAN_BUILD) --output-on-failure -j$(JOBS)

# The suite in the plain build, quicker to rebuild while working on the code.
check: build
	@QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

demo: build
	@bash scripts/setup $(DEMO_PACKAGES)
	@cmake --build $(BUILD) -j$(JOBS) --target vexalpro-demo-next
	@bash scripts/demo $(BUILD)

# An optimised build for installing and packaging, with Debian's hardening flags (stack protector,
# fortified functions, full RELRO) as a distribution builds it. It trusts the program's own updates
# signed with the key in VEXAL_RELEASE_KEY (a public-key file); without one it does not update itself.
RELEASE_BUILD ?= build-release
VEXAL_RELEASE_KEY ?=
PREFIX        ?= /usr/local
BUILDFLAGS     = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
release: setup
	@cmake -S . -B $(RELEASE_BUILD) $(CMAKE_FLAGS) -DVEXAL_WERROR=OFF -DCMAKE_BUILD_TYPE=Release \
		-DCMAKE_CXX_FLAGS_RELEASE="$$($(BUILDFLAGS) CXXFLAGS) $$($(BUILDFLAGS) CPPFLAGS) -DNDEBUG" \
		-DCMAKE_EXE_LINKER_FLAGS="$$($(BUILDFLAGS) LDFLAGS)" -DVEXAL_BUILD_TESTS=OFF \
		-DVEXAL_RELEASE_KEY="$(if $(VEXAL_RELEASE_KEY),$(abspath $(VEXAL_RELEASE_KEY)))" >/dev/null
	@cmake --build $(RELEASE_BUILD) -j$(JOBS)

# Honours DESTDIR, as install targets do.
install: release
	@cmake --install $(RELEASE_BUILD) --prefix $(PREFIX) --strip

# The Debian package, with its dependencies read off the executables.
package: release
	@cd $(RELEASE_BUILD) && cpack -G DEB
	@dpkg-deb --field $(RELEASE_BUILD)/vexalpro_*.deb Package Version Depends Recommends

# Installs the package on a fresh Debian 12 (a debootstrap folder) and starts the program there.
package-check: package
	@bash scripts/package-check $(RELEASE_BUILD)

# Each benchmark beside its baseline in one run; prints the ratios (Release build in build-bench/).
bench: setup
	@bash scripts/bench

# libFuzzer on every reader, FUZZ_SECONDS each (clang build in build-fuzz/).
FUZZ_SECONDS ?= 60
fuzz: setup
	@FUZZ_SECONDS=$(FUZZ_SECONDS) bash scripts/fuzz

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(RELEASE_BUILD) build-bench build-fuzz
