# Thin wrappers around CMake; each first installs the Debian packages it needs when absent.
JOBS ?= $(shell nproc)
CMAKE_GEN := -G Ninja
# The sanitized builds keep line tables, all that the sanitizers' reports read,
# and build at -O1, as the sanitizers advise: the library builds in 60% of the
# time of -O2 -g.
SANITIZED := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG"
# The thread-sanitized library serves one short threaded test: unoptimised, it
# builds in 60% of the time and the sanitizer sees every access as written.
THREAD_SANITIZED := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O0 -g1 -DNDEBUG"

.PHONY: build test tsan run clean

build:
	@.ci/install-packages
	cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DQRO_SANITIZE=OFF -DQRO_WERROR=OFF
	cmake --build build -j $(JOBS)

run:
	@.ci/install-packages
	cmake -S . -B build $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DQRO_SANITIZE=OFF -DQRO_WERROR=OFF
	@if [ ! -f app/main.cpp ]; then echo "the program is not built yet"; exit 1; fi
	cmake --build build -j $(JOBS) --target spring
	./build/app/spring

test:
	@.ci/install-packages
	cmake -S . -B build-test $(CMAKE_GEN) $(SANITIZED) -DQRO_SANITIZE=ON -DQRO_BUILD_BENCH=OFF -DQRO_WERROR=ON
	cmake --build build-test -j $(JOBS)
	cd build-test && ctest --output-on-failure -j $(JOBS)

# The library and the threaded test alone, built with the thread sanitizer.
tsan:
	@.ci/install-packages
	cmake -S . -B build-tsan $(CMAKE_GEN) $(THREAD_SANITIZED) -DQRO_TSAN=ON -DQRO_BUILD_BENCH=OFF -DQRO_BUILD_APP=OFF -DQRO_WERROR=ON
	cmake --build build-tsan -j $(JOBS) --target test_threads
	cd build-tsan && ctest --output-on-failure -R '^Threads\.'

clean:
	rm -rf build build-test build-tsan
