# The two set-up commands of a newcomer: "make run" and "make test". Both install what is
# missing (Debian packages through apt-get), build, and then start the program or run every test.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# The checks of CI (.ci/run), each in a build folder of its own.
SANITIZE_BUILD ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30

.PHONY: run check-display test configure build bench package package-test deps-run deps-test deps-bench \
	deps-package deps-fuzz deps-format format format-check test-sanitize fuzz-smoke clean

configure:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORANT_WERROR=ON $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

deps-run:
	tools/install-deps.sh run
deps-test:
	tools/install-deps.sh test
deps-bench:
	tools/install-deps.sh bench
deps-package:
	tools/install-deps.sh package
deps-fuzz:
	tools/install-deps.sh fuzz
deps-format:
	tools/install-deps.sh format

# Without a display the program cannot show itself: say so before installing or building.
check-display:
	@if [ -z "$${DISPLAY:-}" ] && [ -z "$${WAYLAND_DISPLAY:-}" ] && [ -z "$${QT_QPA_PLATFORM:-}" ]; then \
		echo "No display: set DISPLAY, or start it with QT_QPA_PLATFORM=offscreen make run." >&2; \
		exit 1; \
	fi

run: check-display deps-run
	$(MAKE) configure
	cmake --build $(BUILD) -j $(JOBS) --target velmorant velmorant-cli
	tools/run-program.sh $(BUILD)

test: deps-test
	$(MAKE) build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 900

# The Debian package velmorant_<version>_<arch>.deb in $(BUILD): only what it holds is built.
package: deps-package
	$(MAKE) configure
	cmake --build $(BUILD) -j $(JOBS) --target velmorant velmorant-cli package-files
	cd $(BUILD) && cpack -G DEB

# Builds the package, checks it with the Debian tools and runs what it installs as an
# ordinary user with a home of its own.
package-test: deps-test
	$(MAKE) package
	tools/package-test.sh $(BUILD)

bench: deps-bench
	$(MAKE) build
	tools/run-benchmarks.sh $(BUILD)

# The whole suite once more, built with AddressSanitizer and UndefinedBehaviorSanitizer: any
# report ends the test that caused it with a failure. The options reach every process a test
# starts (the programs, forked children); tools/lsan.supp lists the leaks that are not ours.
test-sanitize: deps-test
	$(MAKE) build BUILD=$(SANITIZE_BUILD) CMAKE_FLAGS="-DVELMORANT_SANITIZE=ON $(CMAKE_FLAGS)"
	cd $(SANITIZE_BUILD) && \
	ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	ctest --output-on-failure -j $(JOBS) --timeout 900

# A short run of both libFuzzer targets (clang, a build folder of its own).
fuzz-smoke: deps-fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DVELMORANT_FUZZ=ON -DVELMORANT_WERROR=ON $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target zip_reader_fuzz import_script_fuzz
	tools/fuzz-smoke.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

format: deps-format
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fails on the first file that `make format` would change.
format-check: deps-format
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD)
