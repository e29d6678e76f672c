# The two commands of the README, and a few conveniences around them.
#   make demo   builds the applet and the virtual board and runs the demo on it
#   make test   builds and runs every test suite: Linux, sanitizers, and Windows under Wine
.PHONY: bench deps demo test test-dev test-asan test-windows build-dev build-asan build-windows \
        format clean test-tsan test-fuzz build-tsan build-fuzz parameters-doc

NPROC := $(shell nproc)

deps:
	@bash scripts/setup-deps.sh

build-dev: deps
	cmake --preset dev >/dev/null
	cmake --build --preset dev -j $(NPROC)

build-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(NPROC)

build-windows: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(NPROC)

demo: build-dev
	LD_LIBRARY_PATH=$(CURDIR)/build/dev/lib:$(CURDIR)/build/dev/lib/host build/dev/bin/pellvane-demo

test-dev: build-dev
	ctest --preset dev

test-asan: build-asan
	ctest --preset asan

# The Windows programs run under Wine; its server, kept up between tests, is stopped afterwards.
# The server the build left behind is stopped first and a first program started alone, so
# that no test races a server that is still coming up or going down.
test-windows: build-windows
	build/windows/bin/wine-run --stop
	build/windows/bin/wine-run build/windows/bin/platform_tests.exe --gtest_list_tests >/dev/null
	ctest --preset windows; status=$$?; build/windows/bin/wine-run --stop; exit $$status

# ThreadSanitizer: the applet, the virtual board and the reliability suite; ctest runs its
# concurrency tests (the fault sweep and the leak cycles run in the dev and asan suites).
build-tsan: deps
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(NPROC)

test-tsan: build-tsan
	ctest --preset tsan

# libFuzzer (clang) with AddressSanitizer and UBSan: each target runs for a bounded time,
# two at a time.
build-fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(NPROC)

test-fuzz: build-fuzz
	ctest --preset fuzz

# The benchmark programs of the dev build, one after the other, and one table of what they
# measured: each applet operation beside the raw work it needs, as a ratio, with the targets
# (docs/performance.md). Google Benchmark's own results are kept in build/dev/bench.
bench: build-dev
	/usr/bin/python3 bench/bench_table.py build/dev/bin --json-dir build/dev/bench

test: test-dev test-asan test-windows test-tsan test-fuzz
	@echo "All test suites passed."

# docs/parameters.md, the reference of every parameter, from the parameter declaration.
parameters-doc:
	/usr/bin/python3 src/applet/parameters/paramgen.py src/applet/parameters/parameters.toml \
		--doc docs/parameters.md

format:
	find src sim tools tests bench include -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build
