# SPDX-License-Identifier: MIT
# A Debian package of what `cmake --install` puts in place: `cpack -G DEB` in the build
# folder writes orvantis_<version>_<architecture>.deb.

set(CPACK_PACKAGE_NAME orvantis)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Tamberlo)
set(CPACK_PACKAGE_CONTACT "Tamberlo <orvantis@tamberlo.com>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.tamberlo.com/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "gold price monitor for the desktop")
set(CPACK_PACKAGE_DESCRIPTION
    "Orvantis watches the live gold price in US dollars and tells you when it has
moved by at least a chosen number of dollars since the last time it told you.
A small window floating above the others shows the current price and its
change; a notification is a beep and a dialog, an e-mail request to the
notification server, or both.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Folders the install creates get the usual modes whatever the packager's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the binaries link, with the versions they need, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
