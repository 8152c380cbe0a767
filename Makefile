# Velmora: `make run` to start the program, `make test` to run every test.
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

ASAN_DIR ?= build-asan
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
SOAK_GENERATIONS ?= 2000

PREFIX ?= /usr/local

.PHONY: all deps configure build run test bench test-asan fuzz soak install package clean test-exact check-math windows web serve-web bench-web

all: build

deps:
	@sh scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release > /dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	./$(BUILD_DIR)/velmora

# The tests must leave the source tree as they found it: a file they write,
# change or delete outside the build folders fails the run.
test: build web
	@sh scripts/tree-state > $(BUILD_DIR)/tree-before
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)
	@sh scripts/tree-state > $(BUILD_DIR)/tree-after
	@if ! cmp -s $(BUILD_DIR)/tree-before $(BUILD_DIR)/tree-after; then \
	    echo "make test: the tests changed the source tree:"; \
	    diff $(BUILD_DIR)/tree-before $(BUILD_DIR)/tree-after; exit 1; fi

bench: build
	./$(BUILD_DIR)/bench/velmora_bench
	./$(BUILD_DIR)/bench/velmora_render_bench

# Every test, the window tests included, with AddressSanitizer, LeakSanitizer
# and UndefinedBehaviorSanitizer; any report fails the run.
test-asan: deps
	@cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_SANITIZE=ON -DVELMORA_BENCH=OFF > /dev/null
	@cmake --build $(ASAN_DIR) -j $(JOBS)
	@sh scripts/tree-state > $(ASAN_DIR)/tree-before
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    ctest --output-on-failure -j $(JOBS) --timeout 1200
	@sh scripts/tree-state > $(ASAN_DIR)/tree-after
	@if ! cmp -s $(ASAN_DIR)/tree-before $(ASAN_DIR)/tree-after; then \
	    echo "make test-asan: the tests changed the source tree:"; \
	    diff $(ASAN_DIR)/tree-before $(ASAN_DIR)/tree-after; exit 1; fi

# The world-file and checkpoint readers under libFuzzer for FUZZ_SECONDS each;
# inputs that crash land in $(FUZZ_DIR)/artifacts (keep them in tests/fuzz/regressions).
fuzz:
	@VELMORA_FUZZ_DEPS=1 sh scripts/install-deps
	@cmake -S . -B $(FUZZ_DIR) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_FUZZ=ON \
	    -DVELMORA_WINDOW=OFF -DVELMORA_TESTS=OFF -DVELMORA_BENCH=OFF > /dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS) --target world_file_fuzz checkpoint_fuzz food_map_fuzz animal_file_fuzz
	@mkdir -p $(FUZZ_DIR)/corpus $(FUZZ_DIR)/checkpoint_corpus $(FUZZ_DIR)/food_map_corpus $(FUZZ_DIR)/animal_corpus $(FUZZ_DIR)/artifacts
	ASAN_OPTIONS=quarantine_size_mb=32 ./$(FUZZ_DIR)/tests/fuzz/world_file_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=2 -rss_limit_mb=512 \
	    -print_final_stats=1 -artifact_prefix=$(FUZZ_DIR)/artifacts/ $(FUZZ_DIR)/corpus tests/fuzz/corpus \
	    tests/fuzz/regressions
	ASAN_OPTIONS=quarantine_size_mb=32 ./$(FUZZ_DIR)/tests/fuzz/checkpoint_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=2 -rss_limit_mb=1024 \
	    -print_final_stats=1 -artifact_prefix=$(FUZZ_DIR)/artifacts/ $(FUZZ_DIR)/checkpoint_corpus tests/fuzz/checkpoint_corpus
	ASAN_OPTIONS=quarantine_size_mb=32 ./$(FUZZ_DIR)/tests/fuzz/food_map_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=2 -rss_limit_mb=2560 \
	    -print_final_stats=1 -artifact_prefix=$(FUZZ_DIR)/artifacts/ $(FUZZ_DIR)/food_map_corpus tests/fuzz/food_map_corpus
	ASAN_OPTIONS=quarantine_size_mb=32 ./$(FUZZ_DIR)/tests/fuzz/animal_file_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=2 -rss_limit_mb=1024 \
	    -print_final_stats=1 -artifact_prefix=$(FUZZ_DIR)/artifacts/ $(FUZZ_DIR)/animal_corpus tests/fuzz/animal_corpus

# Velmora in the browser: build-web/site (the page, static files) and
# build-web/velmora.mjs (the program under Node).
web: build
	@sh scripts/build-web site $(BUILD_DIR)/web-core build-web

# The page at http://127.0.0.1:8000/ (any static web server will do).
serve-web: web
	python3 -m http.server 8000 --bind 127.0.0.1 --directory build-web/site

# The page's speed in Chromium: world updates a second in its worker, against
# this build's, and frames a second of the view of 2000 animals.
bench-web: build web
	node bench/web_bench.mjs build-web/site ./$(BUILD_DIR)/velmora

# The same runs on every target (g++ -O2 and -O3, clang, x86-64-v3, glibc without
# FMA, 64-bit ARM under qemu, Windows under Wine, WebAssembly under Node), each
# built in build-targets/; scripts/test-exact --math system shows where the C
# library's functions differ.
test-exact: deps
	@VELMORA_CROSS_DEPS=1 sh scripts/install-deps
	python3 scripts/test-exact

# The program's own functions against MPFR over MATH_ARGUMENTS arguments each.
MATH_ARGUMENTS ?= 10000000
check-math: build
	./$(BUILD_DIR)/tests/math_check $(MATH_ARGUMENTS)

# velmora.exe, the headless program for 64-bit Windows, and its .zip in build-targets/windows.
windows: deps
	@VELMORA_CROSS_DEPS=1 sh scripts/install-deps
	@sh scripts/build-target windows > /dev/null
	cd build-targets/windows/build && cpack -G ZIP > /dev/null && ls -l velmora-*.zip

# The differential test of the simulation core, SOAK_GENERATIONS more generations per world.
soak: build
	VELMORA_SOAK_GENERATIONS=$(SOAK_GENERATIONS) ./$(BUILD_DIR)/tests/core_tests --gtest_filter='Differential.*'

# The program, its menu entry, icon, metadata and man page; DESTDIR is honoured.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"

# Debian packages in $(BUILD_DIR): the program (velmora_*.deb) and the Python module (python3-velmora_*.deb)
package: build
	cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR) build-targets build-web
