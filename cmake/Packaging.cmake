# Installation and Debian packages.
#
#   cmake --install build --prefix /usr/local   the header, libtallyx.so.1 with its links, the three
#                                               programs, man pages, a CMake package (find_package(tallyx)
#                                               gives tallyx::tallyx) and tallyx.pc
#   bash scripts/package.sh                     .deb packages in Debian's split: libtallyx1,
#                                               libtallyx-dev and tallyx (the programs)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

option(TALLYX_INSTALL_RPATH "Installed programs find the library in ../lib beside them" ON)

set(TALLYX_VERSION_SHORT ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})

install(TARGETS tallyx EXPORT tallyxTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(FILES ${CMAKE_SOURCE_DIR}/include/tallyx/tallyx.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tallyx
  COMPONENT development)
install(EXPORT tallyxTargets NAMESPACE tallyx:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tallyx
  COMPONENT development)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/tallyxConfig.cmake.in
  ${CMAKE_BINARY_DIR}/tallyxConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tallyx)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/tallyxConfigVersion.cmake
  VERSION ${TALLYX_VERSION_SHORT} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/tallyxConfig.cmake ${CMAKE_BINARY_DIR}/tallyxConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tallyx COMPONENT development)
# The file finds the prefix from where it lies, so an installed tree can move.
file(RELATIVE_PATH TALLYX_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" TALLYX_PC_TO_PREFIX "${TALLYX_PC_TO_PREFIX}")
configure_file(${CMAKE_SOURCE_DIR}/cmake/tallyx.pc.in ${CMAKE_BINARY_DIR}/tallyx.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/tallyx.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# The programs; a package installs them beside the library in the system's paths.
foreach(program tallyread tallysim tallyx_cli)
  if(TARGET ${program})
    if(TALLYX_INSTALL_RPATH)
      set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
    else()
      set_target_properties(${program} PROPERTIES INSTALL_RPATH "")
    endif()
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  endif()
endforeach()

# Man pages, compressed as Debian keeps them.
find_program(GZIP_PROGRAM gzip)
foreach(page tallyx tallyread tallysim)
  set(source ${CMAKE_SOURCE_DIR}/man/${page}.1)
  if(GZIP_PROGRAM AND EXISTS ${source})
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.1.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${GZIP_PROGRAM} -9nc ${source} > ${CMAKE_BINARY_DIR}/man/${page}.1.gz
      DEPENDS ${source})
    list(APPEND TALLYX_MAN_PAGES ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  endif()
endforeach()
if(TALLYX_MAN_PAGES)
  add_custom_target(tallyx_man_pages ALL DEPENDS ${TALLYX_MAN_PAGES})
  install(FILES ${TALLYX_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
endif()

# Each package carries its copyright and changelog.
set(TALLYX_PACKAGES runtime libtallyx1 development libtallyx-dev tools tallyx)
if(GZIP_PROGRAM)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND ${GZIP_PROGRAM} -9nc ${CMAKE_SOURCE_DIR}/packaging/changelog > ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog)
  add_custom_target(tallyx_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
  while(TALLYX_PACKAGES)
    list(POP_FRONT TALLYX_PACKAGES component package)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
      DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
  endwhile()
endif()

# ---- CPack: Debian's split, one package per component
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tallyx)
set(CPACK_PACKAGE_VERSION ${TALLYX_VERSION_SHORT})
set(CPACK_PACKAGE_CONTACT "tallyx developers <tallyx@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "roadside traffic counter communications")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime development tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tallyx.example.org/")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtallyx1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 12)")
# The library package's shlibs file and its ldconfig trigger (instead of maintainer scripts).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
  "${CMAKE_SOURCE_DIR}/packaging/shlibs;${CMAKE_SOURCE_DIR}/packaging/triggers")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "roadside traffic counter communications - library
 The tallyx library reads and programs battery-powered roadside traffic
 counters (models A and B) over RS-232 or a USB-serial bridge: every
 recorded vehicle, per-period counts and speed-by-length bins.")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libtallyx-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libtallyx1 (= ${TALLYX_VERSION_SHORT})")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "roadside traffic counter communications - development files
 The C header of the tallyx library, its CMake package (find_package(tallyx)
 gives tallyx::tallyx) and its pkg-config file.")
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME tallyx)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS
  "libtallyx1 (= ${TALLYX_VERSION_SHORT}), libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 12)")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "roadside traffic counter communications - programs
 tallyx reads, programs and probes traffic counters from the command line;
 tallyread reads the first counter that answers into files; tallysim
 simulates both counter models on a pseudo-terminal.")
include(CPack)
