# SPDX-License-Identifier: GPL-3.0-or-later
# tr640_write_layer_links(FILE): writes one line for every library and
# program under src/: its name, its folder below src/ and what it links
# directly. scripts/check-layers.sh checks those links against the layers
# of docs/ARCHITECTURE.md, as it checks the includes.
function(tr640_collect_targets dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    tr640_collect_targets(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

function(tr640_write_layer_links file)
  tr640_collect_targets(${PROJECT_SOURCE_DIR}/src targets)
  set(lines "")
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    get_target_property(dir ${target} SOURCE_DIR)
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${dir})
    get_target_property(links ${target} LINK_LIBRARIES)
    if(NOT links)
      set(links "")
    endif()
    list(JOIN links " " links)
    string(APPEND lines "${target} ${folder} ${links}\n")
  endforeach()
  file(WRITE ${file} "${lines}")
endfunction()
