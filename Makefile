# The front door. `make run` and `make test` install what is missing, then build.
JOBS ?= $(shell nproc)
BUILD := build
SAMPLE := $(BUILD)/sample.qef
FUZZ_SECONDS ?= 300

.PHONY: all setup native win64 win32 build test test-native test-win64 run bench bench-gui screenshot clean
.PHONY: test-asan fuzz test-fuzz lint package test-package

all: build

setup:
	@scripts/setup

native: setup
	cmake --preset native
	cmake --build --preset native -j $(JOBS)

win64: setup
	cmake --preset win64
	cmake --build --preset win64 -j $(JOBS)

win32: setup
	cmake --preset win32
	cmake --build --preset win32 -j $(JOBS)

build: native win64 win32

test-native: native
	ctest --preset native -j $(JOBS)

test-win64: win64
	scripts/with-wine $(BUILD)/win64 ctest --preset win64

# Everything CI runs: the suites natively and under Wine, again under the sanitizers, a short
# fuzzing run of every target, the static checks and the packages.
test: build
	$(MAKE) --no-print-directory test-native test-win64 test-asan test-fuzz lint test-package

# A sample made by the generator, its first lines as qefdump shows them, then the viewer.
run: build
	$(BUILD)/native/tests/support/qefgen --shape mixed --seed 7 --size 200000 -o $(SAMPLE)
	$(BUILD)/native/cli/qefdump $(SAMPLE) | head -n 24
	scripts/run-viewer $(BUILD)/win64 $(SAMPLE)

# The README's picture: the viewer showing the sample, taken inside Xvfb whatever DISPLAY is.
screenshot: build
	$(BUILD)/native/tests/support/qefgen --shape mixed --seed 7 --size 200000 -o $(SAMPLE)
	env -u DISPLAY scripts/run-viewer $(BUILD)/win64 $(SAMPLE)
	mkdir -p docs
	cp $(BUILD)/qefview.png docs/qefview.png

bench: native
	$(BUILD)/native/bench/qef_bench
	scripts/bench-vs-peers $(BUILD)/native/cli/qefdump $(BUILD)/native/tests/support/qefgen

# File > Open in the viewer under Wine for 1 MB, 8 MB and 32,000,000-byte files: reading,
# formatting and SetWindowTextA timed apart. The largest takes minutes.
bench-gui: win64
	scripts/with-wine $(BUILD)/win64 scripts/wine-run $(BUILD)/win64/tests/win/document_open_bench.exe

# Sanitizers, fuzzing and static checks.
test-asan: setup
	cmake --preset native-asan
	cmake --build --preset native-asan -j $(JOBS)
	ctest --preset native-asan -j $(JOBS)

fuzz: setup
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	scripts/run-fuzz $(FUZZ_SECONDS)

test-fuzz:
	$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=30

lint: setup
	scripts/lint

# The Windows zips and the Debian package, into build/packages; built apart from the presets.
package: setup
	JOBS=$(JOBS) scripts/package $(BUILD)/packages

# Their contents, the unpacked programs under Linux and Wine, lintian, and a second build in
# another folder compared byte for byte.
test-package: package
	JOBS=$(JOBS) scripts/check-package $(BUILD)/packages

clean:
	rm -rf $(BUILD)
