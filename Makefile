# Orchid: the two commands of the README, plus benchmarks.
#   make run    install what is missing, build, play the show
#   make test   install what is missing, build, run every test
#   make bench  build and run the benchmarks
#   make windows       the Windows program (MinGW-w64 cross build) and its zip
#   make test-windows  the Windows test suites under Wine

BUILD   ?= build
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
WINDOWS_BUILD ?= build-windows
# Wine runs the Windows tests; without it they are skipped.
WINE ?= /usr/lib/wine/wine64

.PHONY: all deps configure build run test bench clean windows configure-windows test-windows

all: build

deps:
	@./scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@cd $(BUILD) && ./orchid $(ARGS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 1800
	@$(MAKE) --no-print-directory test-windows

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

# The Windows suites and orchid.exe's frames digest, run through Wine.
test-windows: configure-windows
	@if [ ! -x "$(WINE)" ]; then \
		echo "test-windows: SKIPPED, Wine is not installed ($(WINE)); scripts/install-deps installs it"; \
	else \
		cmake --build $(WINDOWS_BUILD) -j $(JOBS) && \
		cd $(WINDOWS_BUILD) && ORCHID_WINE=$(WINE) ctest --output-on-failure -j $(JOBS) --timeout 1200; \
	fi

bench: build
	@for b in $(BUILD)/bench/*/orchid-bench-*; do \
		[ -x "$$b" ] || continue; echo "== $$b"; "$$b" || exit 1; \
	done

clean:
	rm -rf $(BUILD) $(WINDOWS_BUILD) dist
