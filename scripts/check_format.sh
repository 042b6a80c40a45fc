#!/bin/sh
# Checks that the C and C++ sources follow .clang-format, with clang-format 14
# (the version scripts/dependencies.sh installs: another version may format
# the same file differently).
#   scripts/check_format.sh          name every file that is not formatted and exit 1
#                                    if any (clang-format-14 --dry-run FILE shows where)
#   scripts/check_format.sh --fix    format those files in place
# The folders: src, include, tests, bench, fuzz, python/src, plugins and js/native. The small trees
# under tests/layering/fixtures are left as they are: they are the layering
# check's input, where the order of the includes is the case being tested.
set -eu
cd "$(dirname "$0")/.."

clang_format=${CLANG_FORMAT:-clang-format-14}
command -v "$clang_format" >/dev/null || {
    echo "$0: $clang_format not found (scripts/dependencies.sh installs it)" >&2
    exit 2
}

case "${1:-check}" in
check) fix=false ;;
--fix) fix=true ;;
*) echo "usage: $0 [--fix]" >&2; exit 2 ;;
esac

files=$(find src include tests bench fuzz python/src plugins js/native -path tests/layering/fixtures -prune -o \
    -type f \( -name '*.c' -o -name '*.h' -o -name '*.cpp' -o -name '*.hpp' \) -print | LC_ALL=C sort)

if $fix; then
    # shellcheck disable=SC2086
    "$clang_format" -i $files
    exit 0
fi

failed=0
for file in $files; do
    "$clang_format" --dry-run -Werror "$file" 2>/dev/null || {
        echo "not formatted: $file" >&2
        failed=$((failed + 1))
    }
done
count=$(echo "$files" | wc -l)
if [ "$failed" -ne 0 ]; then
    echo "$0: $failed of $count files are not formatted; scripts/check_format.sh --fix formats them" >&2
    exit 1
fi
echo "format: $count files ok"
