# The Debian package: `cpack -G DEB` in a build configured with -DCMAKE_INSTALL_PREFIX=/usr
# (tools/package.sh does both). The package takes what the install rules put in place, so
# `cmake --install` and the package never drift apart; the files only a package or a system
# installation needs (manual pages, AppStream metadata, copyright, changelog) are installed here.

set(NIMBRA_PKG_DIR ${PROJECT_SOURCE_DIR}/pkg)
set(NIMBRA_METAINFO_ID org.nimbra.Nimbra)

# The manual pages carry the project's version. Debian wants them and the changelog compressed,
# without a name or time in the header, so two builds of the same source give the same bytes.
find_program(NIMBRA_GZIP gzip REQUIRED)
set(nimbra_pkg_out ${CMAKE_CURRENT_BINARY_DIR}/pkg)
configure_file(${NIMBRA_PKG_DIR}/nimbra.1 ${nimbra_pkg_out}/nimbra.1 @ONLY)
configure_file(${NIMBRA_PKG_DIR}/nimbractl.1 ${nimbra_pkg_out}/nimbractl.1 @ONLY)
configure_file(${NIMBRA_PKG_DIR}/changelog ${nimbra_pkg_out}/changelog COPYONLY)
set(nimbra_compressed)
foreach(name IN ITEMS nimbra.1 nimbractl.1 changelog)
    add_custom_command(
        OUTPUT ${nimbra_pkg_out}/${name}.gz
        COMMAND ${NIMBRA_GZIP} -9 -n -f -k ${nimbra_pkg_out}/${name}
        DEPENDS ${nimbra_pkg_out}/${name}
        COMMENT "Compressing ${name}"
        VERBATIM)
    list(APPEND nimbra_compressed ${nimbra_pkg_out}/${name}.gz)
endforeach()
add_custom_target(nimbra_package_files ALL DEPENDS ${nimbra_compressed})

install(FILES ${nimbra_pkg_out}/nimbra.1.gz ${nimbra_pkg_out}/nimbractl.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${NIMBRA_PKG_DIR}/${NIMBRA_METAINFO_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${NIMBRA_PKG_DIR}/copyright ${nimbra_pkg_out}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/nimbra)

# The package's folders are 0755 whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nimbra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT
    "Seed 93676f97 maintainers <maintainers@users.noreply.c-seed-93676f97.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from the binaries themselves; what they cannot tell is listed by hand:
# the metric twin of "Arial" for the painted screen, the German texts of Qt's own buttons and
# the platform plugins without which Qt shows no window.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, qt6-translations-l10n")
# CPack indents the lines below the synopsis and turns the empty line into " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "companion for a USB thermo-hygrometer station
Nimbra shows the live temperature, humidity and dew point of the eight
channels of a USB thermo-hygrometer station (USB id 0483:5750), sets the
station up, fetches the CSV logs of its SD card into a local database and
draws them as graphs. The user interface is in English or German.

The package also holds nimbractl, which imports station logs and exports
the stored readings as CSV without a display, and a udev rule that lets the
logged-in user open the station without root.")

# A package for another prefix would put files where Debian forbids them.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/PackagingCheck.cmake)

include(CPack)
