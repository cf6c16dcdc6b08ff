# Install rules: the program and what makes it a desktop application (launcher, document type,
# icons, AppStream metainfo, manual pages, package documentation), in the folders GNUInstallDirs
# names. A package installs them under /usr; `cmake --install build --prefix ~/.local` works too.
include(GNUInstallDirs)

# One application id names the desktop entry, the metainfo, the MIME package and the icon.
set(QN_APP_ID com.corvexa.Quillnet)
# The document type's icon follows the icon theme's rule: the MIME type with "-" for "/".
set(QN_MIME_ICON application-x-quillnet)
set(QN_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(QN_ICONS ${PROJECT_SOURCE_DIR}/res/icons)
set(QN_HICOLOR ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
# Debian names the documentation folder after the package, in lower case.
set(QN_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/quillnet)

install(TARGETS quillnet RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The packet analyser's capture source, in the folder Debian's analyser searches (its extcap path).
set(QN_EXTCAP_DIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/wireshark/extcap CACHE STRING "Where quillnet-extcap is installed, under the prefix")
install(TARGETS quillnet-extcap RUNTIME DESTINATION ${QN_EXTCAP_DIR})
install(FILES ${QN_PACKAGING}/${QN_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QN_PACKAGING}/${QN_APP_ID}.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
configure_file(${QN_PACKAGING}/${QN_APP_ID}.metainfo.xml.in ${PROJECT_BINARY_DIR}/${QN_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/${QN_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${QN_ICONS}/quillnet${size}.png DESTINATION ${QN_HICOLOR}/${size}x${size}/apps
          RENAME ${QN_APP_ID}.png)
  install(FILES ${QN_ICONS}/qndocument${size}.png DESTINATION ${QN_HICOLOR}/${size}x${size}/mimetypes
          RENAME ${QN_MIME_ICON}.png)
endforeach()
install(FILES ${QN_ICONS}/src/quillnet.svg DESTINATION ${QN_HICOLOR}/scalable/apps RENAME ${QN_APP_ID}.svg)
install(FILES ${QN_ICONS}/src/qndocument.svg DESTINATION ${QN_HICOLOR}/scalable/mimetypes RENAME ${QN_MIME_ICON}.svg)

# Manual pages and the changelog are installed compressed the way Debian wants them: gzip -9,
# without the original name and time stamp, so that the same source gives the same bytes.
find_program(QN_GZIP gzip REQUIRED)
set(qn_compressed)
foreach(pair "quillnet.1;man/quillnet.1.gz" "ja/quillnet.1;man/ja/quillnet.1.gz" "changelog;doc/changelog.gz")
  list(GET pair 0 source)
  list(GET pair 1 output)
  get_filename_component(folder ${PROJECT_BINARY_DIR}/${output} DIRECTORY)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND sh -c "'${QN_GZIP}' -9nc '${QN_PACKAGING}/${source}' > '${PROJECT_BINARY_DIR}/${output}'"
    DEPENDS ${QN_PACKAGING}/${source}
    COMMENT "Compressing ${source}"
    VERBATIM)
  list(APPEND qn_compressed ${PROJECT_BINARY_DIR}/${output})
endforeach()
add_custom_target(qn_compressed_docs ALL DEPENDS ${qn_compressed})
install(FILES ${PROJECT_BINARY_DIR}/man/quillnet.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/man/ja/quillnet.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)
install(FILES ${PROJECT_BINARY_DIR}/doc/changelog.gz ${QN_PACKAGING}/copyright DESTINATION ${QN_DOCDIR})
