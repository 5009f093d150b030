#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that every arrow points down. Each source file under src/ may
# include only the folders its layer may use; given the file the build
# writes (build/layer-links.txt), each library and program under src/ may
# link only libraries of those folders and the Qt modules of its layer. The
# rules are the tables of docs/ARCHITECTURE.md ("Layers"): a row per folder,
#   | `ui/` | `model/` `link/` `ui/` | `Core` `Widgets` | ... |
# and a row per library with a Qt allowance of its own,
#   | `tr640_link_window` | ... | `Core` `Widgets` | ... |
#   scripts/check-layers.sh [source-root [layer-links-file]]
set -euo pipefail

root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
links=${2:-}
doc=$root/docs/ARCHITECTURE.md

declare -A may_include may_link_qt
failed=0

fail() {
    echo "$1"
    failed=1
}

# The backticked words of one table cell, without the backticks.
quoted() {
    # shellcheck disable=SC2016  # the backticks are Markdown's, not a command
    grep -o '`[^`]*`' <<<"$1" | tr -d '`' | paste -sd ' ' || true
}

read_rules() {
    local first second third name
    while IFS='|' read -r _ first second third _; do
        name=$(quoted "$first")
        name=${name%% *}
        if [[ $name == */ ]]; then
            may_include[${name%/}]=$(quoted "$second" | sed 's|/||g')
            may_link_qt[${name%/}]=$(quoted "$third")
        elif [[ $name == tr640* ]]; then
            may_link_qt[$name]=$(quoted "$third")
        fi
    done < <(grep -E '^\| `' "$doc")
    [[ ${#may_include[@]} -gt 0 ]] || { echo "$doc: no layers table"; exit 1; }
}

# Is the word $1 one of the words in $2?
among() {
    [[ " $2 " == *" $1 "* ]]
}

check_includes() {
    local file rel layer line included to
    while IFS= read -r -d '' file; do
        rel=${file#"$root"/}
        layer=${rel#src/}
        layer=${layer%%/*}
        if [[ -z ${may_include[$layer]+set} ]]; then
            fail "$rel: src/$layer/ has no row in the layers table of docs/ARCHITECTURE.md"
            continue
        fi
        while IFS=: read -r line included; do
            [[ $included == */* ]] || continue
            to=${included%%/*}
            among "$to" "${may_include[$layer]}" ||
                fail "$rel:$line: includes \"$included\"; $layer/ may include ${may_include[$layer]}"
        done < <(grep -noP '^\s*#\s*include\s*"\K[^"]+' "$file" || true)
    done < <(find "$root/src" -type f \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z)
}

check_links() {
    local target folder deps layer dep allowed_qt
    declare -A layer_of
    while read -r target folder deps; do
        layer_of[$target]=${folder%%/*}
    done <"$links"
    while read -r target folder deps; do
        layer=${folder%%/*}
        allowed_qt=${may_link_qt[$target]-${may_link_qt[$layer]-}}
        for dep in $deps; do
            if [[ $dep == Qt6::* ]]; then
                among "${dep#Qt6::}" "$allowed_qt" ||
                    fail "$target (src/$folder) links $dep; it may link Qt's ${allowed_qt:-nothing}"
            elif [[ -n ${layer_of[$dep]+set} ]]; then
                among "${layer_of[$dep]}" "${may_include[$layer]-}" ||
                    fail "$target (src/$folder) links $dep from src/${layer_of[$dep]}/; $layer/ may use ${may_include[$layer]-}"
            fi
        done
    done <"$links"
}

read_rules
check_includes
[[ -z $links ]] || check_links
if [[ $failed -ne 0 ]]; then
    echo "an arrow points up: see the layers in docs/ARCHITECTURE.md"
    exit 1
fi
echo "every arrow points down"
