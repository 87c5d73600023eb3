# Kestal: the two set-up commands are `make run` and `make test`; both install what is
# missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
CMAKE_FLAGS ?=
JOBS       ?= $(shell nproc)
ifeq ($(CI),true)
CMAKE_FLAGS += -DKESTAL_WERROR=ON
endif

.PHONY: all deps configure build run test test-asan bench fuzz install clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run

test: build test-asan
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The engine's tests and the replays of malformed files again, under AddressSanitizer
# and UndefinedBehaviorSanitizer (no GUI, no benchmarks, no end-to-end tests).
test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTAL_SANITIZE=ON \
	  -DKESTAL_GUI=OFF -DKESTAL_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) -LE system

bench: build
	@scripts/bench $(BUILD)

fuzz: deps
	@scripts/fuzz

install: build
	@cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) out
