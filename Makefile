# Lumivox: the two set-up commands are `make run` and `make test`.
# Both install what is missing first (scripts/install-deps).

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60
CMAKE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

export QT_QPA_PLATFORM ?= offscreen

.PHONY: all deps build build-asan test test-asan run demo bench fuzz clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_FLAGS) -DLUMIVOX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug

build-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# The whole suite, then the whole suite again under the sanitizers.
test: build build-asan
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# Starts the editor with the bundled demo show (under a virtual display,
# with screenshots of every page, when there is no display).
run: build
	scripts/run-editor $(BUILD)

# Plays the bundled demo show in LumivoxPlayer (under a virtual display,
# with screenshots, when there is no display).
demo: build
	scripts/run-demo $(BUILD)

bench: build
	scripts/run-bench $(BUILD)

fuzz: deps
	scripts/run-fuzz $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
