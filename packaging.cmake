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
