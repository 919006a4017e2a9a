# `make run` and `make test` do what ./run and ./test do, for machines that have make; each
# installs what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLINTARA_TESTS=ON

PREFIX ?= /usr/local

.PHONY: deps build run test install deb bench test-asan format clean

deps:
	@./scripts/install-deps.sh --test

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# Only the program is built, and its own status is its own: make's error line is not added.
run:
	@./run

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# glintara and glintara-render into $(PREFIX)/bin, the codec module glintara-render loads for
# still images into $(PREFIX)/lib/glintara, the GStreamer plugin into
# $(PREFIX)/lib/gstreamer-1.0, the frei0r filter into $(PREFIX)/lib/frei0r-1, the manual
# pages and the Kdenlive effect into $(PREFIX)/share.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package, build-deb/glintara_VERSION_ARCH.deb: a Release build of its own with /usr
# as its prefix, so that every piece lands where Debian's programs look.
deb:
	@./scripts/install-deps.sh --package
	cmake -S . -B build-deb -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DGLINTARA_TESTS=OFF
	cmake --build build-deb -j $(JOBS)
	cd build-deb && cpack -G DEB

bench: deps
	@./scripts/install-deps.sh --bench || echo "GStreamer is not installed; its line is skipped" >&2
	cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DGLINTARA_TESTS=OFF
	cmake --build build-release -j $(JOBS) --target glintara_bench glintara_live_bench glintara-render gstglintara
	build-release/bin/glintara_bench
	@./scripts/install-deps.sh --test
	./scripts/private-session build-release/bin/glintara_live_bench

# Every test but the package's, which `make test` has run: under the sanitizers it would only
# build the same package again.
test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DGLINTARA_SANITIZE=ON -DGLINTARA_TESTS=ON
	cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan --output-on-failure -j $(JOBS) -LE package

format:
	clang-format -i $$(git ls-files '*.cpp' '*.hpp')

clean:
	rm -rf $(BUILD) build-release build-asan build-deb build-portable
