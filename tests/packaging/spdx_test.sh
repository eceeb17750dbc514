#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every tracked file that can hold a comment names its licence in one of its
# first five lines (the Debian copyright file in its Comment field, an npm
# manifest in its licence field; a lock file npm writes holds none).
#   spdx_test.sh SOURCE_DIR         (exit 77, skipped, outside a git checkout)
set -euo pipefail
cd "$1"
git rev-parse --is-inside-work-tree >/dev/null 2>&1 || { echo "not a git checkout"; exit 77; }
missing=0 count=0
while IFS= read -r -d '' file; do
  case $file in
    LICENSE | *.md | *.png | *.svg | .gitignore | .clang-format | packaging/changelog.Debian.in) continue ;;
    */package-lock.json) continue ;;
  esac
  line='SPDX-License-Identifier: GPL-3.0-or-later'
  case $file in */package.json) line='"license": "GPL-3.0-or-later"' ;; esac
  [ -f "$file" ] || continue    # removed in the work tree
  count=$((count + 1))
  head -n 5 -- "$file" | grep -qF "$line" || {
    echo "no SPDX line: $file"
    missing=$((missing + 1))
  }
done < <(git ls-files -z)
[ "$count" -gt 100 ] || { echo "only $count files tracked?"; exit 1; }
[ "$missing" -eq 0 ] || exit 1
echo "$count files carry the SPDX line"
