# Entry points for people and CI. Every target installs what it needs first.
BUILD       ?= build
BUILD_TYPE  ?= RelWithDebInfo
JOBS        ?= $(shell nproc)
FUZZ_RUNS   ?= 20000
FUZZ_SECONDS ?= 20
CMAKE_FLAGS ?=
PREFIX      ?= /usr/local
PACKAGE_BUILD ?= build-package
# Sets of scripts/install-deps.sh: everything, unless a target needs less (run, install).
DEPS        ?= all

.PHONY: all deps configure build run test install uninstall package bench fuzz asan-test check-boundaries clean

all: build

deps:
	@bash scripts/install-deps.sh $(DEPS)

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# make run FILE=path/to/file.json
run: DEPS = build run
run: build
	$(BUILD)/src/app/corvane $(FILE)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# make install PREFIX=~/.local (default /usr/local); DESTDIR=... stages it for packaging. The list
# of installed files is kept for `make uninstall`, added to any earlier install's list.
install: DEPS = build run
install: configure
	cmake -S . -B $(BUILD) -DCMAKE_INSTALL_PREFIX=$(patsubst ~%,$(HOME)%,$(PREFIX))
	cmake --build $(BUILD) -j $(JOBS)
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD)
	@touch $(BUILD)/installed-files.txt
	@sort -u -o $(BUILD)/installed-files.txt $(BUILD)/installed-files.txt $(BUILD)/install_manifest.txt

# Removes every file `make install` installed from this build folder, the folders of Corvane's own
# left empty (share/doc/corvane) and refreshes the desktop caches; shared folders stay.
uninstall:
	DESTDIR="$(DESTDIR)" cmake -DMANIFEST=$(BUILD)/installed-files.txt -P packaging/uninstall.cmake

# The Debian package corvane_VERSION_ARCH.deb, copied here: a build of its own with Debian's
# hardening flags, prefix /usr and without the update check (apt brings new versions), then
# lintian. Install it with `sudo apt install ./corvane_*.deb`.
package: deps
	eval "$$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)" && \
	  cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_TESTS=OFF \
	    -DCORVANE_UPDATE_CHECK=OFF -DCMAKE_INSTALL_PREFIX=/usr \
	    -DCMAKE_CXX_FLAGS="$$CPPFLAGS $$CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$$LDFLAGS"
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	rm -f $(PACKAGE_BUILD)/corvane_*.deb
	cd $(PACKAGE_BUILD) && cpack -G DEB
	cp $(PACKAGE_BUILD)/corvane_*.deb .
	lintian --fail-on error,warning $$(cd $(PACKAGE_BUILD) && ls corvane_*.deb)

# Engine tests under AddressSanitizer and UndefinedBehaviorSanitizer (no widgets).
asan-test: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVANE_ASAN=ON -DCORVANE_GUI=OFF
	cmake --build build-asan -j $(JOBS)
	ctest --test-dir build-asan --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_BENCH=ON -DCORVANE_TESTS=OFF
	cmake --build build-bench -j $(JOBS)
	@for b in build-bench/bench/bench_*; do echo "== $$b"; QT_QPA_PLATFORM=offscreen $$b || exit 1; done

# libFuzzer targets, each for a bounded number of runs (FUZZ_RUNS) and time (FUZZ_SECONDS).
fuzz: deps
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DCORVANE_FUZZ=ON -DCORVANE_GUI=OFF -DCORVANE_TESTS=OFF
	cmake --build build-fuzz -j $(JOBS)
	@for f in build-fuzz/fuzz/fuzz_*; do \
	  echo "== $$f"; \
	  seeds=fuzz/corpus/$$(basename $$f | sed 's/^fuzz_//'); \
	  work=$$(mktemp -d); \
	  $$f -runs=$(FUZZ_RUNS) -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=4096 -artifact_prefix=build-fuzz/ \
	    $$work $$( [ -d $$seeds ] && echo $$seeds ) || { rm -rf $$work; exit 1; }; \
	  rm -rf $$work; \
	done

# Engine sources must not include Qt: the list comes from the build.
check-boundaries: configure
	@bash scripts/check-boundaries.sh $(BUILD)/engine-sources.txt

clean:
	rm -rf $(BUILD) build-asan build-bench build-fuzz $(PACKAGE_BUILD)
