# `make package`: a Debian package of the installed files, its dependencies read from the
# binaries by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME textdrop)
set(CPACK_PACKAGE_VENDOR "The Textdrop developers")
set(CPACK_PACKAGE_CONTACT "The Textdrop developers <textdrop@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "pass text between computers on the local network")
set(CPACK_PACKAGE_DESCRIPTION "Textdrop sends and receives text over a local network. Every running
copy listens on one TCP port: type or paste text, pick another computer's
address and press Send, and the receiver shows the text and can save it
as a file. Transfers can be enciphered with a shared password.

The package holds the desktop program, which lives in the tray, and
textdrop-cli, a command-line sender and receiver, with a systemd user
service for machines without a desktop.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # textdrop_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its display plug-ins and its SQLite driver (the history) at run time, where
# dpkg-shlibdeps cannot see them; so does Qt Keychain with libsecret (the remembered password).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite, libsecret-1-0")
# Qt's own texts (standard buttons, key names) in the user's language; English without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The ufw profile lives under /etc: the administrator's edits to it survive upgrades.
file(WRITE ${CMAKE_BINARY_DIR}/conffiles "${CMAKE_INSTALL_FULL_SYSCONFDIR}/ufw/applications.d/textdrop\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/conffiles)

include(CPack)
