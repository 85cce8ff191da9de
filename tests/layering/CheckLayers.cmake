# Refuses a unit that includes a layer above its own. Run as a test:
#   cmake -DROOT=<source folder> -P CheckLayers.cmake
# The layers, lowest first; a unit may include its own layer and those below it. A folder that
# is not listed is no layer of the system (tests, benchmarks) and may include any.
set(LAYERS
  platform
  common
  UpdateManager/product
  UpdateManager/http
  UpdateManager/download
  UpdateManager/install
  UpdateManager/scanner
  UpdateManager
  app
)

if(NOT ROOT)
  message(FATAL_ERROR "CheckLayers.cmake needs -DROOT=<source folder>")
endif()

# The rank of the layer that holds `path` (relative to ROOT), by its longest listed folder; -1
# for none.
function(layer_rank path out)
  set(best -1)
  set(bestLength -1)
  set(rank 0)
  foreach(layer IN LISTS LAYERS)
    string(LENGTH "${layer}/" length)
    string(SUBSTRING "${path}" 0 ${length} prefix)
    if(prefix STREQUAL "${layer}/" AND length GREATER bestLength)
      set(best ${rank})
      set(bestLength ${length})
    endif()
    math(EXPR rank "${rank} + 1")
  endforeach()
  set(${out} ${best} PARENT_SCOPE)
endfunction()

set(violations "")
foreach(layer IN LISTS LAYERS)
  file(GLOB sources RELATIVE "${ROOT}" "${ROOT}/${layer}/*.h" "${ROOT}/${layer}/*.cpp" "${ROOT}/${layer}/*.c")
  foreach(source IN LISTS sources)
    layer_rank("${source}" own)
    file(STRINGS "${ROOT}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*$" "\\1" included "${line}")
      if(included MATCHES "^tests/" OR included MATCHES "^bench/")
        list(APPEND violations "${source} includes ${included}: test code")
        continue()
      endif()
      layer_rank("${included}" theirs)
      if(theirs EQUAL -1)
        if(NOT included MATCHES "/")
          list(APPEND violations "${source} includes ${included}: name the folder")
        endif()
        continue()
      endif()
      if(theirs GREATER own)
        list(APPEND violations "${source} includes ${included}: a layer above its own")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "Includes against the layering:\n  ${text}")
endif()
message(STATUS "Every include points to its own layer or one below")
