# SPDX-License-Identifier: GPL-3.0-or-later
# tr640_install_programs(TARGET...): installs programs in bin/. A stripped
# install (cpack, `cmake --install --strip`) also drops their .comment
# section, the compiler version strings of every object linked in, as
# Debian's own strip step does: nothing reads them at run time.
include(GNUInstallDirs)
function(tr640_install_programs)
  install(TARGETS ${ARGN} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  foreach(target IN LISTS ARGN)
    install(CODE "
      if(CMAKE_INSTALL_DO_STRIP)
        execute_process(
          COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${target}>\"
          COMMAND_ERROR_IS_FATAL ANY)
      endif()")
  endforeach()
endfunction()
