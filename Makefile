# The front door. `make run` and `make test` install what is missing, then build.
JOBS ?= $(shell nproc)
BUILD := build
SAMPLE := $(BUILD)/sample.qef
FUZZ_SECONDS ?= 300

.PHONY: all setup native win64 win32 build test test-native test-win64 test-win32 run bench bench-gui
.PHONY: screenshot clean
.PHONY: test-asan fuzz test-fuzz lint package test-package
.PHONY: web run-web test-web test-web-sequences bench-web test-engine

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

# The 32-bit suite in its own WoW64 prefix. A machine whose kernel cannot run 32-bit code says
# that the suite was not run (the build itself has checked the viewer's PE header).
test-win32: win32
	@if why=$$(scripts/runs-32bit); then \
	    echo "scripts/with-wine $(BUILD)/win32 ctest --preset win32"; \
	    scripts/with-wine $(BUILD)/win32 ctest --preset win32; \
	else \
	    echo "test-win32: the 32-bit suite was NOT run: $$why"; \
	fi

# Everything CI runs: the suites natively and under 64- and 32-bit Wine, again under the
# sanitizers, a short fuzzing run, the static checks, the packages and the web page in Chromium.
test: build
	$(MAKE) --no-print-directory test-native test-win64 test-win32 test-asan test-fuzz lint \
	    test-package test-web test-engine

# A sample made by the generator, its first lines as qefdump shows them, then the viewer: the
# 32-bit program where this machine runs it, the 64-bit one otherwise.
run: build
	$(BUILD)/native/tools/qefgen --shape mixed --seed 7 --size 200000 -o $(SAMPLE)
	$(BUILD)/native/cli/qefdump $(SAMPLE) | head -n 24
	@if why=$$(scripts/runs-32bit); then viewer=win32; else \
	    echo "run: the 64-bit viewer, as $$why"; viewer=win64; fi; \
	echo "scripts/run-viewer $(BUILD)/$$viewer $(SAMPLE)"; \
	scripts/run-viewer $(BUILD)/$$viewer $(SAMPLE)

# The README's picture: the viewer showing the sample, taken inside Xvfb whatever DISPLAY is.
screenshot: build
	$(BUILD)/native/tools/qefgen --shape mixed --seed 7 --size 200000 -o $(SAMPLE)
	env -u DISPLAY scripts/run-viewer $(BUILD)/win64 $(SAMPLE)
	mkdir -p docs
	cp $(BUILD)/qefview.png docs/qefview.png

bench: native
	$(BUILD)/native/bench/qef_bench
	$(BUILD)/native/bench/qef_diff_bench
	$(BUILD)/native/bench/qef_search_bench
	$(BUILD)/native/bench/qef_salvage_bench
	scripts/bench-vs-peers $(BUILD)/native/cli/qefdump $(BUILD)/native/tools/qefgen
	scripts/bench-many-files $(BUILD)/native/cli/qefdump $(BUILD)/native/tools/qefgen

# File > Open in the 64- and the 32-bit viewer under Wine for 1 MB, 8 MB and 32,000,000-byte
# files, and for 32,000,000 bytes of empty records (the longest dump): reading, formatting and
# SetWindowTextA timed apart. The largest take minutes each.
BENCH_GUI_FILES := 1048576 8388608 32000000 empty-records:32000000
bench-gui: win64 win32
	scripts/with-wine $(BUILD)/win64 scripts/wine-run \
	    $(BUILD)/win64/bench/document_open_bench.exe $(BENCH_GUI_FILES)
	@if why=$$(scripts/runs-32bit); then \
	    scripts/with-wine $(BUILD)/win32 scripts/wine-run \
	        $(BUILD)/win32/bench/document_open_bench.exe $(BENCH_GUI_FILES); \
	else echo "bench-gui: the 32-bit viewer was NOT timed: $$why"; fi

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

# The web viewer: the core compiled to WebAssembly by Emscripten beside the page's own files,
# a folder of static files in build/web. Emscripten finds its JavaScript helpers in NODE_PATH.
WEB_ENV := NODE_PATH=/usr/share/nodejs
web: setup
	$(WEB_ENV) emcmake cmake -S web -B $(BUILD)/web-core -DQEF_WEB_OUTPUT=$(CURDIR)/$(BUILD)/web >/dev/null
	$(WEB_ENV) cmake --build $(BUILD)/web-core -j $(JOBS)

# Playwright (playwright-core, driving Debian's Chromium) as tests/web/package-lock.json pins it.
WEB_TESTS := tests/web
WEB_MODULES := $(WEB_TESTS)/node_modules/.package-lock.json
$(WEB_MODULES): $(WEB_TESTS)/package-lock.json
	cd $(WEB_TESTS) && npm ci --no-audit --no-fund

# qefdump's JSON Lines read by DuckDB (@duckdb/node-api and its prebuilt binary for this
# machine, as tests/engine/package-lock.json pins them; its JSON reader is built in, so that
# nothing is fetched at run time), their per-file counts held against qefdump's own.
ENGINE_TESTS := tests/engine
ENGINE_MODULES := $(ENGINE_TESTS)/node_modules/.package-lock.json
$(ENGINE_MODULES): $(ENGINE_TESTS)/package-lock.json
	cd $(ENGINE_TESTS) && npm ci --no-audit --no-fund

test-engine: native $(ENGINE_MODULES)
	cd $(ENGINE_TESTS) && node --test

# build/web served on 127.0.0.1; without DISPLAY, a picture of the page showing the sample.
run-web: web native $(WEB_MODULES)
	$(BUILD)/native/tools/qefgen --shape mixed --seed 7 --size 200000 -o $(SAMPLE)
	scripts/run-web $(BUILD)/web $(SAMPLE)

# The page in Chromium against qefdump: the dump, refusals, hostile files, Save as text, Compare.
test-web: web native $(WEB_MODULES)
	cd $(WEB_TESTS) && node --test --test-concurrency=1

# More generated sequences of a user's actions than test-web plays (SEQUENCES of STEPS from SEED,
# see tests/web/sequences.test.mjs), and no task on the page's thread over 50 ms among the checks.
test-web-sequences: web native $(WEB_MODULES)
	cd $(WEB_TESTS) && SEQUENCES=$${SEQUENCES:-60} STEPS=$${STEPS:-30} SEED=$${SEED:-$$(( $$(date +%s) / 86400 ))} \
	    LONG_TASK_MS=50 node --test sequences.test.mjs

# Opening 1 MB, 32 MB of mixed records and 32 MB of empty records: the first screen, the last
# line after Ctrl+End and the page's memory; Compare of the worst pair; and for each, the
# longest task on the page's thread. Then Lighthouse's four scores for the page as it first
# opens (Lighthouse as bench/lighthouse/package-lock.json pins it; Node 18 or later).
LIGHTHOUSE := bench/lighthouse
LIGHTHOUSE_MODULES := $(LIGHTHOUSE)/node_modules/.package-lock.json
$(LIGHTHOUSE_MODULES): $(LIGHTHOUSE)/package-lock.json
	cd $(LIGHTHOUSE) && npm ci --no-audit --no-fund

bench-web: web native $(WEB_MODULES) $(LIGHTHOUSE_MODULES)
	node bench/web_bench.mjs; timed=$$?; node $(LIGHTHOUSE)/scores.mjs && exit $$timed

clean:
	rm -rf $(BUILD)
