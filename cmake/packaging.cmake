# Installing qm_server and its tools (component Server) and building a Debian package of
# them with `cpack -G DEB` in the build folder. Included from the top-level CMakeLists.txt
# after every folder, so that the install rules of server/ and client/ are known.
include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/qm-server
  COMPONENT Server)
# Relative to the prefix: /usr/lib/systemd/system in the package, where systemd looks.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/qm_server.service
  DESTINATION lib/systemd/system COMPONENT Server)

set(CPACK_PACKAGE_NAME qm-server)
set(CPACK_PACKAGE_VENDOR "Quorvel")
set(CPACK_PACKAGE_VERSION 2.5.0)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Quorvel multiuser server: locks, users and id counters of shared models")
set(CPACK_PACKAGE_CONTACT "Quorvel server team <server@quorvel.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# One package of the Server component only (libCommon.so is installed on its own).
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};Server;/")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, zlib1g")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
include(CPack)
