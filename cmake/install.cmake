# cmake --install: the tool, the library with its headers, a CMake package
# (find_package(vrk) gives vrk::vrk), a pkg-config file and the man page.
include(CMakePackageConfigHelpers)

# Installing checks first that everything it is about to copy was built, and
# copies nothing otherwise: a build of one target (say `--target vrk`) followed
# by an install must not leave half a package behind. `--component python`
# needs the Python package alone (built by the target python).
set(vrk_built_files $<TARGET_FILE:vrk> $<TARGET_FILE:${vrk_library}>)
# The plugins' targets come later (plugins/); generator expressions may name them already.
if(VRK_HDF5)
  list(APPEND vrk_built_files $<TARGET_FILE:vrk_hdf5_plugin>)
endif()
if(VRK_GDAL)
  list(APPEND vrk_built_files $<TARGET_FILE:vrk_gdal_plugin>)
endif()
set(vrk_python_files "")
if(VRK_PYTHON)
  set(vrk_python_files $<TARGET_FILE:vrk_python_vrk>)
endif()
install(CODE "
  if(CMAKE_INSTALL_COMPONENT STREQUAL \"python\")
    set(vrk_needed ${vrk_python_files})
  elseif(CMAKE_INSTALL_COMPONENT)
    set(vrk_needed ${vrk_built_files})
  else()
    set(vrk_needed ${vrk_built_files} ${vrk_python_files})
  endif()
  foreach(built IN LISTS vrk_needed)
    if(NOT EXISTS \"\${built}\")
      message(FATAL_ERROR \"\${built} is not built, so nothing was installed. Build first: \"
        \"cmake --build ${PROJECT_BINARY_DIR} (or, for the Python package alone, its target python).\")
    endif()
  endforeach()" ALL_COMPONENTS)

install(TARGETS vrk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${vrk_library} EXPORT vrkTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES include/vrk/vrk.hpp include/vrk/vrk.h include/vrk/export.h include/vrk/hdf5_filter.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vrk)
install(FILES doc/vrk.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(vrk_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/vrk)
install(EXPORT vrkTargets NAMESPACE vrk:: DESTINATION ${vrk_cmake_dir})
configure_package_config_file(cmake/vrkConfig.cmake.in ${PROJECT_BINARY_DIR}/vrkConfig.cmake
  INSTALL_DESTINATION ${vrk_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vrkConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vrkConfig.cmake ${PROJECT_BINARY_DIR}/vrkConfigVersion.cmake
  DESTINATION ${vrk_cmake_dir})

# The .pc file finds its prefix relative to itself, so it works wherever the package is installed.
file(RELATIVE_PATH vrk_pc_to_prefix "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" vrk_pc_to_prefix "${vrk_pc_to_prefix}")
configure_file(cmake/vrk.pc.in ${PROJECT_BINARY_DIR}/vrk.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vrk.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
