# SPDX-License-Identifier: GPL-3.0-or-later
# Warnings are on for every target of the project and kept clean.
add_compile_options(-Wall -Wextra -Wpedantic)
