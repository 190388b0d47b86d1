# The two commands of the README: `make demo` and `make test`. Both install what is missing
# on a Debian machine first.
JOBS ?= $(shell nproc)
# How long `make fuzz` runs each fuzz target.
FUZZ_SECONDS ?= 60

.PHONY: setup demo test build build-asan windows test-asan check-dlls format format-check clean \
        build-fuzz fuzz fuzz-smoke dist bench

setup:
	@sh scripts/setup.sh

build: setup
	cmake --preset linux-i686 >/dev/null
	cmake --build --preset linux-i686 -j $(JOBS) --target plughost TAVIN ostrel

build-asan: setup
	cmake --preset linux-i686-asan >/dev/null
	cmake --build --preset linux-i686-asan -j $(JOBS)

windows: setup
	cmake --preset mingw-i686 >/dev/null
	cmake --build --preset mingw-i686 -j $(JOBS)

demo: build
	sh scripts/demo.sh build/linux-i686

VALIDATE_REPORT = build/linux-i686-asan/plughost-validate.xml
test-asan: build-asan
	ctest --preset linux-i686-asan -j $(JOBS)
	@echo "plughost validate: seed $$(sed -n 's/.*name="seed" value="\([0-9]*\)".*/\1/p' \
	  $(VALIDATE_REPORT) | head -n 1), JUnit report $(VALIDATE_REPORT)"

build-fuzz: setup
	cmake --preset linux-i686-fuzz >/dev/null
	cmake --build --preset linux-i686-fuzz -j $(JOBS) --target fuzz_all

# Every fuzz target for FUZZ_SECONDS over its generated seeds and the corpus it has grown.
fuzz: build-fuzz
	sh fuzz/run.sh build/linux-i686-fuzz seconds $(FUZZ_SECONDS)

# A short bounded run of every target: part of the test command.
fuzz-smoke: build-fuzz
	sh fuzz/run.sh build/linux-i686-fuzz runs 3000

# What a user copies: stripped DLLs and .so files with MANIFEST.txt, in build/dist.
dist: windows build
	sh scripts/dist.sh build/mingw-i686 build/linux-i686 build/dist
	cmake/run-i386.sh build/linux-i686/tools/plughost/plughost info build/dist/TAVIN.so \
	  build/dist/ostrel.so build/dist/TAVIN.dll build/dist/ostrel.dll >/dev/null

# Benchmarks of the optimised build (numbers for people, not pass or fail).
bench: build
	cmake --build --preset linux-i686 -j $(JOBS) --target slot_call_bench
	cmake/run-i386.sh build/linux-i686/tests/slot_call_bench

check-dlls: dist
	sh scripts/check-dlls.sh build/dist

format-check:
	sh scripts/format.sh --check

format:
	sh scripts/format.sh

test: test-asan fuzz-smoke check-dlls format-check
	@echo "all checks passed"

clean:
	rm -rf build
