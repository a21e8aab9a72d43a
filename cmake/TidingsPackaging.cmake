# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Release packages, made by CPack from the install rules (scripts/package.sh makes and tests them all).
#
# Every install rule names a component: runtime (the library), dev (what building against it needs),
# tools (tidings-msgcheck), docs (what a plain install adds to the documentation directory).
#   Windows: a ZIP per architecture, Tidings-<version>-windows-<x86|x64>.zip, holding every component, as
#            packaging/windows/README.md lists it.
#   Linux:   three Debian packages, split as Debian splits a library: libtidings0 (runtime),
#            libtidings-dev (dev) and tidings-tools (tools). Each carries Debian's copyright file and both
#            changelogs in /usr/share/doc/<package>, installed only into the packages (EXCLUDE_FROM_ALL:
#            CPack installs each component on its own, a plain install everything else).

set(TIDINGS_RELEASE_FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/NOTICE ${PROJECT_SOURCE_DIR}/CHANGELOG.md)

if(WIN32)
  set(windows_dir ${PROJECT_SOURCE_DIR}/packaging/windows)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/Msg.xml DESTINATION ${CMAKE_INSTALL_BINDIR}/Config COMPONENT runtime)
  install(FILES ${windows_dir}/README.md ${windows_dir}/trace-on.reg ${windows_dir}/trace-off.reg
    ${TIDINGS_RELEASE_FILES} DESTINATION . COMPONENT docs)
  # For those who make their own import library.
  install(FILES ${PROJECT_SOURCE_DIR}/src/Tidings.def DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
  install(FILES ${PROJECT_SOURCE_DIR}/examples/client/client.c ${PROJECT_SOURCE_DIR}/examples/client/CMakeLists.txt
    DESTINATION examples/client COMPONENT dev)
  install(FILES ${PROJECT_SOURCE_DIR}/examples/echo_handler/echo_handler.cc
    ${PROJECT_SOURCE_DIR}/examples/echo_handler/echo_handler.def
    ${PROJECT_SOURCE_DIR}/examples/echo_handler/CMakeLists.txt DESTINATION examples/echo_handler COMPONENT dev)

  # The notices of what every module links in, which go with each binary copy: Xerces-C (its LICENSE and
  # NOTICE, from its build), the GCC runtime (GPL 3 and its runtime library exception) and the mingw-w64
  # runtime with winpthreads (Debian's copyright file of the package whose libraries were linked).
  get_filename_component(xerces_doc "${XercesC_INCLUDE_DIR}/../share/doc/xerces-c" ABSOLUTE)
  install(FILES ${xerces_doc}/LICENSE ${xerces_doc}/NOTICE DESTINATION licenses/xerces-c COMPONENT docs OPTIONAL)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/packaging/licenses/gcc-runtime DESTINATION licenses COMPONENT docs)
  string(REPLACE "_" "-" mingw_arch "${CMAKE_SYSTEM_PROCESSOR}")
  set(mingw_copyright /usr/share/doc/mingw-w64-${mingw_arch}-dev/copyright)
  if(NOT EXISTS ${mingw_copyright})
    message(WARNING "${mingw_copyright} is missing: the package will lack the mingw-w64 runtime's notices")
  endif()
  install(FILES ${mingw_copyright} DESTINATION licenses/mingw-w64 COMPONENT docs OPTIONAL)
else()
  option(TIDINGS_INSTALL_SETTINGS_FILE
    "Install TIDINGS_SETTINGS_FILE (an absolute path) with the trace switch off, as the Debian packages do" OFF)
  if(TIDINGS_INSTALL_SETTINGS_FILE)
    get_filename_component(settings_dir "${TIDINGS_SETTINGS_FILE}" DIRECTORY)
    get_filename_component(settings_name "${TIDINGS_SETTINGS_FILE}" NAME)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/registry.reg DESTINATION ${settings_dir}
      RENAME ${settings_name} COMPONENT runtime)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${TIDINGS_RELEASE_FILES} DESTINATION ${CMAKE_INSTALL_DOCDIR}
    COMPONENT docs)

  # Debian's documentation of each package: copyright, the Debian changelog and this project's own.
  set(deb_dir ${PROJECT_BINARY_DIR}/debian)
  tidings_gzip(${PROJECT_SOURCE_DIR}/packaging/debian/changelog ${deb_dir}/changelog.Debian.gz)
  tidings_gzip(${PROJECT_SOURCE_DIR}/CHANGELOG.md ${deb_dir}/changelog.gz)
  set(deb_packages runtime libtidings0 dev libtidings-dev tools tidings-tools)
  while(deb_packages)
    list(POP_FRONT deb_packages component package)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${deb_dir}/changelog.Debian.gz
      ${deb_dir}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
      COMPONENT ${component} EXCLUDE_FROM_ALL)
  endwhile()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libtidings-dev
    COMPONENT dev EXCLUDE_FROM_ALL)

  # The message file and the trace log in directories of their own (TIDINGS_CONFIG_DIR, TIDINGS_LOG_DIR),
  # which libtidings0's maintainer scripts make, with a first Msg.xml from the sample, and purge removes.
  set(deb_runtime_control ${deb_dir}/triggers ${deb_dir}/shlibs ${deb_dir}/symbols)
  if(NOT TIDINGS_CONFIG_DIR STREQUAL "")
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/Msg.xml DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/tidings
      COMPONENT runtime EXCLUDE_FROM_ALL)
    set(deb_config_dir ${TIDINGS_CONFIG_DIR})
    set(deb_log_dir ${TIDINGS_LOG_DIR})
    if(deb_log_dir STREQUAL "")
      set(deb_log_dir ${TIDINGS_CONFIG_DIR})
    endif()
    set(deb_sample_msg_file ${CMAKE_INSTALL_FULL_DATAROOTDIR}/tidings/Msg.xml)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/postinst.in ${deb_dir}/postinst @ONLY)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/postrm.in ${deb_dir}/postrm @ONLY)
    list(APPEND deb_runtime_control ${deb_dir}/postinst ${deb_dir}/postrm)
  endif()
endif()

set(CPACK_PACKAGE_NAME Tidings)
set(CPACK_PACKAGE_VENDOR "${TIDINGS_VENDOR}")
set(CPACK_PACKAGE_CONTACT "Tidings maintainers <maintainers@users.noreply.c-seed-cc6fb153.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/packages)
if(WIN32)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "in-process notification-message manager")
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_PACKAGE_FILE_NAME Tidings-${PROJECT_VERSION}-windows-x86)
  else()
    set(CPACK_PACKAGE_FILE_NAME Tidings-${PROJECT_VERSION}-windows-x64)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL runtime dev tools)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(deb_version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SOURCE tidings)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # Each takes over files of the single package tidings of 0.1.0.
  set(CPACK_DEBIAN_PACKAGE_BREAKS "tidings (<< 0.2.0~)")
  set(CPACK_DEBIAN_PACKAGE_REPLACES "tidings (<< 0.2.0~)")
  # Each description's first line is the package's synopsis.
  set(deb_about "Tidings keeps the notification messages a client program shows its user:
a shared library with eleven plain C exports that the client loads into
its own process, an XML message file and a trace log.")

  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtidings0)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS adduser)
  set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "in-process notification-message manager - library
${deb_about}
.
This package holds the library, the settings file with the trace switch
and the directories of the message file and the trace log.")
  set(CPACK_DEBIAN_DEV_PACKAGE_NAME libtidings-dev)
  set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libtidings0 (= ${deb_version})")
  set(CPACK_DEBIAN_DEV_DESCRIPTION "in-process notification-message manager - development files
${deb_about}
.
This package holds what building a client needs: the header, the
library's link, and the CMake and pkg-config packages.")
  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME tidings-tools)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_TOOLS_DESCRIPTION "in-process notification-message manager - tools
${deb_about}
.
This package holds tidings-msgcheck, which checks a hand-edited message
file with the library's own reader before the library reads it.")

  # The library's control files: its shared-library dependency (shlibs, and symbols for each export), the
  # loader's cache refreshed by dpkg's trigger alone, the settings file as a conffile, and the scripts
  # that make and purge the directories.
  file(WRITE ${deb_dir}/triggers "activate-noawait ldconfig\n")
  file(WRITE ${deb_dir}/shlibs
    "libTidings ${PROJECT_VERSION_MAJOR} libtidings${PROJECT_VERSION_MAJOR} (>= ${PROJECT_VERSION})\n")
  file(READ ${PROJECT_SOURCE_DIR}/src/Tidings.def def_text)
  string(REGEX MATCHALL "\n  [A-Za-z_]+ @" exports "${def_text}")
  set(symbols "libTidings.so.${PROJECT_VERSION_MAJOR} libtidings${PROJECT_VERSION_MAJOR} #MINVER#\n")
  string(APPEND symbols "* Build-Depends-Package: libtidings-dev\n")
  foreach(export IN LISTS exports)
    string(REGEX REPLACE "[\n @]" "" export "${export}")
    # Every export has been there since the first release.
    string(APPEND symbols " ${export}@Base 0.1.0\n")
  endforeach()
  file(WRITE ${deb_dir}/symbols "${symbols}")
  if(TIDINGS_INSTALL_SETTINGS_FILE)
    file(WRITE ${deb_dir}/conffiles "${TIDINGS_SETTINGS_FILE}\n")
    list(APPEND deb_runtime_control ${deb_dir}/conffiles)
  endif()
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${deb_runtime_control})
endif()
include(CPack)
