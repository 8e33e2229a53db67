# Thin front end over CMake. `make demo` and `make test` do all the set-up on
# a fresh machine.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
BUILD := build
OUT := out

.PHONY: all deps build test demo bench fuzz-long screenshots clean

all: build

deps:
	bash tools/deps.sh

$(BUILD)/win/CMakeCache.txt:
	cmake -S . -B $(BUILD)/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=MinSizeRel
$(BUILD)/asan/CMakeCache.txt:
	cmake -S . -B $(BUILD)/asan -DCMAKE_BUILD_TYPE=Debug -DQUAB_SANITIZE=ON
$(BUILD)/native/CMakeCache.txt:
	cmake -S . -B $(BUILD)/native -DCMAKE_BUILD_TYPE=Release -DQUAB_UNIT_TESTS=OFF
$(BUILD)/fuzz/CMakeCache.txt:
	cmake -S . -B $(BUILD)/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUAB_FUZZ=ON \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++

build: $(BUILD)/win/CMakeCache.txt $(BUILD)/asan/CMakeCache.txt $(BUILD)/native/CMakeCache.txt $(BUILD)/fuzz/CMakeCache.txt
	cmake --build $(BUILD)/native -j $(JOBS)
	cmake --build $(BUILD)/win -j $(JOBS)
	cmake --build $(BUILD)/asan -j $(JOBS)
	cmake --build $(BUILD)/fuzz -j $(JOBS)
	mkdir -p $(OUT)
	cp $(BUILD)/win/Installer/win/Stub/MorvStub.exe $(OUT)/MorvStub.exe
	if [ -x $(BUILD)/native/Tools/morvstub-pack/morvstub-pack ]; then \
	    cp $(BUILD)/native/Tools/morvstub-pack/morvstub-pack $(OUT)/; fi

test: deps build
	bash tests/run-all.sh

demo: deps build
	bash tests/e2e/demo.sh

# Pictures of the splash window and a message box for the README, taken
# under Xvfb; see tests/e2e/screenshots.py.
screenshots: deps build
	/usr/bin/python3 tests/e2e/screenshots.py docs/screenshots

bench: deps build
	bash tests/bench/run-benchmarks.sh

clean:
	rm -rf $(BUILD) $(OUT)
