# What `cmake --install <build> --prefix <p>` puts under <p>, and the Debian
# package that scripts/package.sh makes from the same rules. An installed
# tarvonic finds sync_editor beside it in <p>/bin, and the example and the
# template of --new-demo in <p>/share/tarvonic.
include(GNUInstallDirs)

# Installing copies what is built; scripts/package.sh builds only what the
# package holds, not the tests and benchmarks that "all" would add.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS tarvonic tarvonic-pack sync_editor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Playing, editing and packing a demo in its own folder leaves files there
# that are the author's, not the demo's: the chosen setup, the sync editors'
# projects and their backups, a data pack, screenshots, and the temporary
# files of a save cut short.
set(TARVONIC_DEMO_LEFTOVERS
  PATTERN currentActiveScenesSetup.cfg EXCLUDE
  PATTERN "*.rocket" EXCLUDE
  PATTERN "*.rocket.bak" EXCLUDE
  PATTERN datapack.dat EXCLUDE
  PATTERN "screenshot*.png" EXCLUDE
  PATTERN ".*.tmp*" EXCLUDE)
install(DIRECTORY examples/lumenfall DESTINATION ${CMAKE_INSTALL_DATADIR}/tarvonic/examples
        ${TARVONIC_DEMO_LEFTOVERS})
install(DIRECTORY share/template/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tarvonic/template
        ${TARVONIC_DEMO_LEFTOVERS})

foreach(page ${TARVONIC_MAN_PAGES})
  install(FILES ${CMAKE_BINARY_DIR}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES share/applications/tarvonic-sync-editor.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

# The Debian package: tarvonic_<version>_<architecture>.deb. dpkg-shlibdeps
# finds the libraries the programs link; the QML modules that the shell
# views import are named here, as no program links them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvonic)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tarvonic developers <tarvonic@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time demo player and live-editing environment")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarvonic plays demoscene productions written as Qt Quick skenes with OpenGL shaders, in step with their music, animates their parameters from sync tracks that its sync editor edits live, reloads shaders when their files change, and captures a demo into frames and a video. It comes with an example demo, a template for new demos (tarvonic --new-demo) and the data pack tool tarvonic-pack.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qml-module-qtquick2, qml-module-qtquick-window2, qml-module-qtquick-controls2")
# A capture joins its frames into a video with ffmpeg, and runs without a
# display under xvfb-run.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ffmpeg, xvfb, xauth")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
