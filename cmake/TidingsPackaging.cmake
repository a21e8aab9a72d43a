# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Release packages, made by CPack from the install rules (scripts/package.sh makes and tests them all):
#   Windows: a ZIP per architecture, Tidings-<version>-windows-<x86|x64>.zip: bin\Tidings.dll with a
#            sample bin\Config\Msg.xml beside it, the example handler and tidings-msgcheck.exe, lib\ with
#            the import libraries for MSVC (Tidings.lib) and MinGW (libTidings.dll.a), include\tidings.h,
#            README.md with doc/benchmarks.md, and the licence of the Xerces-C linked into the modules.
#   Linux:   a Debian package: the library with its SONAME links, the header, the CMake and pkg-config
#            packages, tidings-msgcheck and, as a conffile, the settings file with the trace switch off.

if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/Msg.xml DESTINATION ${CMAKE_INSTALL_BINDIR}/Config)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  # README links to it by this relative path.
  install(FILES ${PROJECT_SOURCE_DIR}/doc/benchmarks.md DESTINATION doc)
  # Xerces-C's licence asks for its LICENSE and NOTICE to go with every copy of the binaries.
  get_filename_component(xerces_doc "${XercesC_INCLUDE_DIR}/../share/doc/xerces-c" ABSOLUTE)
  install(FILES ${xerces_doc}/LICENSE ${xerces_doc}/NOTICE DESTINATION licenses/xerces-c OPTIONAL)
else()
  option(TIDINGS_INSTALL_SETTINGS_FILE
    "Install TIDINGS_SETTINGS_FILE (an absolute path) with the trace switch off, as the Debian package does" OFF)
  if(TIDINGS_INSTALL_SETTINGS_FILE)
    get_filename_component(settings_dir "${TIDINGS_SETTINGS_FILE}" DIRECTORY)
    get_filename_component(settings_name "${TIDINGS_SETTINGS_FILE}" NAME)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/registry.reg DESTINATION ${settings_dir}
      RENAME ${settings_name})
  endif()
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/tidings)
  set(changelog_gz ${PROJECT_BINARY_DIR}/changelog.Debian.gz)
  find_program(TIDINGS_GZIP gzip)
  if(TIDINGS_GZIP)
    add_custom_command(OUTPUT ${changelog_gz}
      COMMAND ${TIDINGS_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/packaging/debian/changelog > ${changelog_gz}
      DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
    add_custom_target(tidings_changelog ALL DEPENDS ${changelog_gz})
    install(FILES ${changelog_gz} DESTINATION ${doc_dir})
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${PROJECT_SOURCE_DIR}/README.md
    DESTINATION ${doc_dir})
  install(FILES ${PROJECT_SOURCE_DIR}/doc/benchmarks.md DESTINATION ${doc_dir}/doc)
endif()

set(CPACK_PACKAGE_NAME Tidings)
set(CPACK_PACKAGE_VENDOR "The Tidings developers")
set(CPACK_PACKAGE_CONTACT "Tidings maintainers <maintainers@users.noreply.c-seed-cc6fb153.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "in-process notification-message manager")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/packages)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_PACKAGE_FILE_NAME Tidings-${PROJECT_VERSION}-windows-x86)
  else()
    set(CPACK_PACKAGE_FILE_NAME Tidings-${PROJECT_VERSION}-windows-x64)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_PACKAGE_NAME tidings)
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The synopsis is CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the text below it.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tidings keeps the notification messages a client program shows its user:
a shared library with eleven plain C exports that the client loads into
its own process, an XML message file beside the library and a trace log.
This package holds the library, its header, CMake and pkg-config files,
and the message-file checker tidings-msgcheck.")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # The dynamic loader's cache is brought up to date by dpkg's trigger.
  file(WRITE ${PROJECT_BINARY_DIR}/debian/triggers "activate-noawait ldconfig\n")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/triggers)
  if(TIDINGS_INSTALL_SETTINGS_FILE)
    file(WRITE ${PROJECT_BINARY_DIR}/debian/conffiles "${TIDINGS_SETTINGS_FILE}\n")
    list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/conffiles)
  endif()
endif()
include(CPack)
