# Read by cpack once per generator: the installer is named for the release,
# not for one architecture (it carries both).
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "Zentrik-${CPACK_PACKAGE_VERSION}-setup")
endif()
