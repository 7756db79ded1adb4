# Front door for newcomers and CI. `make demo` shows the program working; `make test` runs every test.
.PHONY: all bootstrap build test test-asan format-check demo bench clean

all: build

bootstrap:
	@./scripts/bootstrap build demo test

build: bootstrap
	@cmake --preset default >/dev/null
	@cmake --build --preset default

test: build
	@ctest --preset default

test-asan: bootstrap
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan
	@ctest --preset asan

format-check:
	@./scripts/format-check

# The demo installs and builds only what it runs: the two programs and its private display.
demo:
	@./scripts/demo

bench: build
	@./scripts/bench

clean:
	@rm -rf build
