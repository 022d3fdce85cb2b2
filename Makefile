# Every target installs what is missing first (scripts/bootstrap is quick when nothing is).
JOBS ?= $(shell nproc)
PRESETS_WITH_TESTS := native native-asan win32 win64

.PHONY: all bootstrap build test check demo bench fuzz coverage configure-% build-%

all: build

bootstrap:
	@bash scripts/bootstrap

configure-%:
	@test -f build/$*/CMakeCache.txt || cmake --preset $* >/dev/null

build-%: configure-%
	@cmake --build --preset $* -j $(JOBS)

build: bootstrap $(addprefix build-,$(PRESETS_WITH_TESTS))

# Runs every suite of every preset this machine can run (win32 needs 32-bit programs to run; the
# summary says when they cannot), then fails if any of them failed.
test: build
	@bash scripts/test-all

# Quick feedback while working: the native build and its suites only.
check: bootstrap build-native
	@ctest --preset native

# The demo builds only what it runs, for the Windows build this machine can run.
demo: bootstrap configure-win32 configure-win64
	@bash scripts/demo

# Benchmarks: the native programs (optimised; five repetitions each, the report takes medians), then
# the Windows measures under 64-bit Wine where this machine runs it, then every goal with its ratio
# and baseline (build/native/bench/results/summary.json).
BENCH_RESULTS := build/native/bench/results
bench: bootstrap build-native build-win64
	@mkdir -p $(BENCH_RESULTS); \
	for b in build/native/bench/*_bench; do \
	  [ -x "$$b" ] || continue; \
	  echo "=== $$(basename $$b)"; \
	  "$$b" --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
	    --benchmark_out=$(BENCH_RESULTS)/$$(basename $$b).json --benchmark_out_format=json || exit 1; \
	done; \
	echo "=== Windows (64-bit, under Wine)"; sh bench/windows_bench.sh build/win64 $(BENCH_RESULTS) || exit 1; \
	echo "=== goals"; python3 scripts/bench-report $(BENCH_RESULTS)

# Fuzzing: each libFuzzer target runs SECONDS seconds (default 60) from its committed corpus.
# New inputs go to build/fuzz/work/NAME; a crashing input is written to build/fuzz/artifacts/ and
# belongs in fuzz/corpus/NAME/ afterwards, so that the replay tests keep it.
SECONDS ?= 60
fuzz: bootstrap build-fuzz
	@mkdir -p build/fuzz/artifacts; \
	for f in build/fuzz/fuzz/*_fuzzer; do \
	  [ -x "$$f" ] || continue; \
	  name=$$(basename $$f _fuzzer); \
	  mkdir -p build/fuzz/work/$$name fuzz/corpus/$$name; \
	  echo "=== fuzz: $$name ($(SECONDS) s)"; \
	  "$$f" -max_total_time=$(SECONDS) -print_final_stats=1 -artifact_prefix=build/fuzz/artifacts/$$name- \
	    build/fuzz/work/$$name fuzz/corpus/$$name || exit 1; \
	done

# Line and branch coverage of the portable core (storage/, codec/, iconlist/, settings/, base/) by the native suites.
coverage: bootstrap build-coverage
	@find build/coverage -name '*.gcda' -delete
	@ctest --preset coverage >/dev/null || true
	@mkdir -p build/coverage/report
	@gcovr --root . --object-directory build/coverage --filter 'storage/' --filter 'codec/' --filter 'iconlist/' --filter 'settings/' --filter 'base/' \
	  --exclude '.*_win\.cpp' --exclude-unreachable-branches --exclude-throw-branches \
	  --html-details build/coverage/report/index.html --print-summary --txt build/coverage/report/summary.txt
	@cat build/coverage/report/summary.txt
	@echo "coverage: build/coverage/report/index.html"
