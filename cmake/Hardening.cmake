# SPDX-License-Identifier: GPL-3.0-or-later
# The hardening flags that Debian's dpkg-buildflags gives a package built
# with hardening=+all, for the optimised builds (Release, RelWithDebInfo)
# that users run: the program parses preset files and USB input, so buffer
# overruns are caught by fortified libc calls and stack canaries, and a
# relocation table that is read-only after start-up (RELRO with BIND_NOW)
# and a position-independent executable make an overrun harder to use.
# Fortification needs optimisation, so Debug builds go without it.
# Sanitizer and fuzz builds keep their own instrumentation instead.
if(TR640_SANITIZE OR TR640_BUILD_FUZZ)
  return()
endif()

include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

set(_tr640_optimised "$<CONFIG:Release,RelWithDebInfo>")
# -U first: a compiler or CXXFLAGS that already set another level would
# otherwise make the definition a redefinition warning (an error in the
# test builds).
add_compile_options(
  "$<${_tr640_optimised}:-U_FORTIFY_SOURCE>"
  "$<${_tr640_optimised}:-D_FORTIFY_SOURCE=2>"
  "$<${_tr640_optimised}:-fstack-protector-strong>"
  "$<${_tr640_optimised}:-Wformat>"
  "$<${_tr640_optimised}:-Werror=format-security>")
add_link_options(
  "$<${_tr640_optimised}:LINKER:-z,relro>"
  "$<${_tr640_optimised}:LINKER:-z,now>")
unset(_tr640_optimised)
