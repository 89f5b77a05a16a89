# A thin layer over CMake. `make run` and `make test` are all a newcomer needs.
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
PKG_BUILD  ?= build-package
JOBS       ?= 2
CMAKE_ARGS ?=
# Ninja, where the machine has it, starts each compile as soon as its inputs are ready and logs
# what each step cost (.ninja_log). It applies to new build folders: CMake keeps a folder's own.
ifneq ($(shell command -v ninja 2>/dev/null),)
export CMAKE_GENERATOR ?= Ninja
endif

.PHONY: all deps build run test test-sanitize package-configure package package-check bench fuzz clean

all: build

# DEPS_OPTIONS=--build: only what building and packaging need (.ci/run fetches the rest meanwhile).
DEPS_OPTIONS ?=
deps:
	@./scripts/install-deps $(DEPS_OPTIONS)

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/src/app/textdrop

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

# The same suite under AddressSanitizer and UndefinedBehaviorSanitizer, in a build of its own.
# Unoptimised, with line tables only (-g1): the reports still name file and line, and it
# compiles a sixth faster than full debug information (optimising costs more than it saves).
test-sanitize: deps
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DTEXTDROP_SANITIZE=ON -DTEXTDROP_BUILD_BENCH=OFF $(CMAKE_ARGS)
	cmake --build $(SAN_BUILD) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(SAN_BUILD) --output-on-failure -j$(JOBS)

# libFuzzer on the server's reading and judging (FUZZ_TARGET=MessageJudge) or on the opening
# of sealed frames (FUZZ_TARGET=SealedOpen), for FUZZ_SECONDS; new inputs land in fuzz-build/corpus-*.
FUZZ_SECONDS ?= 300
FUZZ_TARGET ?= MessageJudge
fuzz:
	@./scripts/install-deps --fuzz
	CXX=clang++ cmake -S . -B fuzz-build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTEXTDROP_FUZZ=ON -DTEXTDROP_WERROR=ON
	cmake --build fuzz-build -j$(JOBS) --target fuzz_$(FUZZ_TARGET)
	mkdir -p fuzz-build/corpus-$(FUZZ_TARGET)
	fuzz-build/tests/fuzz/fuzz_$(FUZZ_TARGET) -max_total_time=$(FUZZ_SECONDS) -max_len=4096 \
	  fuzz-build/corpus-$(FUZZ_TARGET) tests/fuzz/corpus/$(FUZZ_TARGET)

# The Debian package textdrop_<version>_<arch>.deb in $(PKG_BUILD), built for /usr: Release with
# all of Debian's hardening flags (stack protector, fortified functions, read-only relocations
# bound at start) and no debug information, as its programs go in stripped. Tests are built there
# only with PKG_TESTS=ON (.ci/run: one build serves the suite and the package); the package never
# holds them.
PKG_TESTS ?= OFF
package-configure: deps
	export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g; \
	cmake -S . -B $(PKG_BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
	  -DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)" \
	  -DTEXTDROP_BUILD_TESTS=$(PKG_TESTS) -DTEXTDROP_BUILD_BENCH=OFF $(CMAKE_ARGS)

package: package-configure
	cmake --build $(PKG_BUILD) -j$(JOBS)
	rm -f $(PKG_BUILD)/textdrop_*.deb
	cd $(PKG_BUILD) && cpack -G DEB
	@ls $(PKG_BUILD)/textdrop_*.deb

# Validates, unpacks and runs the package, and asks lintian about it.
package-check: package
	./scripts/check-package $(PKG_BUILD)

# Configured again: OpenSSL may have just come in.
bench:
	@./scripts/install-deps --bench
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTEXTDROP_BUILD_BENCH=ON $(CMAKE_ARGS)
	cmake --build $(BUILD) -j$(JOBS)
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && { echo "== $$(basename $$b)"; "$$b"; }; done

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(PKG_BUILD) fuzz-build
