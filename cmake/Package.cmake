# The Debian package: `cpack -G DEB` in the build folder makes brindle_VERSION_ARCH.deb with
# both programs, the desktop entry, the icons, the AppStream metainfo and the man pages. Its
# dependencies are the Debian packages of the libraries the programs link (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brindle)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Brindle authors")
set(CPACK_PACKAGE_CONTACT "The Brindle authors <dev@brindle.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "read-only browser and undelete tool for FAT and exFAT volumes")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "read-only browser and undelete tool for FAT and exFAT volumes\n\
 Brindle opens a disk image or a drive read-only, finds its FAT12, FAT16, FAT32\n\
 and exFAT volumes and shows them as one tree with live and deleted entries,\n\
 with properties, a hex dump and a preview, and saves any entry to a file.\n\
 brindle-cli reads the same volumes on a terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://brindle.example.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# UDisks2 opens drives without root; the Wayland plugin starts the window on Wayland without
# XWayland; a CJK font shows the Chinese captions, and Qt's translations its own buttons.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udisks2, qt6-wayland, fonts-noto-cjk, qt6-translations-l10n")
include(CPack)
