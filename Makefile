# The whole set-up is `make run` and `make test`; both install what is missing first.
# `make run` installs and builds only the program and its tools (preset app: no tests, no
# benchmarks); `make test` and `make bench` add the packages that only they need.
JOBS ?= 2
FUZZ_SECONDS ?= 20
CTEST_ARGS ?=
# `make fuzz-cc`: how many csmith programs, from seed CSMITH_FIRST
CSMITH_SEEDS ?= 300
CSMITH_FIRST ?= 1000
DEPS_OPTIONS ?= # e.g. --no-viewer: no CHM viewer on a machine without a desktop
PREFIX ?= /usr/local # `make install`: where bin/ and share/ go (DESTDIR is honoured too)

.PHONY: deps deps-test app build run install package test test-release test-asan test-tsan test-fuzz bench fuzz fuzz-cc clean

deps:
	@tools/install-deps.sh run $(DEPS_OPTIONS)

deps-test:
	@tools/install-deps.sh test $(DEPS_OPTIONS)

app: deps
	cmake --preset app >/dev/null
	cmake --build --preset app -j $(JOBS)

run: app
	build/app/app/roziduv2

# The packaging tools (pandoc for the manual pages, dpkg-dev, lintian) are in the test set.
install: deps-test app
	cmake --install build/app --prefix $(strip $(PREFIX))

# The Debian package: build/app/package/roziduv2_<version>-1_amd64.deb
package: deps-test app
	cd build/app && cpack

build: deps-test
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

# The release suite runs last so that its summary closes the output.
test: deps-test test-asan test-tsan test-fuzz test-release
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

fuzz: deps-test
	$(MAKE) test-fuzz FUZZ_SECONDS=600

# The C compiler against the host compiler on many csmith programs, at -O0, -O1 and -O2;
# the failing programs are kept in build/release/csmith-long/failures.
fuzz-cc: deps-test
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS) --target roziduv2-cc roziduv2-cli
	python3 tests/cc/csmith/run_csmith.py --cc build/release/cc/roziduv2-cc --cli build/release/cli/roziduv2-cli \
	  --first $(CSMITH_FIRST) --seeds $(CSMITH_SEEDS) --jobs $(JOBS) --work build/release/csmith-long

bench: build
	tools/run-bench.sh build/release

clean:
	rm -rf build
