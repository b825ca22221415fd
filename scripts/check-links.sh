#!/usr/bin/env bash
# Checks that every relative link in the documentation resolves: in
# README*.md, CONTRIBUTING.md, RELEASING.md and docs/*.md, or in the files
# given. A link must name a file or directory of the tree, from the linking
# file's directory (or from the top of the tree when it starts with '/').
# What follows a '#' is not checked, nor is a link with a scheme (https:,
# mailto:). Code, fenced or in `backticks`, holds no links. Prints each
# broken link as FILE:LINE and fails when there is one.
#   scripts/check-links.sh [FILE...]
set -euo pipefail
cd "$(dirname "$0")/.."

if (($# > 0)); then
  files=("$@")
else
  files=(README*.md CONTRIBUTING.md RELEASING.md docs/*.md)
fi

# Prints "LINE<TAB>TARGET" for each link of the Markdown file $1: inline
# links and images, [text](target "title"), and reference definitions,
# [label]: target.
links() {
  awk '
    /^[ \t]*(```|~~~)/ { fenced = !fenced; next }
    fenced { next }
    {
      line = $0
      gsub(/`[^`]*`/, "", line)
      if (line ~ /^[ \t]*\[[^]]+\]:[ \t]*[^ \t]/) {
        sub(/^[ \t]*\[[^]]+\]:[ \t]*/, "", line)
        sub(/[ \t].*/, "", line)
        print NR "\t" line
        next
      }
      while (match(line, /\]\([^)]*\)/)) {
        target = substr(line, RSTART + 2, RLENGTH - 3)
        line = substr(line, RSTART + RLENGTH)
        sub(/^[ \t]+/, "", target)
        if (target ~ /^</) {
          sub(/^</, "", target)
          sub(/>.*/, "", target)
        } else {
          sub(/[ \t].*/, "", target)
        }
        print NR "\t" target
      }
    }' "$1"
}

broken=0 checked=0
for file in "${files[@]}"; do
  [[ -f $file ]] || { echo "check-links: no file $file" >&2; broken=$((broken + 1)); continue; }
  dir=$(dirname "$file")
  while IFS=$'\t' read -r line target; do
    [[ -z $target || $target == \#* ]] && continue
    [[ $target =~ ^[A-Za-z][A-Za-z0-9+.-]*: ]] && continue
    path=${target%%#*}
    path=${path%%\?*}
    path=${path//%20/ }
    if [[ $path == /* ]]; then
      resolved=.$path
    else
      resolved=$dir/$path
    fi
    checked=$((checked + 1))
    [[ -e $resolved ]] && continue
    echo "$file:$line: broken link: $target" >&2
    broken=$((broken + 1))
  done < <(links "$file")
done

if ((broken > 0)); then
  echo "check-links: $broken broken of $checked links in ${#files[@]} files" >&2
  exit 1
fi
echo "check-links: $checked links in ${#files[@]} files resolve"
