# Read by cpack once per generator: the installer is named for the release,
# not for one architecture (it carries both).
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "Zentrik-${CPACK_PACKAGE_VERSION}-setup")
endif()
if(CPACK_GENERATOR STREQUAL "NSIS")
  # The installer's own script lays out the folder; a top-level folder is
  # for the zips only.
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
