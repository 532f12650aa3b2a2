# The README's commands. Each finds a Python >= 3.12 (set PYTHON to choose one),
# makes build/venv-X.Y and installs what it needs.
.PHONY: demo test test-ft tsan-python tsan bench sanitize valgrind fuzz clean

demo:
	scripts/demo.sh

test:
	scripts/test.sh

# The Python suite on a free-threaded CPython 3.13 (3.13t), which the first run
# builds from Debian's source package into ~/.cache/wayforge (needs root).
test-ft:
	scripts/test-ft.sh

# Builds (once) the free-threaded CPython with ThreadSanitizer and prints its path.
tsan-python:
	scripts/ft-python.sh --tsan

# The thread tests under ThreadSanitizer on that interpreter; a report fails the run.
tsan:
	scripts/tsan.sh

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
