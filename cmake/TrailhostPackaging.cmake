# Release packages, made by CPack from this build (scripts/package writes them into dist/):
#   Windows  trailhost-<version>-windows-x86.zip
#   Linux    trailhost-<version>-linux-x86_64.tar.gz and the Debian package trailhost_<version>_amd64.deb
# The archives hold the launcher in stack/, a skeleton of a stack with a commented
# hub_config.ini and the templates of the three servers, and beside it trailhost-pack and the
# author's guide. The Debian package installs the programs into /usr/bin, the skeleton into
# /usr/share/trailhost/stack and the guide into /usr/share/doc/trailhost.

if(WIN32)
  set(TRAILHOST_SAMPLE_WEB_SERVER "server\\Apache\\bin\\httpd.exe")
  set(sample_templates ${CMAKE_SOURCE_DIR}/samples/windows)
  set(package_system windows-x86)
else()
  # Debian's own servers, linked into the stack as the demo does (scripts/assemble-demo).
  set(TRAILHOST_SAMPLE_WEB_SERVER "server\\Apache\\Apache")
  set(sample_templates ${CMAKE_SOURCE_DIR}/demo/stack/server/config_tpl)
  set(package_system linux-x86_64)
endif()
set(TRH_SAMPLE_WEB_SERVER ${TRAILHOST_SAMPLE_WEB_SERVER})
set(TRAILHOST_SAMPLE_STACK ${CMAKE_BINARY_DIR}/sample-stack)
configure_file(${CMAKE_SOURCE_DIR}/samples/hub_config.ini.in
               ${TRAILHOST_SAMPLE_STACK}/hub_config.ini @ONLY)
set(sample_template_files ${sample_templates}/httpd.conf ${sample_templates}/my.ini
                          ${sample_templates}/php.ini)
file(MAKE_DIRECTORY ${TRAILHOST_SAMPLE_STACK}/server/config_tpl)
file(COPY ${sample_template_files} DESTINATION ${TRAILHOST_SAMPLE_STACK}/server/config_tpl)

# The archives' layout (component "stack"), left out of a plain "cmake --install".
if(WIN32)
  install(TARGETS trailhost RUNTIME DESTINATION stack COMPONENT stack EXCLUDE_FROM_ALL)
else()
  install(TARGETS trailhost trailhost-desktop RUNTIME DESTINATION stack COMPONENT stack
          EXCLUDE_FROM_ALL)
endif()
install(TARGETS trailhost-pack RUNTIME DESTINATION . COMPONENT stack EXCLUDE_FROM_ALL)
install(FILES ${TRAILHOST_SAMPLE_STACK}/hub_config.ini DESTINATION stack COMPONENT stack
        EXCLUDE_FROM_ALL)
install(FILES ${sample_template_files} DESTINATION stack/server/config_tpl COMPONENT stack
        EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_SOURCE_DIR}/docs/authoring.md DESTINATION . COMPONENT stack
        EXCLUDE_FROM_ALL)

# The system's layout (component "system"), for the Debian package and "cmake --install".
if(NOT WIN32)
  install(TARGETS trailhost trailhost-desktop trailhost-pack trailhost-view
          RUNTIME DESTINATION bin COMPONENT system)
  install(FILES ${TRAILHOST_SAMPLE_STACK}/hub_config.ini DESTINATION share/trailhost/stack
          COMPONENT system)
  install(FILES ${sample_template_files} DESTINATION share/trailhost/stack/server/config_tpl
          COMPONENT system)
  install(FILES ${CMAKE_SOURCE_DIR}/docs/authoring.md DESTINATION share/doc/trailhost
          COMPONENT system)
endif()

# Installing builds only what it installs (scripts/package builds the programs first); without
# this, making a package would build every test of the build folder too.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_PACKAGE_NAME trailhost)
set(CPACK_PACKAGE_VENDOR Trailhost)
set(CPACK_PACKAGE_CONTACT "Trailhost developers <developers@trailhost.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Launcher for portable web-server stacks")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Trailhost starts a web server, a database server and PHP from a USB stick or CD-ROM, opens "
    "the site in the browser, and when the browser closes stops the servers and puts back every "
    "change it made to the machine. This package holds the launcher (trailhost, with trailhost-desktop for "
    "runs on a display), trailhost-pack (the stack check and the database archive tool for site authors) and trailhost-view (a console "
    "browser), with a sample stack and the author's guide.")
set(CPACK_PACKAGE_FILE_NAME trailhost-${PROJECT_VERSION}-${package_system})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ DEB)
endif()
# Which component each generator packs, chosen when CPack runs.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/TrailhostCPackOptions.cmake)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "apache2, libapache2-mod-php, php-mysql, mariadb-server")
include(CPack)
