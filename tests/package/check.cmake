# Installs the library into a fresh prefix, then builds and runs the programs of
# this folder and the examples as an outside project would: through
# find_package(qro), and the two programs solve and extend through pkg-config
# too. Run by ctest with QRO_BINARY_DIR, SOURCE, WORK, CXX, GENERATOR,
# BUILD_TYPE, BUILD_FLAGS (the build type's flags) and LIBDIR set.
file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/prefix)
set(type_flags)
if(BUILD_TYPE)
  string(TOUPPER ${BUILD_TYPE} type)
  set(type_flags "-DCMAKE_CXX_FLAGS_${type}=${BUILD_FLAGS}")
endif()

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status}):\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

function(expect program text)
  run("${program}" ${program})
  if(NOT out STREQUAL "${text}\n")
    message(FATAL_ERROR "${program} printed \"${out}\", expected \"${text}\"")
  endif()
endfunction()

run("install" ${CMAKE_COMMAND} --install ${QRO_BINARY_DIR} --prefix ${prefix})

# find_package(qro REQUIRED) and qro::qro.
run("configuring the outside project" ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK}/cmake -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
    ${type_flags})
run("building the outside project" ${CMAKE_COMMAND} --build ${WORK}/cmake)
expect(${WORK}/cmake/solve "x = 1, y = 5")
expect(${WORK}/cmake/extend "x = 3")
run("the README's statements" ${WORK}/cmake/readme)
# Each example checks its own answer.
file(GLOB examples ${SOURCE}/../../examples/*.cpp)
foreach(source ${examples})
  get_filename_component(name ${source} NAME_WE)
  run("example ${name}" ${WORK}/cmake/example_${name})
endforeach()

# pkg-config --cflags --libs qro.
find_program(PKG_CONFIG pkg-config)
if(NOT PKG_CONFIG)
  message(FATAL_ERROR "pkg-config is not installed")
endif()
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
run("pkg-config" ${PKG_CONFIG} --cflags --libs qro)
separate_arguments(flags UNIX_COMMAND "${out}")
foreach(program solve extend)
  run("compiling ${program} with pkg-config's flags" ${CXX} -std=c++17 ${SOURCE}/${program}.cpp
      ${flags} -o ${WORK}/pc-${program})
endforeach()
expect(${WORK}/pc-solve "x = 1, y = 5")
expect(${WORK}/pc-extend "x = 3")
