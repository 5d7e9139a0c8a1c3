# Quarn Dash: the two commands a user needs are "make demo" and "make test".
BUILD ?= build
GENERATOR ?= Ninja
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=Release
JOBS ?= 2

.PHONY: all deps configure build test check-sanitize fuzz demo bench screenshots clean package

all: build

deps:
	./scripts/install-deps.sh

# Configured once; the build itself configures again when a CMakeLists.txt
# changes.
configure: deps
	@[ -f $(BUILD)/build.ninja ] || [ -f $(BUILD)/Makefile ] || \
	  cmake -S . -B $(BUILD) -G $(GENERATOR) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The whole suite on the release build, then the headless and widget tests
# again built with the sanitizers.
test: build
	./scripts/run-tests.sh $(BUILD)
	./scripts/check-sanitize.sh

check-sanitize: deps
	./scripts/check-sanitize.sh

FUZZ_SECONDS ?= 60
fuzz: deps
	./scripts/run-fuzz.sh $(FUZZ_SECONDS)

demo: build
	./scripts/run-demo.sh $(BUILD)

screenshots: build
	cmake --build $(BUILD) -j $(JOBS) --target pictures
	./scripts/screenshots.sh $(BUILD)

bench: build
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks
	./scripts/run-bench.sh $(BUILD)

clean:
	rm -rf $(BUILD) build-asan build-fuzz

# The Debian package, in $(BUILD)/package/.
package: build
	cd $(BUILD) && cpack -G DEB
