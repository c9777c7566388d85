# Orchid: the two commands of the README, plus benchmarks.
#   make run    install what is missing, build, play the show
#   make test   install what is missing, build, run every test
#   make bench  build and run the benchmarks

BUILD   ?= build
JOBS    ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test bench clean

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

bench: build
	@for b in $(BUILD)/bench/*/orchid-bench-*; do \
		[ -x "$$b" ] || continue; echo "== $$b"; "$$b" || exit 1; \
	done

clean:
	rm -rf $(BUILD)
