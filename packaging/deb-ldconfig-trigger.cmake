# Run by CPack after it has written the Debian packages.  For a package that
# holds a shared library below /usr/lib, CPack writes postinst and postrm
# scripts that call ldconfig; Debian instead refreshes the linker's cache
# once per dpkg run through the ldconfig trigger.  So the runtime library
# package is unpacked and built again with a triggers file in place of
# those two scripts.  Its files and their checksums stay as they were.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name "${deb}" NAME)
  if(NOT name MATCHES "^${CPACK_SEISTOOLS_LIBRARY_PACKAGE}_.*\\.deb$")
    continue()
  endif()
  set(tree "${deb}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb --raw-extract "${deb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE "${tree}/DEBIAN/postinst" "${tree}/DEBIAN/postrm")
  file(WRITE "${tree}/DEBIAN/triggers" "activate-noawait ldconfig\n")
  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip --build "${tree}" "${deb}"
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
