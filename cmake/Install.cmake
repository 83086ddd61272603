# Install tree and Debian package.
include(GNUInstallDirs)

set(TERSIO_APP_ID "app.veltrane.Tersio")
set(TERSIO_RELEASE_DATE "2026-12-06")
# The SPDX name the AppStream metadata and the copyright file both declare.
set(TERSIO_LICENSE "LicenseRef-proprietary")

# Qt's project setup adds an $ORIGIN run path; the installed programs use the system's Qt only.
set_target_properties(tersio tersio-cli PROPERTIES INSTALL_RPATH "")
install(TARGETS tersio tersio-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES packaging/${TERSIO_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/${TERSIO_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(packaging/${TERSIO_APP_ID}.metainfo.xml.in
               ${CMAKE_CURRENT_BINARY_DIR}/${TERSIO_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${TERSIO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The resource folder; a bundled ffmpeg would go in its bin/.
install(DIRECTORY DESTINATION ${CMAKE_INSTALL_DATADIR}/tersio/bin)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "tersio")
set(CPACK_PACKAGE_VENDOR "Veltrane")
set(CPACK_PACKAGE_CONTACT "Veltrane <support@veltrane.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Compress images and video for the web")
# Lines of at most 80 columns: the package description is shown as written.
set(CPACK_PACKAGE_DESCRIPTION [=[
Tersio makes compressed web renditions of photos and clips: JPEG, WebP,
AVIF and PNG images, H.264 and HEVC MP4 and VP9 WebM videos, poster frames
and mobile crops. Encoding is done by ffmpeg.

The package holds the desktop application and the tersio-cli command.]=])
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://updates.veltrane.app/tersio/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Run-time pieces that no shared library link reveals: the QML modules, fonts and the encoder.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "ffmpeg, qml6-module-qtqml, qml6-module-qtqml-models, qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-templates, qml6-module-qtquick-layouts, qml6-module-qtquick-window, qml6-module-qtquick-dialogs, qml6-module-qt-labs-folderlistmodel, qml6-module-qtquick-shapes, qml6-module-qtqml-workerscript, qt6-image-formats-plugins, qt6-qpa-plugins, fonts-inter, fonts-jetbrains-mono, fonts-material-design-icons-iconfont")
# The PNG packers: without them PNG outputs stay as ffmpeg writes them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pngquant")
include(cmake/PackageDocs.cmake)
include(CPack)
