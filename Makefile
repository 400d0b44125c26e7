# The two commands of a fresh machine: `make run` and `make test`.
BUILD      ?= build
JOBS       ?= $(shell nproc)
DEMO       ?= resources/demo.mid
FUZZ_TIME  ?= 600
CMAKE_GEN  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: run test test-asan test-tsan build deps bench fuzz format clean install package

deps:
	@./scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# With a display the player starts on the demo song; without one the song is rendered with the
# wavetable module into a copy under $(BUILD)/demo instead.
DEMO_COPY := $(BUILD)/demo/$(notdir $(DEMO))
DEMO_WAV  := $(basename $(DEMO_COPY)).WAV

run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  ./$(BUILD)/zeblo $(DEMO); \
	else \
	  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset), so no player window:" \
	       "rendering the demo song instead."; \
	  mkdir -p $(BUILD)/demo && cp $(DEMO) $(DEMO_COPY) && \
	  ./$(BUILD)/zeblo-cli render $(DEMO_COPY) && \
	  echo "The demo song as a WAV file: $(DEMO_WAV)"; \
	fi

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The suite again, built with clang under AddressSanitizer and UndefinedBehaviorSanitizer, or
# under ThreadSanitizer; each in its own folder. ccache speeds rebuilds when it happens to exist.
CCACHE   := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
SAN_ENV  := ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
TSAN_ENV := TSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer/tsan.supp:halt_on_error=1:second_deadlock_stack=1

test-asan: deps
	CXX=clang++ cmake -S . -B build-asan $(CMAKE_GEN) $(CCACHE) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DZEBLO_SANITIZE=ON -DZEBLO_BUILD_BENCH=OFF
	cmake --build build-asan -j $(JOBS)
	cd build-asan && $(SAN_ENV) ctest --output-on-failure -j $(JOBS)

test-tsan: deps
	CXX=clang++ cmake -S . -B build-tsan $(CMAKE_GEN) $(CCACHE) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DZEBLO_TSAN=ON -DZEBLO_BUILD_BENCH=OFF
	$(TSAN_ENV) cmake --build build-tsan -j $(JOBS)
	cd build-tsan && $(TSAN_ENV) ctest --output-on-failure -j $(JOBS)

# `make install PREFIX=/usr/local DESTDIR=/tmp/stage`; PREFIX defaults to the build's own.
PREFIX  ?=
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) $(if $(PREFIX),--prefix $(PREFIX))

# A Debian package, $(BUILD)/zeblo_VERSION_ARCH.deb, for `apt-get install ./build/zeblo_*.deb`.
package: build
	cd $(BUILD) && cpack -G DEB

# Then whole songs against the peer renderers installed on this machine (see the script), and
# zeblo-cli's start-up before its first rendered frame.
bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b; done
	@./bench/compare-peers.sh $(BUILD)
	@echo "== bench/startup.sh"; ./bench/startup.sh $(BUILD)

# Loader and sequencer fuzzing, then RCP conversion, then the preferences file, with clang's libFuzzer, ASan and
# UBSan; each bounded by FUZZ_TIME seconds. A conversion slower than 10 s counts as a hang.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DZEBLO_BUILD_TESTS=OFF -DZEBLO_BUILD_BENCH=OFF -DZEBLO_BUILD_FUZZ=ON -DZEBLO_SANITIZE=ON \
	  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
	cmake --build build-fuzz -j $(JOBS) --target fuzz_load_measure fuzz_rcp_convert fuzz_preferences
	mkdir -p build-fuzz/corpus && cp -n resources/*.mid fuzz/seeds/*.mid build-fuzz/corpus/ 2>/dev/null || true
	./build-fuzz/fuzz_load_measure -max_total_time=$(FUZZ_TIME) -rss_limit_mb=2048 build-fuzz/corpus
	mkdir -p build-fuzz/corpus-rcp && cp -n fuzz/seeds/*.rcp fuzz/seeds/*.g36 build-fuzz/corpus-rcp/ \
	  2>/dev/null || true
	./build-fuzz/fuzz_rcp_convert -max_total_time=$(FUZZ_TIME) -rss_limit_mb=2048 -timeout=10 \
	  build-fuzz/corpus-rcp
	mkdir -p build-fuzz/corpus-preferences && cp -n fuzz/seeds/*.bin build-fuzz/corpus-preferences/
	./build-fuzz/fuzz_preferences -max_total_time=$(FUZZ_TIME) -rss_limit_mb=2048 \
	  build-fuzz/corpus-preferences

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) build-fuzz build-asan build-tsan
