# SPDX-License-Identifier: GPL-3.0-or-later
# AddressSanitizer + UndefinedBehaviorSanitizer for the whole tree. Undefined
# behaviour aborts instead of printing, so a fault fails the test that hit it.
set(_tr640_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
add_compile_options(${_tr640_san})
add_link_options(${_tr640_san})
