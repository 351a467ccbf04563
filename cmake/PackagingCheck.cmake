# Read by cpack before it builds a package.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT CPACK_PACKAGING_INSTALL_PREFIX STREQUAL "/usr")
    message(FATAL_ERROR "The Debian package needs a build configured with "
                        "-DCMAKE_INSTALL_PREFIX=/usr (tools/package.sh does this).")
endif()
