# Short commands for the two builds. `make test` is what CI runs.
JOBS ?= 2
NATIVE := build/native
WINDOWS := build/windows
ASAN := build/asan
# Seconds per harness for `make fuzz` (CI runs each for 15).
FUZZ_SECONDS ?= 300

.PHONY: all native windows asan fuzz test bench accuracy corpus demo release clean

all: native windows

native:
	cmake -S . -B $(NATIVE) -G Ninja
	cmake --build $(NATIVE) -j$(JOBS)

windows:
	cmake -S . -B $(WINDOWS) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WINDOWS) -j$(JOBS)

asan:
	cmake -S . -B $(ASAN) -G Ninja -DKLAVIX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(ASAN) -j$(JOBS)

# The libFuzzer harnesses (clang, build/fuzz), each for FUZZ_SECONDS; FUZZ_HARNESSES picks some.
fuzz:
	JOBS=$(JOBS) bash scripts/fuzz.sh $(FUZZ_SECONDS)

test:
	bash scripts/test.sh

bench: native
	bash scripts/bench.sh $(NATIVE)

# The accuracy table on the public corpus (made from Debian packages on first use).
accuracy:
	cmake -S . -B $(NATIVE) -G Ninja
	cmake --build $(NATIVE) -j$(JOBS) --target klavix-accuracy
	bash scripts/accuracy.sh $(NATIVE)

corpus:
	bash scripts/make-corpus.sh

demo:
	bash scripts/demo.sh

release:
	bash scripts/release.sh

clean:
	rm -rf build
