# Thin wrapper over the CMake presets. `make test` and `make demo` work on a fresh machine.
JOBS ?= $(shell nproc)

.PHONY: deps test demo tsan bench build-debug build-release clean

deps:
	@scripts/install-deps.sh

build-debug: deps
	cmake --preset debug >/dev/null
	cmake --build --preset debug -j $(JOBS)

test: build-debug
	ctest --preset debug -j $(JOBS)

tsan: deps
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan

build-release: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

bench: build-release
	@for b in build/release/bench/*/*_bench; do echo "== $$b"; $$b; done

demo: build-release
	build/release/examples/demo_host/lumora-demo $(ARGS)

clean:
	rm -rf build
