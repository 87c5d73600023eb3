# Kestal: the two set-up commands are `make run` and `make test`; both install what is
# missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
RELEASE_BUILD ?= build-release
CMAKE_FLAGS ?=
JOBS       ?= $(shell nproc)
ifeq ($(CI),true)
CMAKE_FLAGS += -DKESTAL_WERROR=ON
endif

.PHONY: all deps configure build run test test-asan bench fuzz install uninstall package clean

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

# Builds the programs when they are not built yet and installs them under PREFIX (default /usr/local; DESTDIR
# is honoured), binaries stripped. It neither installs dependencies nor reconfigures an
# existing build folder; a missing one is configured as `make build` would.
install:
	@test -f $(BUILD)/CMakeCache.txt || \
	  cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target kestal_installed
	@cmake --install $(BUILD) --strip $(if $(PREFIX),--prefix $(PREFIX))

# Removes every file that the last `make install` wrote (its install manifest).
uninstall:
	@cmake --build $(BUILD) --target uninstall

# The Debian package kestal_<version>_amd64.deb, in $(RELEASE_BUILD): a Release build
# with Debian's hardening flags, only the installed programs, stripped by CPack.
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
package: deps
	@cmake -S . -B $(RELEASE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
	  -DKESTAL_BENCH=OFF -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(RELEASE_BUILD) -j $(JOBS) --target kestal_installed
	@cd $(RELEASE_BUILD) && cpack -G DEB >/dev/null
	@ls $(RELEASE_BUILD)/kestal_*.deb

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(RELEASE_BUILD) out
