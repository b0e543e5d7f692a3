# vorlex front door.
#   make         build build/vorlex.mex (and the tests)
#   make deps    install the Debian packages the project needs (as root)
#   make demo    deps + build, then run examples/demo.m against a server
#   make check   deps + build, then every test through ctest
#   make bench   deps + the module and the baselines, then bench/run.sh, bench/run_batch.sh and
#                bench/run_small.sh (resultGet, copyOut, batchExec, copyIn, small queries and
#                held results against plain libpq, on one server)
BUILD := build
JOBS := $(shell nproc)

.PHONY: all build deps demo check bench clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

deps:
	@scripts/deps.sh

demo: deps
	$(MAKE) build
	scripts/with_server.sh octave-cli --norc --no-history --quiet examples/demo.m

check: deps
	$(MAKE) build
	scripts/check.sh $(BUILD)

# Builds only what the benchmarks run (the unit tests take minutes), then
# runs the reads (resultGet, copyOut), the writes (batchExec, copyIn) and
# the small queries and held results against plain libpq on one server.
bench: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLEX_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS) --target vorlex baseline_read baseline_write baseline_small
	scripts/with_server.sh sh -c 'bench/run.sh "$$1" && bench/run_batch.sh "$$1" && bench/run_small.sh "$$1"' sh $(BUILD)

clean:
	rm -rf $(BUILD)
