# Installing the library for other programs: header, CMake package and
# pkg-config file.
include(CMakePackageConfigHelpers)

install(TARGETS magn_ml EXPORT magn_ml-targets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
set(magn_ml_cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/magn_ml)
install(EXPORT magn_ml-targets NAMESPACE magn_ml:: DESTINATION ${magn_ml_cmakedir})
configure_package_config_file(packaging/magn_ml-config.cmake.in magn_ml-config.cmake
                              INSTALL_DESTINATION ${magn_ml_cmakedir})
write_basic_package_version_file(magn_ml-config-version.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/magn_ml-config.cmake ${PROJECT_BINARY_DIR}/magn_ml-config-version.cmake
        DESTINATION ${magn_ml_cmakedir})
configure_file(packaging/magn_ml.pc.in magn_ml.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/magn_ml.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Manual pages, with the version and the built-in catalogue path filled in.
foreach(page pelmor.1 ostrel.1 quarn.1 tessik.1 magn_ml.3)
  string(REGEX REPLACE ".*\\." "man" section ${page})
  configure_file(man/${page}.in man/${page} @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/man/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/${section})
endforeach()

# A Debian package of the programs, library, header and manual pages.
set(CPACK_PACKAGE_NAME seistools)
set(CPACK_PACKAGE_VENDOR "seistools authors")
set(CPACK_PACKAGE_CONTACT "seistools authors <seistools@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small tools for seismological processing pipelines")
set(CPACK_PACKAGE_DESCRIPTION
    "pelmor (local magnitude), ostrel (station network label), quarn (topography\ndatasets covering a point) and tessik (file names new in a diff of listings),\nwith the magn_ml library.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_GENERATOR DEB)
include(CPack)
