# The README's commands. Each finds a Python >= 3.12 (set PYTHON to choose one),
# makes build/venv-X.Y and installs what it needs.
.PHONY: demo test bench sanitize clean

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
