# A thin layer over CMake. `make run` and `make test` are all a newcomer needs.
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
JOBS       ?= 2
CMAKE_ARGS ?=

.PHONY: all deps build run test test-sanitize bench fuzz clean

all: build

deps:
	@./scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/src/app/textdrop

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer, in a build of its own.
test-sanitize: deps
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTEXTDROP_SANITIZE=ON -DTEXTDROP_BUILD_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(SAN_BUILD) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(SAN_BUILD) --output-on-failure -j$(JOBS)

# libFuzzer on the server's reading and judging, for FUZZ_SECONDS; new inputs land in fuzz-build/corpus.
FUZZ_SECONDS ?= 300
fuzz: deps
	CXX=clang++ cmake -S . -B fuzz-build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTEXTDROP_FUZZ=ON -DTEXTDROP_WERROR=ON
	cmake --build fuzz-build -j$(JOBS) --target fuzz_MessageJudge
	mkdir -p fuzz-build/corpus
	fuzz-build/tests/fuzz/fuzz_MessageJudge -max_total_time=$(FUZZ_SECONDS) -max_len=4096 \
	  fuzz-build/corpus tests/fuzz/corpus/MessageJudge

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && { echo "== $$(basename $$b)"; "$$b"; }; done

clean:
	rm -rf $(BUILD) $(SAN_BUILD) fuzz-build
