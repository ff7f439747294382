# Thin wrapper around CMake + Ninja.
#   make        build the installer and the decode tool into build/dist/
#   make test   build (plain and sanitized) and run every test
#   make demo   preview a whole installation on a throwaway view of this host (MAIL=1 adds the mail part)
#   make dist   the release archive build/qvinstall-<version>.tar.gz
#   make fuzz   run the fuzz targets for SECONDS in all (default 600)
#   make bench  measure extraction, decoding and packing against their floors,
#               vdeliver against mail.local and vpop3d against reading the mailbox

BUILD      := build
ASAN_BUILD := build-asan
FUZZ_BUILD := build-fuzz
JOBS       ?= 2
# Each fuzz target's share of make test, in seconds.
FUZZ_SECONDS ?= 4
SECONDS    ?= 600

.PHONY: all test deps demo dist bench fuzz fuzz-targets format clean

all: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON

deps:
	tests/install-test-deps.sh

test: deps all $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) -j $(JOBS) --output-on-failure --timeout 600
	ctest --test-dir $(ASAN_BUILD) -j $(JOBS) --output-on-failure --timeout 600
	$(MAKE) fuzz-targets
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

$(FUZZ_BUILD)/build.ninja:
	CXX=clang++-14 cmake -S fuzz -B $(FUZZ_BUILD) -G Ninja

fuzz-targets: $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

fuzz: fuzz-targets
	targets=$$(ls $(FUZZ_BUILD)/*_fuzz | wc -l); \
	  fuzz/run.sh $(FUZZ_BUILD) $$(( $(SECONDS) / targets > 0 ? $(SECONDS) / targets : 1 ))

# Only what the demo runs: the installer (with the package it carries), the
# decode tool and the preview.
demo: $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target qvinstall decode qvpreview
	demo/demo.sh $(BUILD)/dist $(if $(MAIL),--mail)

dist: all
	cmake --build $(BUILD) --target dist

bench: deps all fuzz-targets
	bench/run.sh $(BUILD) $(FUZZ_BUILD) $(FUZZ_SECONDS) --readme

format:
	git ls-files '*.cc' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
