# The whole set-up is `make run` and `make test`; both install what is missing first.
JOBS ?= 2
FUZZ_SECONDS ?= 20
CTEST_ARGS ?=

.PHONY: deps build run test test-release test-asan test-tsan test-fuzz bench fuzz clean

deps:
	@tools/install-deps.sh

build: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

run: build
	build/release/app/roziduv2

# The release suite runs last so that its summary closes the output.
test: deps test-asan test-tsan test-fuzz test-release
	@echo "All test suites passed."

test-release:
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)
	ctest --preset release -j $(JOBS) $(CTEST_ARGS)

test-asan:
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS) $(CTEST_ARGS)

test-tsan:
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan -j $(JOBS) $(CTEST_ARGS)

test-fuzz:
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	tools/run-fuzz.sh build/fuzz $(FUZZ_SECONDS)

fuzz:
	$(MAKE) test-fuzz FUZZ_SECONDS=600

bench: build
	tools/run-bench.sh build/release

clean:
	rm -rf build
