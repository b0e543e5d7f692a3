# vorlex front door.
#   make         build build/vorlex.mex (and the tests)
#   make deps    install the Debian packages the project needs (as root)
#   make demo    deps + build, then run examples/demo.m against a server
#   make check   deps + build, then every test through ctest
#   make bench   deps + the module and the baselines, then bench/run.sh and bench/run_batch.sh
#                (resultGet, copyOut, batchExec and copyIn against plain libpq, on one server)
#   make portable  build-portable/vorlex.mex with the MEX-only host backend (documented
#                MEX/MX functions only, as for MATLAB), and check its symbols
BUILD := build
PORTABLE := build-portable
JOBS := $(shell nproc)

.PHONY: all build deps demo check bench portable clean

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
# runs the reads (resultGet, copyOut) and the writes (batchExec, copyIn)
# against plain libpq on one server.
bench: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLEX_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS) --target vorlex baseline_read baseline_write
	scripts/with_server.sh sh -c 'bench/run.sh "$$1" && bench/run_batch.sh "$$1"' sh $(BUILD)

portable: deps
	cmake -S . -B $(PORTABLE) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLEX_HOST_BACKEND=mex \
	      -DVORLEX_TESTS=OFF -DVORLEX_BENCH=OFF
	cmake --build $(PORTABLE) -j $(JOBS) --target vorlex vorlex_matelement function_files
	scripts/check_portable_symbols.sh $(PORTABLE)/vorlex.mex

clean:
	rm -rf $(BUILD) $(PORTABLE)
