# Front door: `make run` and `make test` install what is missing, configure,
# build, and then start the program or run every test.
JOBS ?= $(shell nproc)
CTEST_ARGS ?=

.PHONY: all setup build build-asan build-tsan run test test-default test-asan test-tsan bench package clean

all: build

setup:
	bash scripts/setup.sh

build: setup
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

build-asan: setup
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)

# Only the threaded parts' tests and what they run (the target
# threads_tests), under ThreadSanitizer.
build-tsan: setup
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)

run: build
	bash scripts/run.sh build

test: test-default test-asan test-tsan

test-default: build
	ctest --preset default -j $(JOBS) $(CTEST_ARGS)

test-asan: build-asan
	ctest --preset asan -j $(JOBS) $(CTEST_ARGS)

test-tsan: build-tsan
	ctest --preset tsan -j $(JOBS) $(CTEST_ARGS)

# The Debian package, quillan_<version>_<arch>.deb in build/.
package: build
	cmake --build --preset default --target package

bench: build
	bash bench/run.sh build

clean:
	rm -rf build build-asan build-tsan
