# The two set-up commands of a newcomer: "make run" and "make test". Both install what is
# missing (Debian packages through apt-get), build, and then start the program or run every test.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: run test configure build bench package package-test deps-run deps-test deps-bench \
	deps-package format clean

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

run: deps-run
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

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
