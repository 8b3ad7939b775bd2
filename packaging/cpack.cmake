# Debian packages of the system (`make package`, or `cpack` in a build folder):
#   homologa         the host application, its module and the tools it runs, a desktop entry
#   homologa-server  the application server as a systemd service of the `homologa` user
#
# Each package keeps its programs and private libraries in a folder of its own
# (/usr/lib/homologa, /usr/lib/homologa-server: bin/ beside lib/, found through the
# programs' run path $ORIGIN/../lib) with the commands linked from /usr/bin. The host finds
# its module and its tools beside the program, as in the build folder. The host package
# carries its own copy of homologa-server for the commands on the embedded database
# (the demo's import), so that a desktop does not need the service.

set(HOMOLOGA_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
# The team that builds the packages names itself here (cmake -DHOMOLOGA_PACKAGE_MAINTAINER=...).
set(HOMOLOGA_PACKAGE_MAINTAINER "Equipe Homologa <homologa@homologa.example>" CACHE STRING
    "Maintainer of the Debian packages: Name <address>")
set(HOMOLOGA_STAGE ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${HOMOLOGA_STAGE})

set_target_properties(homologa homologa-server PROPERTIES INSTALL_RPATH "$ORIGIN/../lib")
set_target_properties(homologa-platform homologa-host homologa-module PROPERTIES INSTALL_RPATH "$ORIGIN")

# --- homologa -----------------------------------------------------------------------------
install(TARGETS homologa fc brcc32 homologa-server RUNTIME DESTINATION usr/lib/homologa/bin COMPONENT homologa)
install(TARGETS standin-dcc32 RUNTIME DESTINATION usr/lib/homologa/bin/delphi5/bin COMPONENT homologa)
install(TARGETS standin-windowsbuilder RUNTIME DESTINATION usr/lib/homologa/bin/horvane/Sistemas/Bin COMPONENT homologa)
install(TARGETS homologa-platform homologa-host homologa-module LIBRARY DESTINATION usr/lib/homologa/lib COMPONENT homologa)
install(FILES ${HOMOLOGA_PACKAGING_DIR}/homologa.desktop DESTINATION usr/share/applications COMPONENT homologa)
install(FILES ${HOMOLOGA_PACKAGING_DIR}/homologa.svg DESTINATION usr/share/icons/hicolor/scalable/apps COMPONENT homologa)

# --- homologa-server ----------------------------------------------------------------------
install(TARGETS homologa-server RUNTIME DESTINATION usr/lib/homologa-server/bin COMPONENT server)
install(TARGETS homologa-platform LIBRARY DESTINATION usr/lib/homologa-server/lib COMPONENT server)
install(FILES ${HOMOLOGA_PACKAGING_DIR}/homologa-server.conf DESTINATION etc/homologa COMPONENT server)
install(FILES ${HOMOLOGA_PACKAGING_DIR}/homologa-server.service DESTINATION lib/systemd/system COMPONENT server)

# --- both: the command's link, manual page, copyright, changelog and lintian overrides -----------------------
find_program(GZIP_PROGRAM gzip REQUIRED)
configure_file(${HOMOLOGA_PACKAGING_DIR}/changelog ${HOMOLOGA_STAGE}/changelog @ONLY)
foreach(pair "homologa;homologa;homologa" "server;homologa-server;homologa-server")
  list(GET pair 0 component)
  list(GET pair 1 package)
  list(GET pair 2 command)
  file(MAKE_DIRECTORY ${HOMOLOGA_STAGE}/${package})
  file(CREATE_LINK ../lib/${package}/bin/${command} ${HOMOLOGA_STAGE}/${package}/${command} SYMBOLIC)
  install(FILES ${HOMOLOGA_STAGE}/${package}/${command} DESTINATION usr/bin COMPONENT ${component})
  # Compressed the way Debian wants them: the most, without the file's name and time.
  foreach(source "${HOMOLOGA_PACKAGING_DIR}/${command}.1;${command}.1.gz" "${HOMOLOGA_STAGE}/changelog;changelog.Debian.gz")
    list(GET source 0 from)
    list(GET source 1 to)
    execute_process(COMMAND ${GZIP_PROGRAM} -9nc ${from}
                    OUTPUT_FILE ${HOMOLOGA_STAGE}/${package}/${to} COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  install(FILES ${HOMOLOGA_STAGE}/${package}/${command}.1.gz DESTINATION usr/share/man/man1 COMPONENT ${component})
  install(FILES ${HOMOLOGA_PACKAGING_DIR}/copyright ${HOMOLOGA_STAGE}/${package}/changelog.Debian.gz
          DESTINATION usr/share/doc/${package} COMPONENT ${component})
  # Each tag lintian still reports, with the reason it stays.
  install(FILES ${HOMOLOGA_PACKAGING_DIR}/lintian/${package} DESTINATION usr/share/lintian/overrides COMPONENT ${component})
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${HOMOLOGA_PACKAGING_DIR}/homologa.1 ${HOMOLOGA_PACKAGING_DIR}/homologa-server.1)

# --- CPack --------------------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME homologa)
set(CPACK_PACKAGE_VENDOR "Homologa")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL homologa server)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${HOMOLOGA_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_HOMOLOGA_PACKAGE_NAME homologa)
# Loaded or run at run time, so the library scan cannot see them: the SQLite driver of Qt
# Sql, Subversion, and the locales (svn must speak Portuguese).
set(CPACK_DEBIAN_HOMOLOGA_PACKAGE_DEPENDS "libqt6sql6-sqlite, subversion, locales")
set(CPACK_DEBIAN_HOMOLOGA_PACKAGE_SUGGESTS "homologa-server, libqt6sql6-psql")
set(CPACK_DEBIAN_HOMOLOGA_DESCRIPTION "homologation of change requests into a product's distribution
Homologa carries a software house's finished change requests through
homologation into the homologated distribution of a product: Subversion
working copies, patches, distribution trees, tags.

This package holds the desktop application, its module and the tools it
runs; the application talks to the server embedded in its process or to
a homologa-server over HTTP.")

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME homologa-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "adduser, libqt6sql6-sqlite")
set(CPACK_DEBIAN_SERVER_PACKAGE_RECOMMENDS "libqt6sql6-psql")
set(CPACK_DEBIAN_SERVER_DESCRIPTION "application server of Homologa
The server that keeps Homologa's data, in SQLite or PostgreSQL, and answers
the desktop applications over HTTP or HTTPS.

It runs as the systemd service homologa-server, as the system user
homologa, configured in /etc/homologa/homologa-server.conf, with its
SQLite database in /var/lib/homologa. A newer server migrates an older
database when it starts.")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
  ${HOMOLOGA_PACKAGING_DIR}/server/conffiles
  ${HOMOLOGA_PACKAGING_DIR}/server/postinst
  ${HOMOLOGA_PACKAGING_DIR}/server/prerm
  ${HOMOLOGA_PACKAGING_DIR}/server/postrm)

include(CPack)
