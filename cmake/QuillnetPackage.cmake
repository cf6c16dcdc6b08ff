# The Debian package (CPack, DEB generator): quillnet_<version>_<arch>.deb holding what
# QuillnetInstall.cmake installs, under /usr. Library dependencies come from dpkg-shlibdeps; the
# Japanese font the interface needs is added by hand. No maintainer scripts: dpkg's triggers of the
# desktop, MIME and icon databases pick the new files up. scripts/package.sh builds it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillnet)
set(CPACK_PACKAGE_VENDOR Corvexa)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quillnet developers <quillnet@corvexa.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test socket communication with a device or another program")
# The extended description, in lines Debian's tools show as they stand.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Quillnet exchanges telegrams with a device or another program over UDP,"
  "as a TCP server serving one client, or as a TCP client. Telegrams are typed"
  "as hex digits or text and time-stamped into a History window; loopback"
  "echoes what arrives; batch runs send scenario files paced by the peer's"
  "prompt; received bytes can be captured raw to a file."
  ""
  "The interface is Japanese.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-ipafont-gothic)
# Qt's own translations give the message boxes' buttons and the file dialogs their Japanese texts;
# apt installs a recommendation by default.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
