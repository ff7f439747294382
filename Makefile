# Thin wrapper around CMake + Ninja.
#   make        build the installer and the decode tool into build/dist/
#   make test   build (plain and sanitized) and run every test
#   make demo   run a whole installation in a throwaway sandbox (MAIL=1 adds the mail part)
#   make bench  compare the decode tool with base64 -d, and vdeliver with mail.local

BUILD      := build
ASAN_BUILD := build-asan
JOBS       ?= 2

.PHONY: all test deps demo bench format clean

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

demo: all
	$(BUILD)/tests/sandbox_demo $(if $(MAIL),--mail) $(BUILD)/dist

bench: all
	bench/decode_bench.sh $(BUILD)/dist/decode
	$(BUILD)/bench/mail_bench

format:
	git ls-files '*.cc' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
