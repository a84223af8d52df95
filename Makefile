# The two commands of the project. Each does its own set-up on a fresh Debian 12 machine.
.PHONY: test demo deps build clean

JOBS ?= 2

deps:
	scripts/install-deps

build: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

test: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)
	ctest --preset default
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan

demo: deps
	@echo "make demo arrives with the velda-installer program; see README.md."
	@exit 1

clean:
	rm -rf build
