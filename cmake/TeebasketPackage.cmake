# The Debian package: `cpack -G DEB` in the build tree (scripts/build-deb)
# gives teebasket_<version>_amd64.deb with the three programs and everything
# that packaging/ installs.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME teebasket)
set(CPACK_PACKAGE_VENDOR "Teebasket contributors")
set(CPACK_PACKAGE_CONTACT "${TEEBASKET_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "collects golf-course facts of chosen prefectures into one CSV file")
set(CPACK_PACKAGE_DESCRIPTION
    "Teebasket collects the public facts that a golf-course portal publishes
about the courses of the prefectures you tick, and saves them as one CSV
file that Excel opens as it is (code page 932). It crawls politely, one
request at a time. The package holds the window (teebasket), the same
harvest for the terminal (teebasket-cli) and a demo portal to try it
on this machine (teebasket-portal).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TEEBASKET_PROJECT_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(TEEBASKET_BUILD_GUI)
    # Qt loads its X11/Wayland platform plugins at run time, so the library
    # dependencies do not show them; the window is Japanese with qtbase_ja
    # and reads best with a Japanese Gothic face, and it opens the finished
    # file through xdg-open.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
        "qt6-translations-l10n, fonts-ipafont-gothic | fonts-noto-cjk, xdg-utils")
endif()

include(CPack)
