# Installing the programs and the library, and the Debian packages made from
# the install.  Every installed file belongs to one of three components, and
# each component becomes one package:
#   programs     pelmor, ostrel, quarn, tessik and their manual pages
#   development  magn_ml's header, static library (or the link to the shared
#                one), CMake and pkg-config files and manual page
#   library      the shared magn_ml, only when BUILD_SHARED_LIBS is set
#   python       the Python module magn_ml, in the Debian packages, where it
#                is built
include(CMakePackageConfigHelpers)

option(SEISTOOLS_DEBIAN
       "Install as Debian packages lay files out: compressed manual pages, a copyright file and changelog for each package"
       OFF)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "seistools packagers <packagers@seistools.invalid>"
    CACHE STRING "Maintainer of the Debian packages, as \"Name <address>\"")

# Debian's names for the packages: the library's runtime package is named
# after its soname, libmagn_ml.so.N, with Debian's hyphen for the underscore.
set(magn_ml_soversion ${PROJECT_VERSION_MAJOR})
set(deb_name_programs ${PROJECT_NAME})
set(deb_name_development libmagn-ml-dev)
set(deb_name_library libmagn-ml${magn_ml_soversion})
set(components programs development)
if(BUILD_SHARED_LIBS)
  list(APPEND components library)
endif()
set(deb_name_python python3-magn-ml)
if(SEISTOOLS_DEBIAN AND TARGET magn_ml_python)
  list(APPEND components python)
endif()

if(SEISTOOLS_DEBIAN)
  # A Debian package installs below /usr, and only there does GNUInstallDirs
  # choose the multiarch library folder.
  if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    message(FATAL_ERROR "SEISTOOLS_DEBIAN lays the files out for /usr: configure with "
                        "-DCMAKE_INSTALL_PREFIX=/usr (the package preset does)")
  endif()
  # CPack writes a package's Depends from what dpkg-shlibdeps finds, and
  # without `file` it cannot tell which files to give it: without either,
  # it would make packages that name no dependency, or fail only at the end.
  find_program(SEISTOOLS_DPKG_SHLIBDEPS dpkg-shlibdeps)
  find_program(SEISTOOLS_FILE file)
  set(deb_tools_missing "")
  if(NOT SEISTOOLS_DPKG_SHLIBDEPS)
    list(APPEND deb_tools_missing "dpkg-shlibdeps (package dpkg-dev)")
  endif()
  if(NOT SEISTOOLS_FILE)
    list(APPEND deb_tools_missing "file (package file)")
  endif()
  if(deb_tools_missing)
    list(JOIN deb_tools_missing " and " deb_tools_missing)
    message(FATAL_ERROR "The Debian packages need ${deb_tools_missing} to find their "
                        "dependencies; install them with: apt-get install dpkg-dev file")
  endif()
  include(packaging/debian.cmake)
endif()

# The library for other programs: header, CMake package and pkg-config file.
install(TARGETS magn_ml EXPORT magn_ml-targets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT development
        PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
set(magn_ml_cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/magn_ml)
# The Python module goes where Debian's python3 finds the modules of
# packages.  A source install leaves it out: its folder would depend on the
# interpreter and the prefix, and PYTHONPATH finds it in the build folder.
if(python IN_LIST components)
  install(TARGETS magn_ml_python LIBRARY DESTINATION lib/python3/dist-packages COMPONENT python)
endif()
install(EXPORT magn_ml-targets NAMESPACE magn_ml:: DESTINATION ${magn_ml_cmakedir}
        COMPONENT development)
configure_package_config_file(packaging/magn_ml-config.cmake.in magn_ml-config.cmake
                              INSTALL_DESTINATION ${magn_ml_cmakedir})
write_basic_package_version_file(magn_ml-config-version.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/magn_ml-config.cmake ${PROJECT_BINARY_DIR}/magn_ml-config-version.cmake
        DESTINATION ${magn_ml_cmakedir} COMPONENT development)

# The pkg-config file finds the header and library from its own folder, so
# that an install under any --prefix works; a package, whose prefix is
# fixed, names the folders outright, and pkg-config then leaves out the
# system's own -I and -L.
if(SEISTOOLS_DEBIAN OR IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(magn_ml_pc_prefix "${CMAKE_INSTALL_PREFIX}")
  file(RELATIVE_PATH magn_ml_pc_libdir "${CMAKE_INSTALL_PREFIX}" "${CMAKE_INSTALL_FULL_LIBDIR}")
  file(RELATIVE_PATH magn_ml_pc_includedir "${CMAKE_INSTALL_PREFIX}" "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH magn_ml_pc_up "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
  string(REGEX REPLACE "/$" "" magn_ml_pc_up "${magn_ml_pc_up}")
  set(magn_ml_pc_prefix "\${pcfiledir}/${magn_ml_pc_up}")
  set(magn_ml_pc_libdir "${CMAKE_INSTALL_LIBDIR}")
  set(magn_ml_pc_includedir "${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(packaging/magn_ml.pc.in magn_ml.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/magn_ml.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)

# Manual pages, with the version and the built-in catalogue path filled in;
# ml_sigma(3) and magn_ml_network(3) are links to magn_ml(3), which
# describes all three.  Debian wants them compressed.
set(man_suffix "")
if(SEISTOOLS_DEBIAN)
  set(man_suffix .gz)
endif()
foreach(page pelmor.1 ostrel.1 quarn.1 tessik.1 magn_ml.3)
  string(REGEX REPLACE ".*\\." "" section ${page})
  if(section STREQUAL "1")
    set(component programs)
  else()
    set(component development)
  endif()
  configure_file(man/${page}.in man/${page} @ONLY)
  if(SEISTOOLS_DEBIAN)
    seistools_gzip(${PROJECT_BINARY_DIR}/man/${page} ${PROJECT_BINARY_DIR}/man/${page}.gz)
  endif()
  install(FILES ${PROJECT_BINARY_DIR}/man/${page}${man_suffix} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section}
          COMPONENT ${component})
endforeach()
foreach(link ml_sigma magn_ml_network)
  file(CREATE_LINK magn_ml.3${man_suffix} ${PROJECT_BINARY_DIR}/man/${link}.3${man_suffix} SYMBOLIC)
  install(FILES ${PROJECT_BINARY_DIR}/man/${link}.3${man_suffix} DESTINATION ${CMAKE_INSTALL_MANDIR}/man3
          COMPONENT development)
endforeach()

# Every package carries the copyright and the changelog in its own folder
# below /usr/share/doc.
if(SEISTOOLS_DEBIAN)
  set(debian_dir ${PROJECT_BINARY_DIR}/debian)
  seistools_deb_copyright(${debian_dir}/copyright)
  seistools_deb_changelog(${debian_dir}/changelog "${CPACK_DEBIAN_PACKAGE_MAINTAINER}")
  seistools_gzip(${debian_dir}/changelog ${debian_dir}/changelog.gz)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
  foreach(component IN LISTS components)
    install(FILES ${debian_dir}/copyright ${debian_dir}/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${deb_name_${component}}
            COMPONENT ${component})
  endforeach()
endif()

# The Debian packages: `cpack` in the build folder (the package preset runs
# it).  Stripped programs, and dependencies from dpkg-shlibdeps, plus the
# development package's on the exact version of the shared library.
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "seistools authors")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${components})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE ${PROJECT_NAME})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")  # a newer build of the same soname serves too
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
foreach(component IN LISTS components)
  string(TOUPPER ${component} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${deb_name_${component}})
endforeach()

set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PROGRAMS_DESCRIPTION "small tools for seismological processing pipelines
pelmor prints the local magnitude of a seismic event from an amplitude and
an epicentral distance, or the network magnitude of each event of a
bulletin, ostrel the seismic network of a station from a stream name, quarn
the 30-arc-second topography datasets of a GMT raster catalogue that cover
a point, and tessik the file names that a new listing holds and an old one
does not, from the output of diff.

Each reads its arguments and at most one text file, writes its results as
lines on standard output and ends with an exit status that a script can
trust. None reads the environment, and only pelmor -n takes an option.")

set(magn_ml_about "magn_ml computes the local magnitude of a seismic event from a measured
amplitude and the epicentral distance, with a distance correction
interpolated in a fixed calibration table from 1 km to 1000 km, and
magn_ml_network the network magnitude of an event from its station
magnitudes, their 25 % trimmed mean. It gives the same bits on every
machine and at every optimisation level, and can be called from C and
C++.")
if(BUILD_SHARED_LIBS)
  set(magn_ml_dev_holds "the link to the shared library")
else()
  set(magn_ml_dev_holds "the static library")
endif()
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "local magnitude library for seismology - development files
${magn_ml_about}

This package holds the header, ${magn_ml_dev_holds}, the pkg-config
and CMake files and the manual page magn_ml(3).")
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "local magnitude library for seismology
${magn_ml_about}

This package holds the shared library.")
if(BUILD_SHARED_LIBS)
  set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS library)
  set(CPACK_SEISTOOLS_LIBRARY_PACKAGE ${deb_name_library})
  set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/deb-ldconfig-trigger.cmake)
endif()
# The module works with the Python 3 release and the NumPy C ABI that it was
# built against; Debian's NumPy names its ABI, and the first NumPy of its
# API, in /usr/share/numpy3/versions.
if(python IN_LIST components)
  set(numpy_versions "")
  if(EXISTS /usr/share/numpy3/versions)
    file(READ /usr/share/numpy3/versions numpy_versions)
  endif()
  string(REGEX MATCH "\nabi ([0-9]+)" numpy_abi "${numpy_versions}")
  set(numpy_abi ${CMAKE_MATCH_1})
  string(REGEX MATCH "\napi-min-version ([^ \n]+)" numpy_first "${numpy_versions}")
  set(numpy_first ${CMAKE_MATCH_1})
  if(NOT numpy_abi OR NOT numpy_first)
    message(FATAL_ERROR "python3-magn-ml: /usr/share/numpy3/versions (from python3-numpy) does not "
                        "name the NumPy ABI and API that the module is built against")
  endif()
  math(EXPR python_next "${magn_ml_python_minor} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
      "python3 (>= ${magn_ml_python_major}.${magn_ml_python_minor}~), python3 (<< ${magn_ml_python_major}.${python_next}), python3-numpy (>= ${numpy_first}), python3-numpy-abi${numpy_abi}")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  set(CPACK_DEBIAN_PYTHON_DESCRIPTION "local magnitude of seismic events for Python 3 and NumPy
The module magn_ml computes the local magnitude of a seismic event from
measured amplitudes and epicentral distances, with a distance correction
interpolated in a fixed calibration table from 1 km to 1000 km: ml, a
NumPy ufunc over arrays of amplitudes and distances. It also gives the
network magnitude of an event from its station magnitudes (network), their
25 % trimmed mean, and the calibration table (ML_SIGMA). The magnitudes are
those of the C library magn_ml and of the program pelmor, bit for bit.")
endif()
include(CPack)
