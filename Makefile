# Thin wrappers around CMake.
JOBS ?= $(shell nproc)
CMAKE_GEN := -G Ninja

.PHONY: build test tsan run clean

build:
	cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DQRO_SANITIZE=OFF
	cmake --build build -j $(JOBS)

run:
	cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DQRO_SANITIZE=OFF
	@if [ ! -f app/main.cpp ]; then echo "the program is not built yet"; exit 1; fi
	cmake --build build -j $(JOBS) --target spring
	./build/app/spring

test:
	cmake -S . -B build-test $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQRO_SANITIZE=ON -DQRO_BUILD_BENCH=OFF
	cmake --build build-test -j $(JOBS)
	cd build-test && ctest --output-on-failure -j $(JOBS)

# The library and the threaded test alone, built with the thread sanitizer.
tsan:
	cmake -S . -B build-tsan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQRO_TSAN=ON -DQRO_BUILD_BENCH=OFF -DQRO_BUILD_APP=OFF
	cmake --build build-tsan -j $(JOBS) --target test_threads
	cd build-tsan && ctest --output-on-failure -R '^Threads\.'

clean:
	rm -rf build build-test build-tsan
