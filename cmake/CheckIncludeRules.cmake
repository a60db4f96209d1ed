# Checks every include line of the tree against the include rules: the table under "## Include rules" in
# ARCHITECTURE.md, the one place the allowed directions are written.
#
#   cmake -DLUMORA_SOURCE_DIR=<tree> -P cmake/CheckIncludeRules.cmake
#
# A row `| folder | folders it may include |` names the folders a folder's own code may include directly; what
# those may include is allowed too (the rule is the closure), so the table lists only the near neighbours. `*`
# allows any folder's public headers; `tests` makes the whole folder test support (a harness that drives a host
# the way tests do), checked as test code. On top of the table:
#  - a folder's `detail/` headers are its own: no other folder includes them;
#  - `testing/` headers are test support: only tests (`*_test.cpp`), other `testing/` headers, benchmarks and fuzz
#    targets include them (and the folder's own code, which implements the test hooks they declare);
#  - test code of a folder may include what the folder may, those folders' `testing/` headers, and the local back
#    end (`tools/devserver`, the tests' fixture) with what it may include.
# Includes are written "<folder name>/<header>" from the root of their layer (platform/, src/, tools/), so the
# first component of a quoted include names the folder; includes of other libraries are not checked.
# Every folder with sources must have a row: a new folder states its place when it is made.
cmake_minimum_required(VERSION 3.25)
if(NOT LUMORA_SOURCE_DIR)
  get_filename_component(LUMORA_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
endif()

# The table.
file(STRINGS "${LUMORA_SOURCE_DIR}/ARCHITECTURE.md" _lines)
set(_in_rules FALSE)
set(_folders "")
foreach(_line IN LISTS _lines)
  if(_line MATCHES "^## ")
    if(_line STREQUAL "## Include rules")
      set(_in_rules TRUE)
    else()
      set(_in_rules FALSE)
    endif()
    continue()
  endif()
  if(NOT _in_rules OR NOT _line MATCHES "^\\| *`([^`]+)` *\\|([^|]*)\\|")
    continue()
  endif()
  set(_folder "${CMAKE_MATCH_1}")
  string(REGEX MATCHALL "`[^`]+`" _deps "${CMAKE_MATCH_2}")
  string(REPLACE "`" "" _deps "${_deps}")
  if(NOT IS_DIRECTORY "${LUMORA_SOURCE_DIR}/${_folder}")
    message(SEND_ERROR "include rules: the row `${_folder}` names no folder of the tree")
  endif()
  list(APPEND _folders "${_folder}")
  set("_direct_${_folder}" "${_deps}")
endforeach()
if(NOT _folders)
  message(FATAL_ERROR "include rules: no table under \"## Include rules\" in ARCHITECTURE.md")
endif()

# Folder names as includes spell them: "uikit/..." is platform/uikit, "controls/..." is src/controls.
foreach(_folder IN LISTS _folders)
  if(_folder MATCHES "^(platform|src|tools)/([^/]+)$")
    set("_owner_${CMAKE_MATCH_2}" "${_folder}")
  endif()
endforeach()

# What each folder may include: the closure of its row.
function(_closure folder out)
  set(_seen "")
  set(_todo ${_direct_${folder}})
  while(_todo)
    list(POP_FRONT _todo _next)
    if(_next IN_LIST _seen)
      continue()
    endif()
    list(APPEND _seen "${_next}")
    if(NOT _next STREQUAL "*" AND NOT _next STREQUAL "tests")
      if(NOT _next IN_LIST _folders)
        message(SEND_ERROR "include rules: `${folder}` names `${_next}`, which has no row")
        continue()
      endif()
      list(APPEND _todo ${_direct_${_next}})
    endif()
  endwhile()
  set(${out} "${_seen}" PARENT_SCOPE)
endfunction()
foreach(_folder IN LISTS _folders)
  _closure("${_folder}" _allowed)
  set("_allowed_${_folder}" "${_allowed}")
endforeach()
set(_backend "tools/devserver")
set(_backend_closure "")
if(_backend IN_LIST _folders)
  set(_backend_closure "${_backend};${_allowed_${_backend}}")
endif()

# Every source of the checked layers.
file(GLOB_RECURSE _sources RELATIVE "${LUMORA_SOURCE_DIR}"
  "${LUMORA_SOURCE_DIR}/platform/*.h" "${LUMORA_SOURCE_DIR}/platform/*.cpp"
  "${LUMORA_SOURCE_DIR}/src/*.h" "${LUMORA_SOURCE_DIR}/src/*.cpp"
  "${LUMORA_SOURCE_DIR}/tools/*.h" "${LUMORA_SOURCE_DIR}/tools/*.cpp"
  "${LUMORA_SOURCE_DIR}/examples/*.h" "${LUMORA_SOURCE_DIR}/examples/*.cpp")
set(_violations 0)
set(_checked 0)
foreach(_file IN LISTS _sources)
  if(NOT _file MATCHES "^([^/]+/[^/]+)/")
    continue()
  endif()
  set(_folder "${CMAKE_MATCH_1}")
  if(NOT _folder IN_LIST _folders)
    message(SEND_ERROR "include rules: ${_file}: the folder `${_folder}` has no row in the table")
    math(EXPR _violations "${_violations} + 1")
    continue()
  endif()
  set(_is_test FALSE)
  if(_file MATCHES "_test\\.cpp$" OR _file MATCHES "/testing/" OR "tests" IN_LIST _direct_${_folder})
    set(_is_test TRUE)
  endif()
  set(_allowed ${_allowed_${_folder}})
  if(_is_test)
    list(APPEND _allowed ${_backend_closure})
  endif()
  file(STRINGS "${LUMORA_SOURCE_DIR}/${_file}" _includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"/]+/")
  math(EXPR _checked "${_checked} + 1")
  foreach(_include IN LISTS _includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*$" "\\1" _path "${_include}")
    string(REGEX REPLACE "/.*$" "" _name "${_path}")
    if(NOT DEFINED "_owner_${_name}")
      continue()
    endif()
    set(_target "${_owner_${_name}}")
    set(_why "")
    if(_path MATCHES "/detail/" AND NOT _target STREQUAL _folder)
      set(_why "another folder's detail/ header")
    elseif(_path MATCHES "/testing/" AND NOT _is_test AND NOT _target STREQUAL _folder)
      set(_why "test support in code that is not a test")
    elseif(NOT _target STREQUAL _folder AND NOT _target IN_LIST _allowed AND NOT "*" IN_LIST _allowed)
      set(_why "`${_folder}` may not include `${_target}`")
    endif()
    if(_why)
      message(SEND_ERROR "include rules: ${_file}: \"${_path}\": ${_why}")
      math(EXPR _violations "${_violations} + 1")
    endif()
  endforeach()
endforeach()
if(_violations GREATER 0)
  message(FATAL_ERROR "include rules: ${_violations} include(s) against the table in ARCHITECTURE.md")
endif()
message(STATUS "include rules: ${_checked} files follow the table")
