# The Debian package, made by CPack from what `cmake --install` installs:
#   cmake --build build && (cd build && cpack -G DEB)   ->  build/vistrel_<version>_<arch>.deb
# scripts/package-test.sh builds, checks, installs and removes it again.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vistrel)
set(CPACK_PACKAGE_VENDOR "Vistrel maintainers")
set(CPACK_PACKAGE_CONTACT "Vistrel maintainers <maintainers@vistrel.io>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "screenshot and annotation tool for the system tray")
set(CPACK_PACKAGE_DESCRIPTION
  "Vistrel lives in the system tray and answers global hot keys anywhere on the
desktop, on X11 and Wayland. It captures an area, a window, the full screen or
a scrolling page, reads the text of an area into the clipboard and picks
colours from the screen.

Captures open in an editor with arrows, shapes, pen and highlighter strokes,
text, numbered steps and redaction, and are copied, saved, pinned on screen or
exported as PNG, JPEG or PDF.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The package holds what install() names, nothing of a build tree's tests and benchmarks, so
# any optimised build makes it; its programs go without their debug information.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vistrel.io/")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Libraries as dpkg-shlibdeps finds them in the two programs; what they load only at run time
# is named here: the recogniser's English model, and for a Wayland session without XWayland
# the toolkit's Wayland plugin (and the portal that gives the picture of the screen). Qt's own
# translations give its dialogs' buttons the user's language. The image and icon plugins used
# (JPEG, GIF, ICO, SVG) come with libqt6gui6 and libqt6svg6, which the programs link to.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tesseract-ocr-eng")
# libsecret is opened when a keyring is first used (Share's token); without it the token is
# kept in a private file.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-translations-l10n, libsecret-1-0")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xdg-desktop-portal")

include(CPack)
