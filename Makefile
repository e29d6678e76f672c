# The two commands of the README, and a few conveniences around them.
#   make demo   builds the applet and the virtual board and runs the demo on it
#   make test   builds and runs every test suite: Linux, sanitizers, Windows cross build
.PHONY: deps demo test test-dev test-asan build-dev build-asan build-mingw format clean

NPROC := $(shell nproc)

deps:
	@bash scripts/setup-deps.sh

build-dev: deps
	cmake --preset dev >/dev/null
	cmake --build --preset dev -j $(NPROC)

build-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(NPROC)

build-mingw: deps
	cmake --preset mingw >/dev/null
	cmake --build --preset mingw -j $(NPROC)

demo: build-dev
	LD_LIBRARY_PATH=$(CURDIR)/build/dev/lib:$(CURDIR)/build/dev/lib/host build/dev/bin/pellvane-demo

test-dev: build-dev
	ctest --preset dev

test-asan: build-asan
	ctest --preset asan

test: test-dev test-asan build-mingw
	@echo "All test suites passed."

format:
	find src sim tools tests bench include -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build
