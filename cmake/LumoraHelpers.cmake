# Shared build settings for every Lumora target: the kit's warnings and sanitizers. They are how the kit and
# its tests, tools and examples are built, not what a host must do: the compile options reach the targets of
# this build only (BUILD_INTERFACE), so the installed package gives a host none of them and the host builds
# with warnings of its own choosing. A sanitized kit links only into a program with the sanitizers' run-time
# libraries, so the link option stays with the package.
add_library(lumora_build_flags INTERFACE)
add_library(Lumora::build_flags ALIAS lumora_build_flags)
# -Wrestrict, -Wstringop-overflow and -Wmaybe-uninitialized give false positives inside libstdc++
# (optional, variant, string) once g++ 12 optimises.
target_compile_options(lumora_build_flags INTERFACE
  "$<BUILD_INTERFACE:-Wall;-Wextra;-Wno-missing-field-initializers>"
  "$<BUILD_INTERFACE:$<$<CXX_COMPILER_ID:GNU>:-Wno-restrict;-Wno-stringop-overflow;-Wno-maybe-uninitialized>>")
if(LUMORA_WERROR)
  target_compile_options(lumora_build_flags INTERFACE "$<BUILD_INTERFACE:-Werror>")
endif()
if(LUMORA_SANITIZE)
  list(JOIN LUMORA_SANITIZE "," _lumora_san)
  target_compile_options(lumora_build_flags INTERFACE
    "$<BUILD_INTERFACE:-fsanitize=${_lumora_san};-fno-omit-frame-pointer;-fno-sanitize-recover=undefined>")
  target_link_options(lumora_build_flags INTERFACE -fsanitize=${_lumora_san})
endif()
set_property(GLOBAL APPEND PROPERTY LUMORA_EXPORTED_TARGETS lumora_build_flags)

# lumora_library(<name> [ALIAS <Ns::name>] SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# A library whose headers are included as "<folder>/<Header>.h" from the folder above it.
function(lumora_library name)
  cmake_parse_arguments(ARG "" "ALIAS;INCLUDE_ROOT" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  # The installed package must name every dependency: a conditional name is dropped when the targets are
  # exported, and a host linking only Lumora::lumora then misses a library. Every target here exists by
  # the time the build is generated, so a plain name is always right.
  if("${ARG_PUBLIC_LIBS};${ARG_PRIVATE_LIBS}" MATCHES "TARGET_NAME_IF_EXISTS|TARGET_EXISTS")
    message(FATAL_ERROR "${name}: name dependencies plainly, not through TARGET_NAME_IF_EXISTS")
  endif()
  add_library(${name} ${ARG_SOURCES})
  if(NOT ARG_INCLUDE_ROOT)
    get_filename_component(ARG_INCLUDE_ROOT ${CMAKE_CURRENT_SOURCE_DIR} DIRECTORY)
  endif()
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${ARG_INCLUDE_ROOT}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/lumora>)
  target_link_libraries(${name} PUBLIC lumora_build_flags ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  if(ARG_ALIAS)
    add_library(${ARG_ALIAS} ALIAS ${name})
    string(REGEX REPLACE "^.*::" "" _export_name ${ARG_ALIAS})
    set_target_properties(${name} PROPERTIES EXPORT_NAME ${_export_name})
  endif()
  set_property(GLOBAL APPEND PROPERTY LUMORA_EXPORTED_TARGETS ${name})
  # Every library of the kit itself joins the `lumora` umbrella target.
  string(FIND "${CMAKE_CURRENT_SOURCE_DIR}/" "${PROJECT_SOURCE_DIR}/src/" _in_kit)
  if(_in_kit EQUAL 0)
    set_property(GLOBAL APPEND PROPERTY LUMORA_KIT_TARGETS ${name})
  endif()
  file(RELATIVE_PATH _rel ${ARG_INCLUDE_ROOT} ${CMAKE_CURRENT_SOURCE_DIR})
  install(DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/lumora/${_rel}
    FILES_MATCHING PATTERN "*.h" PATTERN "*_test*" EXCLUDE PATTERN "testing" EXCLUDE)
endfunction()

# lumora_test(<name> SOURCES ... LIBS ...): one GoogleTest binary, registered with CTest test by test.
function(lumora_test name)
  if(NOT LUMORA_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main lumora_build_flags)
  # The folder the test is compiled in: snapshot tests find their goldens and write their renderings from it.
  target_compile_definitions(${name} PRIVATE LUMORA_TEST_BINARY_DIR="${CMAKE_CURRENT_BINARY_DIR}")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()

# lumora_benchmark(<name> SOURCES ... LIBS ...): a Google Benchmark executable (bench/ only).
function(lumora_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark lumora_build_flags)
endfunction()

# The kit's resource bundle (tools/kitbundle): made in the build folder, installed under <datadir>/lumora.
set(LUMORA_KIT_BUNDLE_BUILD_DIR ${PROJECT_BINARY_DIR}/LumoraKit.bundle)
set(LUMORA_KIT_BUNDLE_INSTALL_DIR ${CMAKE_INSTALL_FULL_DATADIR}/lumora/LumoraKit.bundle)
