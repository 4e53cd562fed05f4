# Entry points: `make demo` and `make test` set up what is missing, build and run.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
# Where PCRE 8 comes from: auto (the system's where it is packaged, else built from source), system
# or source. PCRE_SOURCE=<tarball> builds it from a PCRE 8.x source tarball (systems without apt).
PCRE ?= auto
PCRE_SOURCE ?=
PACKAGES := g++ make cmake pkg-config libgtest-dev groff-base
CMAKE_PCRE = -DTEXTSIFT_PCRE=$(PCRE) -DTEXTSIFT_PCRE_SOURCE=$(if $(PCRE_SOURCE),$(abspath $(PCRE_SOURCE)))

.PHONY: all deps build demo test test-sanitize test-tsan test-cpus test-valgrind test-big fuzz install package format check-format clean \
	bench-build bench bench-big check-package-debian13 check-debian13

all: build

deps:
	@scripts/install-build-deps "$(PCRE)" "$(PCRE_SOURCE)" $(PACKAGES)

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_PCRE)
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The help text's example pipeline.
demo: build
	echo 'ABC DEF YES' | $(BUILD_DIR)/textsift 's/ABC[\s]?/X/' '/(\w+)\s(\w+)/$$1=$$2/'; echo

# PCRE's own test files, fetched once and cached by scripts/fetch-pcre-testdata. Without them
# their test is skipped (and says so), unless TEXTSIFT_PCRE_TESTDATA_REQUIRED=1, as in CI.
with_pcre_testdata = dir=$$(scripts/fetch-pcre-testdata) || { \
	  [ "$${TEXTSIFT_PCRE_TESTDATA_REQUIRED:-}" != 1 ] || exit 1; \
	  echo "PCRE test data could not be fetched: the test of PCRE's own test files is skipped"; }; \
	TEXTSIFT_PCRE_TESTDATA="$$dir"

test: build
	@$(with_pcre_testdata) ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS) -LE valgrind

# The whole suite, end-to-end cases included, on a build with ASan and UBSan.
test-sanitize: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTEXTSIFT_SANITIZE=ON $(CMAKE_PCRE)
	cmake --build build-asan -j $(JOBS)
	@$(with_pcre_testdata) ctest --test-dir build-asan --output-on-failure -j $(JOBS) -LE valgrind

# ThreadSanitizer, on the cases whose inputs are large enough for the threads: a file read in
# halves, a large text checked as UTF-8 in halves beside the first search, the check and the
# searches at every size class.
TSAN_CASES := large|utf8_check|read_all_stdin|differential|truncated|long_mixed_texts|pieces|lazy_span
test-tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTEXTSIFT_TSAN=ON $(CMAKE_PCRE)
	cmake --build build-tsan -j $(JOBS)
	TSAN_OPTIONS="halt_on_error=1 $(TSAN_OPTIONS)" ctest --test-dir build-tsan --output-on-failure \
		-j $(JOBS) -R '$(TSAN_CASES)'

# The end-to-end cases with every run of the binary on emulated CPUs (qemu user mode) without AVX2
# (Nehalem) and without SSSE3 (qemu64), where searches take their narrower vector widths.
test-cpus: build
	@scripts/install-deps qemu-user-static
	for cpu in Nehalem qemu64; do \
	  echo "== end-to-end cases on an emulated $$cpu"; \
	  TEXTSIFT_TEST_WRAPPER="qemu-x86_64-static -cpu $$cpu" $(BUILD_DIR)/tests/end_to_end_tests \
	    --gtest_brief=1 || exit 1; \
	done

# The end-to-end cases with every run of the binary under valgrind.
test-valgrind:
	@scripts/install-deps valgrind
	$(MAKE) build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -L valgrind

format:
	clang-format -i $$(git ls-files '*.cpp' '*.hpp')

check-format:
	@scripts/install-deps clang-format
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.hpp')

clean:
	rm -rf $(BUILD_DIR)

# Real runs with more than 2 GiB of input (not in CI: they need about 5 GB of memory and 8 GB of
# disk): replacements whose matches lie within lines, against the same on the text's parts.
test-big: build
	scripts/test-big $(BUILD_DIR)/textsift

# Installation: PREFIX (default /usr/local) and DESTDIR are honoured.
PREFIX ?= /usr/local
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# A Debian package (build-release/textsift_<version>_<arch>.deb) and a tarball for other
# distributions (build-release/textsift-<version>-linux-<arch>.tar.gz), from an optimized build
# that needs only the C library: PCRE, pcrecpp, libstdc++ and libgcc are linked in.
package: deps
	@scripts/install-deps dpkg-dev
	cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DTEXTSIFT_TESTS=OFF \
		-DTEXTSIFT_STATIC_RUNTIME=ON $(CMAKE_PCRE)
	cmake --build build-release -j $(JOBS) --target textsift
	cd build-release && cpack

# The package installed with apt in a fresh minimal Debian 13 root, where it must pass the
# end-to-end suite (built as self-contained as the package). Needs root; run by CI.
check-package-debian13: package
	cmake -S . -B build-static-tests -DCMAKE_BUILD_TYPE=Release -DTEXTSIFT_STATIC_RUNTIME=ON \
		$(CMAKE_PCRE)
	cmake --build build-static-tests -j $(JOBS) --target end_to_end_tests
	scripts/check-package-debian13 build-release build-static-tests/tests/end_to_end_tests

# The README's quick start on a fresh minimal Debian 13 root, as a new user runs it: a clean clone
# of HEAD, git and make installed first, then `make demo` and `make test`. Needs root.
check-debian13:
	scripts/check-debian13

# Coverage-guided fuzzing with libFuzzer (clang), FUZZ_SECONDS per target.
FUZZ_SECONDS ?= 60
fuzz: deps
	@scripts/install-deps clang libclang-rt-14-dev
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DTEXTSIFT_FUZZ=ON -DTEXTSIFT_TESTS=OFF $(CMAKE_PCRE)
	cmake --build build-fuzz -j $(JOBS) --target parse_compile_fuzzer run_fuzzer fast_paths_fuzzer \
		literal_sets_fuzzer plan_library_fuzzer plan_matches_fuzzer plan_look_back_fuzzer \
		pieces_fuzzer
	scripts/run-fuzzers build-fuzz $(FUZZ_SECONDS)

# Benchmark against perl, sed, sd and ripgrep (optimized build in build-bench/); bench-big adds
# 1 GB inputs.
BENCH_PACKAGES := hyperfine time perl sed sd ripgrep
bench-build: deps
	@scripts/install-deps $(BENCH_PACKAGES)
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTEXTSIFT_TESTS=OFF $(CMAKE_PCRE)
	cmake --build build-bench -j $(JOBS) --target textsift make_input

# BASELINE_REV=<git revision> times that revision's build beside this one on every workload.
bench: bench-build
	$(if $(BASELINE_REV),scripts/build-revision $(BASELINE_REV) build-baseline)
	BASELINE=$(if $(BASELINE_REV),$(CURDIR)/build-baseline/textsift) bench/run build-bench 10 100

bench-big: bench-build
	bench/run build-bench 10 100 1000
