# The two commands of the project. Each does its own set-up on a fresh Debian 12 machine.
.PHONY: web web-tests test test-windows windows-tests demo deps build lint clean fuzz soak package

JOBS ?= 2
# The tests that run threads: ThreadSanitizer builds and runs these alone.
THREADED_TESTS := $(basename $(notdir $(wildcard tests/*/*_mt_*test.cpp)))
FUZZERS := fuzz_package fuzz_installation fuzz_replies fuzz_instrument
# Seconds each fuzz target runs: make test keeps them short, make fuzz runs them longer.
FUZZ_SECONDS ?= 15
FUZZ_LONG_SECONDS ?= 600
SOAK_RUNS ?= 50000
# What the Windows tests run: the program, the sample tool, the test-only winmm.dll, the suites,
# the downloads (zip and installer).
WINDOWS_TARGETS := velda-installer velda-sample test_winmm windows_fw_tests windows_midi_tests \
  windows_scenario_tests windows_winmm_tests windows_ui_tests velda-windows-packages

deps:
	scripts/install-deps

build: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

test: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)
	ctest --preset default
	scripts/lint build/default
	scripts/valgrind-install build/default
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan
	scripts/fuzz build/asan $(FUZZ_SECONDS)
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS) --target $(THREADED_TESTS)
	ctest --preset tsan
	$(MAKE) windows-tests
	$(MAKE) web-tests

# The fuzz targets, longer (FUZZ_LONG_SECONDS each); their corpora grow in build/fuzz/corpus.
fuzz: build
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS) --target $(FUZZERS)
	scripts/fuzz build/fuzz $(FUZZ_LONG_SECONDS)

# Many consecutive virtual installations with random faults (fixed seed), outside make test.
soak: build
	build/default/tests/soak $(SOAK_RUNS)

# The Windows build (mingw-w64) and its tests under Wine and Xvfb (label "windows"); make test
# runs them last. The USB test with Wine takes velda-sim and velda-sample from the native build.
test-windows: deps windows-tests

windows-tests:
	cmake --preset default
	cmake --build --preset default -j $(JOBS) --target velda-sim velda-sample
	cmake --preset windows
	cmake --build --preset windows -j $(JOBS) --target $(WINDOWS_TARGETS)
	tests/windows/with_wine ctest --preset windows

# The browser edition (emscripten): the static site build/web/site.
web:
	cmake --preset web
	cmake --build --preset web -j $(JOBS) --target velda-web

# Its tests in headless Chromium (label web), against the native build's velda-installer; make
# test runs them last.
web-tests: web
	cmake --build --preset web -j $(JOBS) --target standin-instrument
	cmake --preset default
	cmake --build --preset default -j $(JOBS) --target velda-installer velda-sample
	ctest --preset web

# Format and static checks alone (make test runs them too).
lint: build
	scripts/lint build/default

# The demo needs neither the tests nor the benchmarks, nor their libraries.
DEMO_CONFIG := -DVELDA_TESTS=OFF -DVELDA_BENCH=OFF

demo:
	scripts/install-deps demo
	cmake --preset default $(DEMO_CONFIG)
	cmake --build --preset default -j $(JOBS) --target velda-installer velda-sample
	examples/run-demo build/default

# The packages a user installs: the .deb (build/default) and the Windows zip and installer
# (build/windows).
package: build
	cd build/default && cpack -G DEB
	cmake --preset windows
	cmake --build --preset windows -j $(JOBS) --target velda-windows-packages

clean:
	rm -rf build
