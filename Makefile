# The one front door: make, make test, make demo, make bench.
JOBS ?= $(shell nproc)
BUILD := build
TEST_BUILD := build-test
BENCH_BUILD := build-bench

.PHONY: all test fuzz demo bench clean

all:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DPLUVO_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS)

# Tests run under AddressSanitizer and UndefinedBehaviorSanitizer in their own build folder.
test:
	cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Debug -DPLUVO_SANITIZE=ON -DPLUVO_TESTS=ON
	cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j $(JOBS)

# A bounded, deterministic pass of the mutation fuzzer over the example projects (after make test).
fuzz:
	$(TEST_BUILD)/tests/fuzz/pluvo_fuzz --binary $(TEST_BUILD)/pluvo --examples examples \
		--seconds 45 --seed 1 --out $(TEST_BUILD)/fuzz-findings

# Both ways of giving surface and soil properties: uniform cards, and mapping tables with index maps;
# then overland erosion of sand, silt and clay, a dissolved contaminant and the nine nutrients
# carried by the storm.
# Each project runs on a copy of itself under $(BUILD)/demo/, so that its outputs never land beside
# the inputs in examples/ (where the fuzzer would take them for inputs).
DEMO_DIR := $(BUILD)/demo
DEMOS := demo demo-tables demo-sediment demo-contaminant demo-nutrients
demo: all
	rm -rf $(DEMO_DIR) && mkdir -p $(DEMO_DIR)
	for d in $(DEMOS); do cp -r examples/$$d $(DEMO_DIR)/$$d || exit 1; done
	cd $(DEMO_DIR)/demo && mkdir -p out && ../../pluvo demo.prj
	cd $(DEMO_DIR)/demo-tables && ../../pluvo demo_tables.prj
	cd $(DEMO_DIR)/demo-sediment && ../../pluvo demo_sediment.prj
	cd $(DEMO_DIR)/demo-contaminant && ../../pluvo demo_contaminant.prj
	cd $(DEMO_DIR)/demo-nutrients && ../../pluvo demo_nutrients.prj

bench:
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DPLUVO_TESTS=OFF -DPLUVO_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(BENCH_BUILD)
