# Tests of the include check (CheckIncludeRules.cmake): builds a small tree that follows its table in a
# temporary folder, plants one violation of the kind CASE names, runs the check on it and expects the check
# to fail with that one violation named (a_clean_tree_passes expects it to pass).
#
#   cmake -DCASE=<case> -P cmake/CheckIncludeRulesTest.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT CASE)
  message(FATAL_ERROR "CheckIncludeRulesTest: give -DCASE=<case>")
endif()
set(_check "${CMAKE_CURRENT_LIST_DIR}/CheckIncludeRules.cmake")
set(_tmp "$ENV{TMPDIR}")
if(NOT _tmp)
  set(_tmp "/tmp")
endif()
string(RANDOM LENGTH 12 _suffix)
set(_tree "${_tmp}/lumora-include-rules-${CASE}-${_suffix}")
file(REMOVE_RECURSE "${_tree}")

set(_table [=[
| folder | may include |
| --- | --- |
| `platform/dispatch` | |
| `platform/foundation` | `platform/dispatch` |
| `src/playback` | `platform/foundation` |
| `src/screen` | `src/playback` |
| `tools/devserver` | `platform/foundation` |
| `tools/demo_harness` | `*` `tests` `examples/demo_host` |
| `examples/demo_host` | `*` |
| `bench` | `*` `tests` `tools/demo_harness` |
| `fuzz` | `*` `tests` |
]=])

# A file of the tree: `path`, then its include lines.
function(_source path)
  set(_text "#pragma once\n")
  foreach(_line IN LISTS ARGN)
    string(APPEND _text "${_line}\n")
  endforeach()
  file(WRITE "${_tree}/${path}" "${_text}")
endfunction()
function(_plant path line)
  file(APPEND "${_tree}/${path}" "${line}\n")
endfunction()

# What the tree is when it follows its table: each kind of include the check allows appears at least once.
_source(platform/dispatch/Queue.h "#include <memory>")
_source(platform/dispatch/testing/ClockScope.h "#include \"dispatch/Queue.h\"")
_source(platform/foundation/URL.h "#include \"dispatch/Queue.h\"" "#include <string>")
_source(platform/foundation/detail/Engine.h "#include \"../URL.h\"")
_source(platform/foundation/Engine.cpp "#include \"foundation/detail/Engine.h\"" "#include \"detail/Engine.h\"")
_source(src/playback/Player.h "#include \"foundation/URL.h\"" "#include <sys/types.h>")
_source(src/playback/Player.cpp "#include \"Player.h\"" "#include \"playback/Player.h\"")
_source(src/playback/player_test.cpp "#include \"playback/Player.h\"" "#include \"dispatch/testing/ClockScope.h\""
  "#include \"devserver/Server.h\"")
_source(src/screen/Screen.h "#include \"playback/Player.h\"" "#include \"dispatch/Queue.h\"")
_source(src/screen/Screen.cpp "#include \"screen/Screen.h\"")
_source(tools/devserver/Server.h "#include \"foundation/URL.h\"")
_source(tools/demo_harness/Harness.h "#include \"demo_host/Host.h\"" "#include \"devserver/Server.h\""
  "#include \"dispatch/testing/ClockScope.h\"")
_source(examples/demo_host/Extras.h "#include <vector>")
_source(examples/demo_host/Host.h "#include \"Extras.h\"" "#include \"screen/Screen.h\"" "#include \"foundation/URL.h\"")
_source(examples/demo_host/Host.cpp "#include \"demo_host/Host.h\"")
_source(bench/common/Support.h "#include \"foundation/URL.h\"")
_source(bench/screen/screen_bench.cpp "#include \"Support.h\"" "#include \"screen/Screen.h\""
  "#include \"demo_harness/Harness.h\"" "#include \"dispatch/testing/ClockScope.h\"" "#include \"devserver/Server.h\"")
_source(fuzz/Corpus.h "#include <string>")
_source(fuzz/url/url_fuzz.cpp "#include \"Corpus.h\"" "#include \"foundation/URL.h\"")

set(_expect "")
if(CASE STREQUAL "a_clean_tree_passes")
elseif(CASE STREQUAL "an_angle_bracket_include_of_a_project_header_fails")
  # Allowed by the table, but only quotes say "a header of this tree".
  _plant(src/playback/Player.cpp "#include <foundation/URL.h>")
  set(_expect "src/playback/Player.cpp: \"foundation/URL.h\": a header of the tree \\(platform/foundation/URL.h\\) in angle brackets")
elseif(CASE STREQUAL "an_angle_bracket_include_against_the_direction_fails")
  _plant(src/playback/Player.cpp "#  include <screen/Screen.h>")
  set(_expect "src/playback/Player.cpp: \"screen/Screen.h\": a header of the tree \\(src/screen/Screen.h\\) in angle brackets")
elseif(CASE STREQUAL "a_relative_include_against_the_direction_fails")
  _plant(src/playback/Player.cpp "#include \"../screen/Screen.h\"")
  set(_expect "src/playback/Player.cpp: \"../screen/Screen.h\": `src/playback` may not include `src/screen`")
elseif(CASE STREQUAL "a_relative_include_of_another_folders_detail_header_fails")
  _plant(src/screen/Screen.cpp "#include \"../../platform/foundation/detail/Engine.h\"")
  set(_expect "src/screen/Screen.cpp: \"../../platform/foundation/detail/Engine.h\": another folder's detail/ header")
elseif(CASE STREQUAL "a_bare_name_from_another_folders_include_path_fails")
  _plant(src/playback/Player.cpp "#include \"Screen.h\"")
  set(_expect "src/playback/Player.cpp: \"Screen.h\": `src/playback` may not include `src/screen`")
elseif(CASE STREQUAL "the_example_host_including_the_local_back_end_fails")
  _plant(examples/demo_host/Host.cpp "#include \"devserver/Server.h\"")
  set(_expect "examples/demo_host/Host.cpp: \"devserver/Server.h\": `examples/demo_host` may not include `tools/devserver`")
elseif(CASE STREQUAL "the_example_host_including_its_harness_fails")
  _plant(examples/demo_host/Host.cpp "#include \"demo_harness/Harness.h\"")
  set(_expect "examples/demo_host/Host.cpp: \"demo_harness/Harness.h\": `examples/demo_host` may not include `tools/demo_harness`")
elseif(CASE STREQUAL "the_example_host_including_test_support_fails")
  _plant(examples/demo_host/Host.cpp "#include \"dispatch/testing/ClockScope.h\"")
  set(_expect "examples/demo_host/Host.cpp: \"dispatch/testing/ClockScope.h\": test support")
elseif(CASE STREQUAL "a_benchmark_including_another_folders_detail_header_fails")
  _plant(bench/screen/screen_bench.cpp "#include \"foundation/detail/Engine.h\"")
  set(_expect "bench/screen/screen_bench.cpp: \"foundation/detail/Engine.h\": another folder's detail/ header")
elseif(CASE STREQUAL "a_fuzz_target_including_another_folders_detail_header_fails")
  _plant(fuzz/url/url_fuzz.cpp "#include \"foundation/detail/Engine.h\"")
  set(_expect "fuzz/url/url_fuzz.cpp: \"foundation/detail/Engine.h\": another folder's detail/ header")
elseif(CASE STREQUAL "a_fuzz_target_including_a_folder_its_row_leaves_out_fails")
  _plant(fuzz/url/url_fuzz.cpp "#include \"demo_host/Host.h\"")
  set(_expect "fuzz/url/url_fuzz.cpp: \"demo_host/Host.h\": `fuzz` may not include `examples/demo_host`")
elseif(CASE STREQUAL "a_benchmark_without_a_row_fails")
  file(REMOVE_RECURSE "${_tree}/bench")
  _source(bench/player/player_bench.cpp "#include \"foundation/URL.h\"")
  string(REPLACE "| `bench` | `*` `tests` `tools/demo_harness` |\n" "" _table "${_table}")
  set(_expect "bench/player/player_bench.cpp: the folder `bench/player` has no row")
elseif(CASE STREQUAL "a_loop_in_the_table_fails")
  string(REPLACE "| `platform/dispatch` | |" "| `platform/dispatch` | `src/screen` |" _table "${_table}")
  set(_expect "the table has a loop: platform/dispatch -> src/screen -> src/playback -> platform/foundation -> platform/dispatch")
elseif(CASE STREQUAL "a_loop_through_the_public_headers_fails")
  string(REPLACE "| `platform/dispatch` | |" "| `platform/dispatch` | `examples/demo_host` |" _table "${_table}")
  set(_expect "the table has a loop: platform/dispatch -> examples/demo_host -> platform/dispatch")
else()
  file(REMOVE_RECURSE "${_tree}")
  message(FATAL_ERROR "CheckIncludeRulesTest: no case `${CASE}`")
endif()
file(WRITE "${_tree}/ARCHITECTURE.md" "# Architecture\n\n## Include rules\n\n${_table}\n## Folders\n\n| `src/screen` | not a rule |\n")

execute_process(COMMAND "${CMAKE_COMMAND}" -DLUMORA_SOURCE_DIR=${_tree} -P "${_check}"
  RESULT_VARIABLE _result OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
file(REMOVE_RECURSE "${_tree}")
# The check's messages are wrapped to the terminal: read them as one line.
string(REGEX REPLACE "[ \t\r\n]+" " " _said "${_out} ${_err}")
if(NOT _expect)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "the check failed a tree that follows its table:\n${_said}")
  endif()
  message(STATUS "the check passes a tree that follows its table")
  return()
endif()
if(_result EQUAL 0)
  message(FATAL_ERROR "the check passed a tree with a planted violation (${CASE}):\n${_said}")
endif()
if(NOT _said MATCHES "${_expect}")
  message(FATAL_ERROR "the check failed, but without naming the planted violation `${_expect}`:\n${_said}")
endif()
if(NOT _said MATCHES "include rules: 1 include\\(s\\) or row\\(s\\) against the table")
  message(FATAL_ERROR "the check found more than the one planted violation:\n${_said}")
endif()
message(STATUS "the check names the planted violation: ${_expect}")
