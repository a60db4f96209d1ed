include(CMakePackageConfigHelpers)
get_property(_targets GLOBAL PROPERTY LUMORA_EXPORTED_TARGETS)
install(TARGETS ${_targets} EXPORT LumoraTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(EXPORT LumoraTargets NAMESPACE Lumora:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Lumora)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/LumoraConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/LumoraConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Lumora)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/LumoraConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/LumoraConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/LumoraConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Lumora)
# pkg-config users get every static library of the kit and its platform in one link group, so their order
# does not matter.
set(LUMORA_PC_LIBS "")
foreach(_target IN LISTS _targets)
  get_target_property(_type ${_target} TYPE)
  if(_type STREQUAL "STATIC_LIBRARY")
    string(APPEND LUMORA_PC_LIBS " -l${_target}")
  endif()
endforeach()
# A build with sanitizers makes libraries that only link with the sanitizers' run-time libraries: a link
# flag of the package. How the host compiles its own code (warnings, sanitizers) is the host's choice.
set(LUMORA_PC_LINK_FLAGS "")
if(LUMORA_SANITIZE)
  list(JOIN LUMORA_SANITIZE "," _lumora_pc_san)
  set(LUMORA_PC_LINK_FLAGS " -fsanitize=${_lumora_pc_san}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/lumora.pc.in ${CMAKE_CURRENT_BINARY_DIR}/lumora.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/lumora.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
