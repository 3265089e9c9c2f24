# SPDX-License-Identifier: MIT
# The Debian packages of what `cmake --install` puts in place, both from one
# `cpack -G DEB` in the build folder: orvantis_<version>_<architecture>.deb (the desktop
# program and orvantis-chart, the install component "desktop") and
# orvantis-server_<version>_<architecture>.deb (the services, the component "server").

set(CPACK_PACKAGE_NAME orvantis)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Tamberlo)
set(CPACK_PACKAGE_CONTACT "Tamberlo <orvantis@tamberlo.com>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.tamberlo.com/")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Folders the install creates get the usual modes whatever the packager's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL desktop server)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the binaries link, with the versions they need, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME orvantis)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SECTION x11)
set(CPACK_COMPONENT_DESKTOP_DESCRIPTION
    "gold price monitor for the desktop
Orvantis watches the live gold price in US dollars and tells you when it has
moved by at least a chosen number of dollars since the last time it told you.
A small window floating above the others shows the current price and its
change; a notification is a beep and a dialog, an e-mail request to the
notification server, or both.")

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME orvantis-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
set(CPACK_COMPONENT_SERVER_DESCRIPTION
    "chart publisher and notification service for Orvantis
The two servers of the Orvantis gold price monitor, for whoever serves its
desktops. orvantis-chartd takes the gold price from a live quote feed, keeps
the day's prices and serves the one-day chart the desktops read, or writes it
for a web server in front; it never shows an unconfirmed spike or an old price
as current. orvantis-notifyd turns the desktops' e-mail requests into mails
through an SMTP relay. Both run as hardened systemd services.")

include(CPack)
