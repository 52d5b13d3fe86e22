# Ironlatch: build, test and demo on a Debian machine. See README.md.
SHELL := /bin/bash
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps build build-x64 build-x86 test run bench clean

all: build

deps:
	@scripts/install-deps.sh

build: deps build-x64 build-x86

build-x64:
	@cmake --no-warn-unused-cli -S . -B $(BUILD)/x64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-toolchain.cmake -DILATCH_ARCH=x86_64 \
	  -DILATCH_SIGNING_DIR=$(abspath $(BUILD))/signing -DCMAKE_BUILD_TYPE=Release -DILATCH_BIN_DIR=$(abspath $(BUILD))/bin >/dev/null
	@cmake --build $(BUILD)/x64 -j $(JOBS)

build-x86:
	@cmake --no-warn-unused-cli -S . -B $(BUILD)/x86 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-toolchain.cmake -DILATCH_ARCH=i686 \
	  -DILATCH_SIGNING_DIR=$(abspath $(BUILD))/signing -DCMAKE_BUILD_TYPE=Release -DILATCH_BIN_DIR=$(abspath $(BUILD))/x86/bin >/dev/null
	@cmake --build $(BUILD)/x86 -j $(JOBS)

test: build
	@scripts/run-tests.sh $(BUILD)

run: build
	@scripts/run-demo.sh $(BUILD)

bench: build
	@scripts/run-bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)
