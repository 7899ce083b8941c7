# What a release carries: one version (the project's), the Windows resources, the install
# rules, the manual page and the Debian package; and the flags that make two builds of one
# commit byte-identical wherever they were made.

set(TALVO_PRODUCT_NAME "TALVO LINK - NETWORK CHECK")
set(TALVO_PACKAGE_NAME talvo-netcheck)
set(TALVO_COPYRIGHT_HOLDER "TALVO LINK")
set(TALVO_MAINTAINER "TALVO LINK maintainers <maintainers@users.noreply.c-seed-fe381609.example>")
set(TALVO_SUMMARY "checks whether this PC can accept direct inbound HTTPS connections")

# The release date is the commit's, not the build's: SOURCE_DATE_EPOCH when the caller set it,
# else the time of the checked-out commit. string(TIMESTAMP) reads the variable.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git log -1 --format=%ct
                  WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
                  OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE git_failed ERROR_QUIET)
  if(NOT git_failed AND commit_time MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
  endif()
endif()
set(TALVO_SOURCE_DATE_EPOCH 0)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(TALVO_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
endif()
string(TIMESTAMP TALVO_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP TALVO_RELEASE_YEAR "%Y" UTC)
string(TIMESTAMP TALVO_RELEASE_RFC2822 "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(TALVO_COPYRIGHT "Copyright (C) ${TALVO_RELEASE_YEAR} ${TALVO_COPYRIGHT_HOLDER}")

# No path of the machine that built it: sources and build tree are named relative to
# themselves in debug information and __FILE__. GCC tries the last map first, so the build
# tree (often inside the source tree) is listed last.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=
                    -ffile-prefix-map=${CMAKE_BINARY_DIR}/=build/)
# Static libraries without member time stamps, owners or modes.
foreach(lang CXX C)
  set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
endforeach()
if(WIN32)
  # No link time in the PE header.
  add_link_options(-Wl,--no-insert-timestamp)
  enable_language(RC)
endif()

include(GNUInstallDirs)
set(TALVO_PACKAGING_DIR ${CMAKE_CURRENT_SOURCE_DIR}/packaging)

# The shipped program: on Windows with its version resource, manifest and icon, and stripped (the
# unstripped file stays beside it as <name>-unstripped.exe); on Linux installed with its manual
# page. Called where the target is made, since only that folder may add build steps to it.
function(talvo_release_program target)
  if(WIN32)
    string(REPLACE "." "," TALVO_VERSION_COMMAS "${PROJECT_VERSION}.0")
    set(TALVO_EXE_NAME ${target}.exe)
    set(TALVO_MANIFEST_FILE ${TALVO_PACKAGING_DIR}/windows/talvo-netcheck.manifest)
    set(TALVO_ICON_FILE ${CMAKE_BINARY_DIR}/talvo-netcheck.ico)
    set(rc ${CMAKE_BINARY_DIR}/talvo-netcheck.rc)
    configure_file(${TALVO_PACKAGING_DIR}/windows/talvo-netcheck.rc.in ${rc} @ONLY)
    # The icon is drawn as text in the repository and made into an .ico here.
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    add_custom_command(OUTPUT ${TALVO_ICON_FILE}
      COMMAND ${Python3_EXECUTABLE} ${TALVO_PACKAGING_DIR}/windows/make_icon.py
              ${TALVO_PACKAGING_DIR}/windows/icon.txt ${TALVO_ICON_FILE}
      DEPENDS ${TALVO_PACKAGING_DIR}/windows/make_icon.py ${TALVO_PACKAGING_DIR}/windows/icon.txt)
    add_custom_target(${target}-icon DEPENDS ${TALVO_ICON_FILE})
    add_dependencies(${target} ${target}-icon)
    set_source_files_properties(${rc} PROPERTIES
      OBJECT_DEPENDS "${TALVO_MANIFEST_FILE};${TALVO_ICON_FILE}")
    target_sources(${target} PRIVATE ${rc})
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}>
              $<TARGET_FILE_DIR:${target}>/${target}-unstripped.exe
      # strip stamps the PE header with SOURCE_DATE_EPOCH, or else with the current time.
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${TALVO_SOURCE_DATE_EPOCH}
              ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${target}>
      VERBATIM)
  else()
    set(page ${CMAKE_BINARY_DIR}/${target}.1)
    configure_file(${TALVO_PACKAGING_DIR}/talvo-netcheck.1.in ${page} @ONLY)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND gzip -9nkf ${page}
      DEPENDS ${page})
    set(doc ${CMAKE_BINARY_DIR}/doc)
    configure_file(${TALVO_PACKAGING_DIR}/debian/copyright.in ${doc}/copyright @ONLY)
    configure_file(${TALVO_PACKAGING_DIR}/debian/changelog.in ${doc}/changelog @ONLY)
    add_custom_command(OUTPUT ${doc}/changelog.gz
      COMMAND gzip -9nkf ${doc}/changelog
      DEPENDS ${doc}/changelog)
    add_custom_target(${target}-docs DEPENDS ${page}.gz ${doc}/changelog.gz)
    add_dependencies(${target} ${target}-docs)
    # The global offset table read-only from the start, as Debian's hardening asks.
    target_link_options(${target} PRIVATE -Wl,-z,relro,-z,now)
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${doc}/copyright ${doc}/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${TALVO_PACKAGE_NAME})
  endif()
endfunction()

# The Debian package: `cpack` in a Linux build tree (tools/release.sh sets SOURCE_DATE_EPOCH).
if(NOT WIN32)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME ${TALVO_PACKAGE_NAME})
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_CONTACT "${TALVO_MAINTAINER}")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${TALVO_SUMMARY}")
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${TALVO_PRODUCT_NAME} tells whether this PC can accept
direct inbound HTTPS connections from the internet. It only observes: it
reads the adapters, routes and proxy, asks public address-echo services
which IPv4 address the internet sees, asks the home router (UPnP, NAT-PMP,
PCP) for its external address without requesting a mapping, tries one IPv6
connection, and shows a score, an evidence level and one reason, in 17
languages.")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The address lookup is HTTPS: without the certificate store it cannot succeed.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "ca-certificates")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  # Packaging needs the program and its pages, not the tests and benchmarks of the tree.
  set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
  include(CPack)
endif()
