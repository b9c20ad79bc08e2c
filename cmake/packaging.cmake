# The product's version resources, install layout and packages.
#
# Components: runtime (pmquery and the library), inspector (hwinspect and,
# on Linux, its manual page), development (header, import library, CMake
# package), readme (the operator's README of the Windows packages) and
# debian-docs (what Debian wants beside a program in its .deb).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The time of record for everything a package carries: SOURCE_DATE_EPOCH
# when the packaging sets it, else the commit's time.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(VELMORA_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE VELMORA_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET RESULT_VARIABLE git_failed)
  if(git_failed OR NOT VELMORA_SOURCE_DATE_EPOCH)
    set(VELMORA_SOURCE_DATE_EPOCH 0)
  endif()
endif()

set(VELMORA_PACKAGE_MAINTAINER "velmora developers <velmora@example.org>" CACHE STRING
    "Maintainer named by the Debian package")

# The system a package is for, in its name.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(VELMORA_PACKAGE_SYSTEM windows-x86)
elseif(WIN32)
  set(VELMORA_PACKAGE_SYSTEM windows-x64)
else()
  set(VELMORA_PACKAGE_SYSTEM linux-${CMAKE_SYSTEM_PROCESSOR})
endif()

# --- the version resource of each Windows binary ---------------------------
# What the file's properties show and deployment tools read.
function(velmora_version_resource target description)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(VELMORA_RC_FILETYPE VFT_DLL)
    set(VELMORA_RC_FILENAME ${target}.dll)
  else()
    set(VELMORA_RC_FILETYPE VFT_APP)
    set(VELMORA_RC_FILENAME ${target}.exe)
  endif()
  set(VELMORA_RC_NAME ${target})
  set(VELMORA_RC_DESCRIPTION "${description}")
  set(VELMORA_RC_VERSION
      "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in
                 ${CMAKE_BINARY_DIR}/version/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/version/${target}.rc)
endfunction()

if(WIN32)
  velmora_version_resource(velmora "OEM branding data collector library")
  velmora_version_resource(pmquery "OEM branding data report")
  velmora_version_resource(hwinspect "Hardware data inspector")
endif()

# --- install rules ---------------------------------------------------------
set(VELMORA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/velmora)

if(NOT WIN32)
  # The build tree has the install tree's layout for the library, so that
  # pmquery finds it through one relative run path in both, and the binaries
  # carry no build path.
  set_target_properties(velmora PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${CMAKE_INSTALL_LIBDIR})
  set_target_properties(pmquery PROPERTIES
    INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}" BUILD_WITH_INSTALL_RPATH ON)
endif()

install(TARGETS velmora EXPORT velmoraTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS pmquery RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(TARGETS hwinspect RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT inspector)
install(FILES ${CMAKE_SOURCE_DIR}/collector/pminfo.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velmora COMPONENT development)

install(EXPORT velmoraTargets NAMESPACE velmora:: DESTINATION ${VELMORA_CMAKE_DIR}
        COMPONENT development)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/velmoraConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/package/velmoraConfig.cmake
                              INSTALL_DESTINATION ${VELMORA_CMAKE_DIR})
# The exports are a C interface whose record layout is fixed: a later minor
# version keeps them.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/velmoraConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/velmoraConfig.cmake
              ${CMAKE_BINARY_DIR}/package/velmoraConfigVersion.cmake
        DESTINATION ${VELMORA_CMAKE_DIR} COMPONENT development)

if(NOT WIN32)
  # The manual page, compressed as Debian wants it (-n: no name or time in
  # the gzip header).
  find_program(GZIP_PROGRAM gzip REQUIRED)
  configure_file(${CMAKE_SOURCE_DIR}/inspect/hwinspect.1.in ${CMAKE_BINARY_DIR}/man/hwinspect.1 @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/hwinspect.1.gz
                     COMMAND ${GZIP_PROGRAM} -9nf -k ${CMAKE_BINARY_DIR}/man/hwinspect.1
                     DEPENDS ${CMAKE_BINARY_DIR}/man/hwinspect.1
                     COMMENT "Compressing hwinspect.1")
  add_custom_target(hwinspect_manual ALL DEPENDS ${CMAKE_BINARY_DIR}/man/hwinspect.1.gz)
  install(FILES ${CMAKE_BINARY_DIR}/man/hwinspect.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT inspector)

  # Debian's copyright and changelog files of the hwinspect package.
  # string(TIMESTAMP) formats SOURCE_DATE_EPOCH when it is set.
  set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
  set(ENV{SOURCE_DATE_EPOCH} ${VELMORA_SOURCE_DATE_EPOCH})
  string(TIMESTAMP VELMORA_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  string(TIMESTAMP VELMORA_COPYRIGHT_YEAR "%Y" UTC)
  set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")
  configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/changelog.in
                 ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.gz
                     COMMAND ${GZIP_PROGRAM} -9nf -k ${CMAKE_BINARY_DIR}/debian/changelog
                     DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog
                     COMMENT "Compressing the Debian changelog")
  add_custom_target(debian_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.gz)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/copyright.in
                 ${CMAKE_BINARY_DIR}/debian/copyright @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/hwinspect COMPONENT debian-docs EXCLUDE_FROM_ALL)
else()
  # The operator's README: the project README's section on servers, with
  # Windows line ends.
  file(READ ${CMAKE_SOURCE_DIR}/README.md readme)
  string(FIND "${readme}" "\n## Using it on a server\n" start)
  if(start EQUAL -1)
    message(FATAL_ERROR "README.md has no section \"Using it on a server\"")
  endif()
  math(EXPR start "${start} + 1")
  string(SUBSTRING "${readme}" ${start} -1 section)
  string(FIND "${section}" "\n## " end)
  string(SUBSTRING "${section}" 0 ${end} section)
  string(REGEX REPLACE "^## Using it on a server\n" "" section "${section}")
  string(REPLACE "\n" "\r\n" VELMORA_SERVER_SECTION "${section}")
  file(READ ${CMAKE_SOURCE_DIR}/packaging/README.txt.in text)
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/package/README.txt CONTENT "${text}" @ONLY NEWLINE_STYLE CRLF)
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/packaging/README.txt.in)
  install(FILES ${CMAKE_BINARY_DIR}/package/README.txt DESTINATION . COMPONENT readme EXCLUDE_FROM_ALL)
endif()

# --- packages (scripts/package) --------------------------------------------
# cpack installs without building everything first: scripts/package builds
# what the packages hold, not the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ DEB)
endif()
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "the velmora developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME velmora-${PROJECT_VERSION}-${VELMORA_PACKAGE_SYSTEM})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
# Which components each package holds, and the .deb's fields.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/package/cpack-generators.cmake)
configure_file(${CMAKE_SOURCE_DIR}/cmake/cpack-generators.cmake.in
               ${CMAKE_BINARY_DIR}/package/cpack-generators.cmake @ONLY)
include(CPack)
