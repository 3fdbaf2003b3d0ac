# Convenience front end to the CMake build in build/. Plain make syntax, so
# that GNU make and BSD make read it alike.
BUILD = build
CMAKE_FLAGS =
JOBS =
BENCH_ARGS =
FUZZ_SECONDS = 60
# The number of parallel jobs: JOBS when given, else one per processor.
JOBS_SH = j='$(JOBS)'; j=$${j:-$$(getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2)}

all: configure
	@$(JOBS_SH); cmake --build $(BUILD) -j $$j

# Configures on the first run, and afresh whenever CMAKE_FLAGS differ from
# the flags the build was last configured with: a flag left out goes back to
# its default.
configure:
	@flags='$(CMAKE_FLAGS)'; \
	if [ ! -f $(BUILD)/CMakeCache.txt ] || [ "$$flags" != "$$(cat $(BUILD)/.cmake-flags 2>/dev/null)" ]; then \
	  rm -f $(BUILD)/CMakeCache.txt; \
	  cmake -S . -B $(BUILD) $(CMAKE_FLAGS) && printf '%s' "$$flags" > $(BUILD)/.cmake-flags; \
	fi

test: all
	@$(JOBS_SH); cd $(BUILD) && ctest --output-on-failure -j $$j

# Builds only Drelk and the stand-ins, then starts Drelk in a scratch folder
# holding the samples, with the stand-in tools first on PATH.
demo: configure
	@$(JOBS_SH); cmake --build $(BUILD) -j $$j --target drelk drelk-standin
	@grep -q '^DRELK_HAVE_LINE_EDITING:INTERNAL=ON' $(BUILD)/CMakeCache.txt || \
	  echo "Line editing is off: install libedit-dev (Debian) and run make demo again."
	rm -rf $(BUILD)/demo-run
	mkdir -p $(BUILD)/demo-run
	cp demo/samples/* $(BUILD)/demo-run/
	cd $(BUILD)/demo-run && PATH="$$(cd .. && pwd)/demo/bin:$$PATH" ../drelk

clean:
	rm -rf $(BUILD)

# Relay benchmark: prints a table of figures; BENCH_ARGS="--mb 100 --runs 7" to change it.
bench: configure
	@$(JOBS_SH); cmake --build $(BUILD) -j $$j --target relay_bench drelk
	$(BUILD)/relay_bench --drelk $(BUILD)/drelk $(BENCH_ARGS)

# Dialogue fuzzing with libFuzzer for FUZZ_SECONDS (clang); new inputs go to build-fuzz/corpus.
fuzz:
	@test -f build-fuzz/CMakeCache.txt || cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DDRELK_FUZZ=ON -DBUILD_TESTING=OFF
	@$(JOBS_SH); cmake --build build-fuzz -j $$j --target dialogue_fuzz
	mkdir -p build-fuzz/corpus
	build-fuzz/dialogue_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=8192 -timeout=10 \
	  -artifact_prefix="$$(pwd)/build-fuzz/" "$$(pwd)/build-fuzz/corpus" "$$(pwd)/tests/fuzz/corpus"

package: all
	cd $(BUILD) && cpack

.PHONY: all configure test demo bench fuzz clean package
