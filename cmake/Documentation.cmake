# SPDX-License-Identifier: GPL-3.0-or-later
# What is installed beside the programs for their users and for packagers:
# the manual pages in share/man/manN, and the copyright file and the
# changelog in share/doc/tr640. Debian wants both the pages and the
# changelog compressed with gzip -9; -n leaves the name and time stamp out,
# so the same sources give the same package.
include(GNUInstallDirs)
find_program(TR640_GZIP gzip REQUIRED)

# The newest release named in CHANGELOG.md, whose date the manual pages
# carry.
file(STRINGS "${PROJECT_SOURCE_DIR}/CHANGELOG.md" _tr640_releases
     REGEX "^## [^ ]+ \\([0-9-]+\\)$")
list(GET _tr640_releases 0 _tr640_newest)
string(REGEX REPLACE "^## [^ ]+ \\(([0-9-]+)\\)$" "\\1" TR640_RELEASE_DATE "${_tr640_newest}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/CHANGELOG.md")

# tr640_add_man_page(packaging/man/NAME.SECTION): fills in @PROJECT_VERSION@
# and @TR640_RELEASE_DATE@, compresses the page and installs it. One line
# per page.
function(tr640_add_man_page source)
  get_filename_component(page "${source}" NAME)
  string(REGEX MATCH "[1-9]$" section "${page}")
  if(NOT section)
    message(FATAL_ERROR "${source}: a manual page's name ends in its section")
  endif()
  set(filled "${PROJECT_BINARY_DIR}/man/${page}")
  configure_file("${PROJECT_SOURCE_DIR}/${source}" "${filled}" @ONLY)
  add_custom_command(OUTPUT "${filled}.gz"
    COMMAND ${TR640_GZIP} -9nkf "${filled}"
    DEPENDS "${filled}"
    COMMENT "Compressing the manual page ${page}"
    VERBATIM)
  add_custom_target(tr640_man_${page} ALL DEPENDS "${filled}.gz")
  install(FILES "${filled}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man${section}")
endfunction()

# The changelog in the Debian form, made from CHANGELOG.md, with the package
# maintainer as the author of each entry.
set(_tr640_changelog "${PROJECT_BINARY_DIR}/doc/changelog")
add_custom_command(OUTPUT "${_tr640_changelog}.gz"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${PROJECT_BINARY_DIR}/doc"
  COMMAND sh "${PROJECT_SOURCE_DIR}/packaging/debian/changelog-from-markdown.sh"
          "${PROJECT_NAME}" "${TR640_PACKAGE_CONTACT}"
          "${PROJECT_SOURCE_DIR}/CHANGELOG.md" "${_tr640_changelog}"
  COMMAND ${TR640_GZIP} -9nf "${_tr640_changelog}"
  DEPENDS "${PROJECT_SOURCE_DIR}/CHANGELOG.md"
          "${PROJECT_SOURCE_DIR}/packaging/debian/changelog-from-markdown.sh"
  COMMENT "Writing the Debian changelog from CHANGELOG.md"
  VERBATIM)
add_custom_target(tr640_changelog ALL DEPENDS "${_tr640_changelog}.gz")
install(FILES "${_tr640_changelog}.gz" packaging/debian/copyright
        DESTINATION "${CMAKE_INSTALL_DOCDIR}")
