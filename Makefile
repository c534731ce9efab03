# The two commands a newcomer needs: `make run` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps build run test deb fuzz screenshot bench clean

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "make run: there is no display (DISPLAY is not set). Run it from a desktop session, or see 'make screenshot'."; \
	  exit 1; fi
	@$(BUILD)/quorvel

# `make test`: every test in the plain build; the whole suite once more under
# AddressSanitizer and UndefinedBehaviorSanitizer (the end-to-end scripts only in the
# plain build: they drive the same code); then the fuzz target replays its seed
# corpus, each input once. Nothing in it explores at random, so it passes or fails
# the same way on every machine; `make fuzz` explores.
ASAN_BUILD ?= build-asan
SANITIZER_ENV = LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

test: build
	@cd $(BUILD) && ctest --output-on-failure
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_SANITIZE=ON >/dev/null
	@$(SANITIZER_ENV) cmake --build $(ASAN_BUILD) -j$(JOBS)
	@cd $(ASAN_BUILD) && $(SANITIZER_ENV) ctest --output-on-failure -E '^e2e_'
	@bash scripts/fuzz.sh replay

# `make deb`: the Debian package, $(BUILD)/quorvel_VERSION_ARCH.deb, checked by lintian.
deb: build
	@cd $(BUILD) && rm -f quorvel_*.deb && cpack -G DEB
	@lintian --info $(BUILD)/quorvel_*.deb

# `make fuzz`: fuzzing that explores, for FUZZ_SECONDS (scripts/fuzz.sh).
FUZZ_SECONDS ?= 600

fuzz: deps
	@bash scripts/fuzz.sh $(FUZZ_SECONDS)

screenshot: build
	@bash scripts/screenshot.sh $(BUILD)

# The benchmark runs in a Release build of its own, never in `make test`. Its
# peers that nothing else needs are installed here only.
BENCH_BUILD ?= build-release
BENCH_PACKAGES = graphicsmagick libvips-tools

bench:
	@bash scripts/install-deps.sh $(BENCH_PACKAGES)
	@cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BENCH_BUILD) -j$(JOBS) --target quorvel_bench
	@$(BENCH_BUILD)/bench/quorvel_bench $(BENCH_ARGS)

clean:
	rm -rf $(BUILD)
