# Orchid: the two commands of the README, plus benchmarks.
#   make run    install what is missing, build, play the show
#   make test   install what is missing, build, run every test
#   make bench  build and run the benchmarks
#   make bench-capture  every capture format's speed, whole show, in one run
#   make web    the browser build in build-web/ (index.html, orchid.js,
#               orchid.wasm, the music); make serve serves it on
#               http://127.0.0.1:8000/
#   make test-web-node  the web build's own suites under node (the vector
#               kernels at the WebAssembly SIMD level, resources, sound)
#   make test-web  the browser tests of the web build, in Debian's chromium
#   make windows       the Windows program (MinGW-w64 cross build) and its zip
#   make test-windows  the Windows test suites under Wine
#   make arm64         the ARM64 Linux program (cross build) in build-arm64/
#   make test-arm64    the ARM64 test suites under qemu
#   make install       the program, its music, a desktop entry and a manual
#                      page under PREFIX (/usr/local; DESTDIR for staging)
#   make deb           the Debian package build-deb/orchid_VERSION_ARCH.deb
#   make deb-arm64     the same for ARM64, cross-built, in build-deb-arm64/
#   make test-deb      the package built, linted, its dependencies resolved,
#                      unpacked and run against the native build
#   make uninstall     removes them again

BUILD   ?= build
WEB_BUILD ?= build-web
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
WINDOWS_BUILD ?= build-windows
DEB_BUILD ?= build-deb
# Wine runs the Windows tests; without it they are skipped.
WINE ?= /usr/lib/wine/wine64
ARM64_BUILD ?= build-arm64
# The cross compiler builds the ARM64 program, qemu's user-mode emulator runs
# its tests; without either they are skipped.
ARM64_CXX ?= aarch64-linux-gnu-g++
QEMU_ARM64 ?= qemu-aarch64
# The page size qemu gives the ARM64 programs (ARM64 Linux runs with 4, 16
# or 64 KiB pages; unset, the host's), and which of their suites to run (a
# ctest regular expression; unset, all):
#   make test-arm64 ARM64_PAGE_SIZE=65536 ARM64_TESTS='os_test|arm64_benchmark_digest_neon'
ARM64_PAGE_SIZE ?=
ARM64_TESTS ?=
# Where make install puts Orchid.
PREFIX ?= /usr/local

.PHONY: all deps configure build run test bench bench-capture clean web serve test-web test-web-node windows configure-windows test-windows \
	install uninstall deps-arm64 configure-arm64 arm64 test-arm64 deb test-deb deb-arm64

all: build

deps:
	@./scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON -DORCHID_BENCH=ON \
		$(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Playing needs neither the tests nor the benchmarks, nor what they need: a
# new build leaves them out, one that has them (after make test) keeps them.
run:
	@./scripts/install-deps --play
	@[ -f $(BUILD)/CMakeCache.txt ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
		-DBUILD_TESTING=OFF -DORCHID_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@cd $(BUILD) && ./orchid $(ARGS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 1800
	@$(MAKE) --no-print-directory test-deb
	@$(MAKE) --no-print-directory test-windows
	@$(MAKE) --no-print-directory test-web
	@$(MAKE) --no-print-directory test-arm64

# The cross build takes the pictures and the music from the native build.
configure-windows: build
	@cmake -S . -B $(WINDOWS_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
		-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DORCHID_HOST_BUILD=$(abspath $(BUILD)) >/dev/null

# build-windows/orchid.exe, and dist/orchid-windows.zip: the program, the
# music and how to run them, in a folder "orchid".
windows: configure-windows
	@cmake --build $(WINDOWS_BUILD) -j $(JOBS) --target orchid
	@rm -rf $(WINDOWS_BUILD)/zip dist/orchid-windows.zip
	@mkdir -p $(WINDOWS_BUILD)/zip/orchid dist
	@cp $(WINDOWS_BUILD)/orchid.exe $(WINDOWS_BUILD)/kestrune-velomar.mp3 $(WINDOWS_BUILD)/zip/orchid/
	@sed 's/$$/\r/' docs/README-WINDOWS.txt > $(WINDOWS_BUILD)/zip/orchid/README-WINDOWS.txt
	@cd $(WINDOWS_BUILD)/zip && cmake -E tar cf $(abspath dist/orchid-windows.zip) --format=zip orchid
	@echo "windows: $(WINDOWS_BUILD)/orchid.exe, dist/orchid-windows.zip"

# The zip, then the Windows suites and orchid.exe's frames digest, run
# through Wine.
test-windows: windows
	@if [ ! -x "$(WINE)" ]; then \
		echo "test-windows: SKIPPED, Wine is not installed ($(WINE)); scripts/install-deps installs it"; \
	else \
		cmake --build $(WINDOWS_BUILD) -j $(JOBS) && \
		cd $(WINDOWS_BUILD) && ORCHID_WINE=$(WINE) ctest --output-on-failure -j $(JOBS) --timeout 1200; \
	fi

# The ARM64 build needs Debian's arm64 architecture and packages, which only
# these targets add (make run and make build never do).
deps-arm64:
	@./scripts/install-deps --arm64

# The ARM64 cross build, like the Windows one, takes the pictures and the
# music from the native build.
configure-arm64: build deps-arm64
	@cmake -S . -B $(ARM64_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) \
		-DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DORCHID_HOST_BUILD=$(abspath $(BUILD)) >/dev/null

# build-arm64/orchid (the SDL desktop program, headless capture and
# benchmark) and build-arm64/orchid-jpeg.
arm64: configure-arm64
	@cmake --build $(ARM64_BUILD) -j $(JOBS) --target orchid orchid-jpeg
	@echo "arm64: $(ARM64_BUILD)/orchid, $(ARM64_BUILD)/orchid-jpeg"

# The ARM64 suites through qemu: the kernels at the scalar and NEON levels,
# the decoder, the frames digest, a windowed run on Xvfb.
test-arm64: build deps-arm64
	@if ! command -v $(ARM64_CXX) >/dev/null 2>&1; then \
		echo "test-arm64: SKIPPED, the cross compiler $(ARM64_CXX) is not installed; scripts/install-deps --arm64 installs it"; \
	elif ! command -v $(QEMU_ARM64) >/dev/null 2>&1; then \
		echo "test-arm64: SKIPPED, $(QEMU_ARM64) is not installed; scripts/install-deps --arm64 installs it"; \
	else \
		$(MAKE) --no-print-directory arm64 && \
		cmake --build $(ARM64_BUILD) -j $(JOBS) && \
		$(if $(ARM64_PAGE_SIZE),QEMU_PAGESIZE=$(ARM64_PAGE_SIZE)) ctest --test-dir $(ARM64_BUILD) \
			--output-on-failure -j $(JOBS) --timeout 1800 $(if $(ARM64_TESTS),-R '$(ARM64_TESTS)'); \
	fi

# The web build's own suites under node, then the page in chromium, its
# frames held to the native build's.
test-web: build web test-web-node
	@ORCHID_BUILD=$(abspath $(BUILD)) ORCHID_WEB_BUILD=$(abspath $(WEB_BUILD)) tests/platform/web/run

bench: build
	@bench/run $(BUILD)

# The capture formats' speed, whole show, against H.264 4:2:0 (minutes).
bench-capture: build
	@bench/capture-speed $(BUILD)

# Installing copies what the build made and builds nothing when there is a
# build already, so that `make && sudo make install` leaves no file in
# build/ owned by root. It says where it copies to, and when the prefix is not
# writable it says how to install instead of asking for a password.
install:
	@[ -f $(BUILD)/orchid ] && [ -f $(BUILD)/orchid.6 ] || $(MAKE) --no-print-directory build
	@echo "install: copying Orchid into $(DESTDIR)$(PREFIX): the program, its music, a desktop entry with its icon, a manual page"
	@dir="$(DESTDIR)$(PREFIX)"; while [ ! -d "$$dir" ]; do dir=$$(dirname "$$dir"); done; \
	if [ ! -w "$$dir" ]; then \
		echo "install: $$dir is not writable by $$(id -un): run 'sudo make install'," \
		     "or install for yourself with 'make install PREFIX=$$HOME/.local'"; \
		exit 1; \
	fi
	@cmake --install $(BUILD) --prefix $(PREFIX)
	@echo "install: done; 'orchid' runs from any folder when $(PREFIX)/bin is on PATH, 'man orchid' tells how"

# The Debian package, built by dpkg-buildpackage from debian/ in a copy of
# the tree under $(DEB_BUILD) (docs/packaging.md).
deb:
	@./scripts/build-deb $(DEB_BUILD)

# The package's own test: it builds the package itself, and needs the
# native build's program as the reference.
# The package for ARM64, cross-built: build-deb-arm64/orchid_VERSION_arm64.deb,
# the pictures, music and manual page from the native build.
deb-arm64: build deps-arm64
	@ORCHID_HOST_BUILD=$(abspath $(BUILD)) scripts/build-deb $(DEB_BUILD)-arm64 --host-arch arm64 -d

test-deb: build
	@tests/packaging/deb_test $(BUILD) $(DEB_BUILD)

uninstall:
	@[ -f $(BUILD)/orchid_uninstall.cmake ] || $(MAKE) --no-print-directory configure
	@echo "uninstall: removing Orchid's files from $(DESTDIR)$(PREFIX)"
	@cmake -DPREFIX=$(PREFIX) -P $(BUILD)/orchid_uninstall.cmake

# The browser build takes its pictures and music from the native build.
web: build
	@NODE_PATH=/usr/share/nodejs emcmake cmake -S . -B $(WEB_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
		-DORCHID_HOST_BUILD=$(abspath $(BUILD)) >/dev/null
	@NODE_PATH=/usr/share/nodejs cmake --build $(WEB_BUILD) -j $(JOBS) --target orchid orchid_app orchid_compressed

test-web-node: web
	@NODE_PATH=/usr/share/nodejs cmake --build $(WEB_BUILD) -j $(JOBS)
	@ctest --test-dir $(WEB_BUILD) -L web --output-on-failure

serve: web
	@node main/web/server.mjs $(WEB_BUILD) 8000

clean:
	rm -rf $(BUILD) $(WEB_BUILD) $(WINDOWS_BUILD) $(ARM64_BUILD) $(DEB_BUILD) $(DEB_BUILD)-arm64 dist
