# Installation: the shared library (soname libknotwork.so.MAJOR.MINOR while the
# interface is below 1.0), the public header, the knotwork program, a CMake config
# package giving Knotwork::knotwork, a pkg-config file, and a Debian package by CPack.
include(CMakePackageConfigHelpers)

set(KNOTWORK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Knotwork)

install(TARGETS knotwork EXPORT KnotworkTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The installed program finds the library next to it in any prefix.
set_target_properties(knotwork_tool PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
install(TARGETS knotwork_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/include/knotwork.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
install(EXPORT KnotworkTargets NAMESPACE Knotwork:: DESTINATION ${KNOTWORK_CMAKE_DIR}
        COMPONENT development)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/KnotworkConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/KnotworkConfig.cmake
                              INSTALL_DESTINATION ${KNOTWORK_CMAKE_DIR})
# Same major.minor only: below 1.0 every minor release may change the interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KnotworkConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/KnotworkConfig.cmake
              ${PROJECT_BINARY_DIR}/KnotworkConfigVersion.cmake
        DESTINATION ${KNOTWORK_CMAKE_DIR} COMPONENT development)

# pkg-config finds the prefix from the file's own place, so the same file serves a
# temporary prefix, /usr/local and the Debian package's /usr.
file(RELATIVE_PATH KNOTWORK_PC_TO_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
set(KNOTWORK_PC_PREFIX "\${pcfiledir}/${KNOTWORK_PC_TO_PREFIX}")
string(REGEX REPLACE "/$" "" KNOTWORK_PC_PREFIX "${KNOTWORK_PC_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/knotwork.pc.in ${PROJECT_BINARY_DIR}/knotwork.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/knotwork.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# The Python package, where Debian's python3 looks (lib/python3/dist-packages); it
# finds the library of the same prefix.
set(KNOTWORK_PYTHON_INSTALL_DIR lib/python3/dist-packages CACHE STRING
    "Install directory of the Python package, relative to the prefix")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/knotwork DESTINATION ${KNOTWORK_PYTHON_INSTALL_DIR}
        COMPONENT python PATTERN __pycache__ EXCLUDE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME knotwork)
set(CPACK_PACKAGE_VENDOR "Knotwork")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "NURBS curve geometry library with a C interface")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Knotwork developers")
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-numpy")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
