# Compiles throwaway files, each including one header, with the include
# directories of a layer's own target (MODELLING, ENGINE, CONSTRAINTS, SOLVER:
# each a list joined by "|"): the headers of the layer and of the layers below
# compile, a header of a layer above is not found. Run by ctest with CXX and
# WORK set.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

# Per layer, an installed header and one that stays next to its sources.
set(modelling_headers qroenv.h)
set(engine_headers qrcmanager.h qrcoperands.h)
set(constraints_headers qrcdistribute.h qrcmatching.h)
set(solver_headers qrosolveri.h qrosolverglue.h)
# Included from below, these are not found either: the constraints' headers
# that the engine once included, and headers named from the source root.
set(constraints_above qrcelement.h qrcintsetcst.h constraints/int/qrcmatching.h
    include/constraints/qrcdistribute.h)
set(solver_above solver/qrosolverglue.h include/solver/qrosolveri.h)
set(engine_above engine/core/qrcoperands.h)

set(layers modelling engine constraints solver)
set(faults "")

# Compiles a file that includes header with the directories of layer; sets
# found to whether the header was found (and compiled).
function(probe layer header)
  string(TOUPPER ${layer} key)
  string(REPLACE "|" ";" dirs "${${key}}")
  set(flags)
  foreach(dir ${dirs})
    list(APPEND flags -I${dir})
  endforeach()
  string(MAKE_C_IDENTIFIER "${layer}_${header}" stem)
  file(WRITE ${WORK}/${stem}.cpp "#include \"${header}\"\n")
  execute_process(COMMAND ${CXX} -std=c++17 -frounding-math -fsyntax-only ${flags}
                          ${WORK}/${stem}.cpp
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  # The compiler names the header it did not find (GCC, then Clang).
  string(FIND "${err}" "${header}: No such file" gcc)
  string(FIND "${err}" "'${header}' file not found" clang)
  if(status EQUAL 0)
    set(found TRUE PARENT_SCOPE)
  elseif(gcc GREATER_EQUAL 0 OR clang GREATER_EQUAL 0)
    set(found FALSE PARENT_SCOPE)
  else()
    message(FATAL_ERROR "${header} in the ${layer} layer: neither found nor missing:\n${err}")
  endif()
endfunction()

foreach(layer ${layers})
  set(below TRUE)
  foreach(other ${layers})
    if(below)
      foreach(header ${${other}_headers})
        probe(${layer} ${header})
        if(NOT found)
          list(APPEND faults "the ${layer} layer does not see ${header} (${other})")
        endif()
      endforeach()
    else()
      foreach(header ${${other}_headers} ${${other}_above})
        probe(${layer} ${header})
        if(found)
          list(APPEND faults "the ${layer} layer sees ${header} (${other}, a layer above)")
        endif()
      endforeach()
    endif()
    if(other STREQUAL layer)
      set(below FALSE)
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n" text)
  message(FATAL_ERROR "${text}")
endif()
