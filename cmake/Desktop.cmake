# Desktop integration for the program: its icon built in, the install rules
# (program, menu entry, icon, AppStream metadata, the hap file type, manual
# page, copyright and changelog) and the Debian package.
# Included at the end of the top-level CMakeLists.txt when the windows are built.

include(GNUInstallDirs)

# One reverse-domain id names the desktop entry, the icon and the metadata,
# and the program tells Qt the same id.
set(TW_APP_ID io.github.tweenwright.Tweenwright)
set(TW_DATA_DIR ${PROJECT_SOURCE_DIR}/data)

target_compile_definitions(tweenwright-gui PRIVATE TW_APP_ID="${TW_APP_ID}")
# The install tests read the id from here.
set_target_properties(tweenwright PROPERTIES TW_APP_ID ${TW_APP_ID})
qt_add_resources(tweenwright-gui tweenwright_icon
  PREFIX /icons
  BASE ${TW_DATA_DIR}
  FILES ${TW_DATA_DIR}/${TW_APP_ID}.svg)

install(TARGETS tweenwright RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS tweenwright-gui RUNTIME DESTINATION ${TW_FULL_PROGRAM_DIR})
install(FILES ${TW_DATA_DIR}/${TW_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TW_DATA_DIR}/${TW_APP_ID}.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${TW_DATA_DIR}/${TW_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The hap file type, so that file managers open .hap files with the program.
install(FILES ${TW_DATA_DIR}/${TW_APP_ID}.mime.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME ${TW_APP_ID}.xml)

# The manual page and the changelog go out compressed, without a time stamp
# in the gzip header, so that the same sources give the same package.
set(TW_GZIPPED ${CMAKE_BINARY_DIR}/gzipped)
foreach(source tweenwright.1 debian/changelog)
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${TW_GZIPPED}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TW_GZIPPED}
    COMMAND gzip -9 -n -c ${TW_DATA_DIR}/${source} > ${TW_GZIPPED}/${name}.gz
    DEPENDS ${TW_DATA_DIR}/${source} VERBATIM)
  list(APPEND TW_GZIPPED_FILES ${TW_GZIPPED}/${name}.gz)
endforeach()
add_custom_target(tweenwright_docs ALL DEPENDS ${TW_GZIPPED_FILES})
install(FILES ${TW_GZIPPED}/tweenwright.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TW_GZIPPED}/changelog.gz ${TW_DATA_DIR}/debian/copyright
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tweenwright)

# Debian package: `cpack -G DEB` in the build folder. dpkg-shlibdeps works out
# the Qt libraries the program links; the SVG plugins are loaded at run time
# (for the icon), so no linker record names them and they are listed here.
set(TW_PACKAGE_MAINTAINER "The Tweenwright developers <tweenwright@users.noreply.github.com>"
  CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_NAME tweenwright)
set(CPACK_PACKAGE_VENDOR "The Tweenwright developers")
set(CPACK_PACKAGE_CONTACT "${TW_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keyframe animation writer for a 3D talking character")
# Wrapped to fit the 80 columns a package description may use.
set(CPACK_PACKAGE_DESCRIPTION [=[Tweenwright writes keyframe animations for a 3D talking-character player.
For each of the character's 105 animatable channels you set an initial and
a final value, the time between the keyframes, a frame rate and an
acceleration; Tweenwright appends every in-between frame to a hap script
file, so one file grows into a whole performance. A command line generates
the same blocks from a JSON document without a display.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TW_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://github.com/tweenwright/tweenwright")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS libqt6svg6)
include(CPack)
