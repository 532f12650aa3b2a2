# The README's commands. Each finds a Python >= 3.12 (set PYTHON to choose one),
# makes build/venv-X.Y and installs what it needs.
.PHONY: demo test bench sanitize valgrind fuzz clean

demo:
	scripts/demo.sh

test:
	scripts/test.sh

bench:
	scripts/bench.sh

clean:
	rm -rf build

# The Python suite under AddressSanitizer + UndefinedBehaviorSanitizer.
sanitize:
	scripts/sanitize.sh

# A representative subset of the Python suite under valgrind (slow).
valgrind:
	scripts/valgrind.sh

# The libFuzzer harnesses of the C++ core, FUZZ_SECONDS each (default 60);
# needs clang 15 or later with its compiler-rt.
fuzz:
	scripts/fuzz.sh $(FUZZ_SECONDS)
