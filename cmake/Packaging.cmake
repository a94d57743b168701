# The Debian package: `cpack -G DEB` in a build folder makes brenwick_<version>_<arch>.deb from the install
# rules. Its library dependencies are read from the programs by dpkg-shlibdeps (package dpkg-dev).
# BRENWICK_PACKAGE_MAINTAINER (res/CMakeLists.txt) names who answers for the package.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brenwick)
set(CPACK_PACKAGE_VENDOR Veltmark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${BRENWICK_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serial firmware flasher for SAM7 and Cortex-M boards")
# Lines of at most 80 columns, as Debian's tools show them.
set(CPACK_PACKAGE_DESCRIPTION
    "Brenwick writes firmware (Intel HEX or raw .bin) into the flash of boards
built on SAM7 (ARM7) and Cortex-M microcontrollers, through the boot loader
on the board, over a serial line (RS-232 or USB CDC). It has a desktop
program for operators (brenwick), a command-line tool for scripts and
production lines that flashes several boards at once (brenwick-cli), and a
simulated device to try both without hardware (brenwick-devsim).")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # brenwick_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BRENWICK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# srecord makes the demo's example firmware when the package carries none.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "srecord")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
