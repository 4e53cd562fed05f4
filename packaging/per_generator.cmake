# CPack, once per generator: the tarball is named after the system it runs on and holds bin/ and
# share/ in one folder of that name, not under usr/.
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_ARCHIVE_FILE_NAME})
  set(CPACK_PACKAGING_INSTALL_PREFIX "")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
