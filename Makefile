# vorlex front door.
#   make         build build/vorlex.mex (and the tests)
#   make deps    install the Debian packages the project needs (as root)
#   make demo    deps + build, then run examples/demo.m against a server
#   make check   deps + build with warnings as errors, then every test through ctest: the
#                unit tier without a server, the server tier with one, the security tier
#                with TLS-only servers of its own (scripts/check.sh)
#   make sanitize  deps + a build with AddressSanitizer and UBSan in build-sanitize, then
#                every test against it
#   make bench   deps + the module and the baselines, then bench/run.sh, bench/run_stream.sh,
#                bench/run_batch.sh and bench/run_small.sh (resultGet, copyOut, query, chunked
#                reads, batchExec, copyIn, small queries and held results against plain libpq
#                and psql, on one server)
#   make portable  build-portable/vorlex.mex with the MEX-only host backend (documented
#                MEX/MX functions only, as for MATLAB), and check its symbols
#   make dist    vorlex-<version>.tar.gz, an Octave package for pkg install
#                (scripts/make_dist.sh)
BUILD := build
SANITIZE_BUILD := $(BUILD)-sanitize
PORTABLE := build-portable
JOBS := $(shell nproc)
# Extra CMake options for the build target (check adds -DVORLEX_WERROR=ON).
CMAKE_OPTIONS :=

.PHONY: all build deps demo check sanitize bench portable dist clean

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLEX_SANITIZE=OFF $(CMAKE_OPTIONS)
	cmake --build $(BUILD) -j $(JOBS)

deps:
	@scripts/deps.sh

demo: deps
	$(MAKE) build
	scripts/with_server.sh octave-cli --norc --no-history --quiet examples/demo.m

check: deps
	$(MAKE) build CMAKE_OPTIONS=-DVORLEX_WERROR=ON
	scripts/check.sh $(BUILD)

# The same tests against sanitized code, in a folder of its own so that
# make check keeps compiling each source once; the Octave tests preload the
# sanitizers' runtimes (CMakeLists.txt).
sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLEX_SANITIZE=ON \
	      -DVORLEX_BENCH=OFF
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	scripts/check.sh $(SANITIZE_BUILD)

# Builds only what the benchmarks run (the unit tests take minutes), then
# runs the reads (resultGet, copyOut; query and chunked reads), the writes
# (batchExec, copyIn) and the small queries and held results against plain
# libpq on one server.
bench: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLEX_SANITIZE=OFF -DVORLEX_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS) --target vorlex baseline_read baseline_write baseline_small
	scripts/with_server.sh sh -c 'bench/run.sh "$$1" && bench/run_stream.sh "$$1" && bench/run_batch.sh "$$1" && bench/run_small.sh "$$1"' sh $(BUILD)

portable: deps
	cmake -S . -B $(PORTABLE) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLEX_HOST_BACKEND=mex \
	      -DVORLEX_TESTS=OFF -DVORLEX_BENCH=OFF
	cmake --build $(PORTABLE) -j $(JOBS) --target vorlex vorlex_matelement function_files
	scripts/check_portable_symbols.sh $(PORTABLE)/vorlex.mex

dist:
	scripts/make_dist.sh .

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(PORTABLE)
