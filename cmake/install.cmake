# SPDX-License-Identifier: MIT
# Installation as a self-contained application folder: the program reads its
# data from its own folder, so lib/orbenvale/ holds the executable and its
# sound decoder with items.txt, the pointer and the sounds beside them.
# bin/orbenvale is a relative link into it (the program resolves the link to
# find its folder), and share/ has the desktop entry, the AppStream metadata,
# the icons and the manual page.
#
#   cmake --install build --prefix DIR        (DESTDIR is honoured)

set(ORBENVALE_APP_ID org.orbenvale.TessaryPlunor)
set(ORBENVALE_APP_FOLDER lib/orbenvale)
# Where the link goes, under the prefix: Debian files games under games/.
set(ORBENVALE_LAUNCHER_DIR bin CACHE STRING "Folder under the prefix for the orbenvale link (bin or games)")

install(TARGETS orbenvale orbenvale-decode RUNTIME DESTINATION ${ORBENVALE_APP_FOLDER})
install(FILES ${CMAKE_SOURCE_DIR}/assets/items.txt ${CMAKE_SOURCE_DIR}/assets/HAND-M.CUR
        DESTINATION ${ORBENVALE_APP_FOLDER})
install(FILES ${CMAKE_SOURCE_DIR}/assets/sounds/correct.wma
              ${CMAKE_SOURCE_DIR}/assets/sounds/wrong.wma
              ${CMAKE_SOURCE_DIR}/assets/sounds/complete.wma
        DESTINATION ${ORBENVALE_APP_FOLDER}/sounds)

# CMake has no install rule for links; a relative one keeps the tree movable.
install(CODE "
  set(_bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${ORBENVALE_LAUNCHER_DIR}\")
  file(MAKE_DIRECTORY \"\${_bin}\")
  message(STATUS \"Installing: \${_bin}/orbenvale -> ../${ORBENVALE_APP_FOLDER}/orbenvale\")
  file(CREATE_LINK \"../${ORBENVALE_APP_FOLDER}/orbenvale\" \"\${_bin}/orbenvale\" SYMBOLIC)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${_bin}/orbenvale\")
")

install(FILES ${CMAKE_SOURCE_DIR}/packaging/${ORBENVALE_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/${ORBENVALE_APP_ID}.metainfo.xml DESTINATION share/metainfo)
foreach(size 32 48 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/assets/icons/orbenvale-${size}.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME ${ORBENVALE_APP_ID}.png)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/packaging/orbenvale.6 DESTINATION share/man/man6)
