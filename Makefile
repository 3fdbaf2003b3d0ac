# Convenience front end to the CMake build in build/.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all configure test demo bench fuzz clean

all: configure
	cmake --build $(BUILD) -j $(JOBS)

configure:
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

test: all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Starts Drelk in a scratch folder holding the samples, with the stand-in tools first on PATH.
demo: all
	rm -rf $(BUILD)/demo-run
	mkdir -p $(BUILD)/demo-run
	cp demo/samples/* $(BUILD)/demo-run/
	cd $(BUILD)/demo-run && PATH="$(abspath $(BUILD))/demo/bin:$$PATH" ../drelk

clean:
	rm -rf $(BUILD)

# Relay benchmark: prints a table of figures; BENCH_ARGS="--mb 100 --runs 7" to change it.
bench: configure
	cmake --build $(BUILD) -j $(JOBS) --target relay_bench drelk
	$(BUILD)/relay_bench --drelk $(BUILD)/drelk $(BENCH_ARGS)

# Dialogue fuzzing with libFuzzer for FUZZ_SECONDS (clang); new inputs go to build-fuzz/corpus.
FUZZ_SECONDS ?= 60
fuzz:
	@test -f build-fuzz/CMakeCache.txt || cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DDRELK_FUZZ=ON -DBUILD_TESTING=OFF
	cmake --build build-fuzz -j $(JOBS) --target dialogue_fuzz
	mkdir -p build-fuzz/corpus
	build-fuzz/dialogue_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=8192 -timeout=10 \
	  -artifact_prefix=$(abspath build-fuzz)/ $(abspath build-fuzz/corpus) $(abspath tests/fuzz/corpus)
