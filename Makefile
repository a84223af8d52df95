# The two commands of the project. Each does its own set-up on a fresh Debian 12 machine.
.PHONY: test demo deps build lint clean

JOBS ?= 2
# The tests that run threads: ThreadSanitizer builds and runs these alone.
THREADED_TESTS := $(basename $(notdir $(wildcard tests/*/*_mt_*test.cpp)))

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
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS) --target $(THREADED_TESTS)
	ctest --preset tsan

# Format and static checks alone (make test runs them too).
lint: build
	scripts/lint build/default

demo: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS) --target velda-installer velda-sample
	examples/run-demo build/default

clean:
	rm -rf build
