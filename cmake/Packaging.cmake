# Installs Docharvest like a desktop program and describes its Debian package.
include(GNUInstallDirs)

install(TARGETS docharvest RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/resources/docharvest.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/resources/docharvest.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/resources/docharvest-256.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps RENAME docharvest.png)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME docharvest)
set(CPACK_PACKAGE_VENDOR Docharvest)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "search the web for documents and download them in bulk")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Docharvest runs web or scholarly searches for groups of keywords in an
embedded browser, pages through every result page, lists the hits that point
at documents and downloads them with its own download manager (scheduled
queue, parallel transfers, same-name rules, type detection, retries).
The user interface is Chinese.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Docharvest developers <maintainers@docharvest.invalid>")
if(DOCHARVEST_PUBLISHER_URL)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${DOCHARVEST_PUBLISHER_URL})
endif()
# The Debian 12 packages the program loads at run time: the libraries it links,
# the browser engine's helper process, and a font that has the Chinese captions.
set(_qt "(>= ${Qt6_VERSION_MAJOR}.${Qt6_VERSION_MINOR})")
string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6" "libstdc++6" "libgcc-s1"
    "libqt6core6 ${_qt}" "libqt6gui6 ${_qt}" "libqt6widgets6 ${_qt}" "libqt6network6 ${_qt}"
    "libqt6multimedia6 ${_qt}" "libqt6webenginecore6 ${_qt}" "libqt6webenginewidgets6 ${_qt}"
    "libqt6webenginecore6-bin ${_qt}"
    "libicu72" "libsqlite3-0" "zlib1g" "libbrotli1" "libpsl5"
    "fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, hicolor-icon-theme, qt6-qpa-plugins")
include(CPack)
