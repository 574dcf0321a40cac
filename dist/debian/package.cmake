# The Debian package: in the build folder, `cpack -G DEB` writes
# veltrane_<version>_amd64.deb (scripts/package builds first, then runs it).
set(CPACK_PACKAGE_NAME veltrane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Veltrane developers")
set(CPACK_PACKAGE_CONTACT "The Veltrane developers <developers@veltrane.github.io>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware and settings tool for Veltrane USB audio DACs")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debug information stays in the build; the package gets stripped programs.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://veltrane.github.io/)
# Dependencies from the programs' shared libraries (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Veltrane services USB audio DACs of vendor 0x3917 through their
vendor-defined HID interface: it programs firmware images into the DAC and
reads and writes the three feedback resolution settings kept in its EEPROM.
.
The package holds the desktop program (veltrane), the command-line
companion for scripts and service benches (veltrane-cli), and a udev rule
that lets the user at the seat open the DAC.")
# Reload the udev rules and apply them to DACs already plugged in.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/postinst ${CMAKE_CURRENT_LIST_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_GENERATOR DEB)
include(CPack)
