# The two commands of the README. Everything else is CMake's.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= 2
WERROR     ?= ON

# ccache, when there, makes a rebuild after a small change (or a second clone) quick.
LAUNCHER    = $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CMAKE_FLAGS = -G Ninja -DVEXAL_WERROR=$(WERROR) $(LAUNCHER)

.PHONY: all setup build build-asan test demo clean

all: build

setup:
	@bash scripts/setup

build: setup
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

build-asan: setup
	@cmake -S . -B $(ASAN_BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Debug -DVEXAL_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j$(JOBS)

# The whole suite, then the whole suite again under AddressSanitizer and UBSan.
test: build build-asan
	@QT_QPA_PLATFORM=offscreen ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)
	@QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --test-dir $(ASAN_BUILD) --output-on-failure -j$(JOBS)

demo: build
	@cmake --build $(BUILD) -j$(JOBS) --target vexalpro-demo-next
	@bash scripts/demo $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
