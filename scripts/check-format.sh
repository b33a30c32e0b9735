#!/usr/bin/env bash
# Fails, listing them, when C++ files differ from what .clang-format makes of them. One version of
# clang-format, pinned in scripts/install-deps.sh, so that every machine formats alike.
set -euo pipefail
cd "$(dirname "$0")/.."
formatter=clang-format-14
if ! command -v "$formatter" >/dev/null; then
  echo "check-format: $formatter not found (scripts/install-deps.sh installs it)" >&2
  exit 2
fi
unformatted=()
while IFS= read -r -d '' file; do
  [ -f "$file" ] || continue
  "$formatter" --style=file --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done < <(git ls-files -z --cached --others --exclude-standard -- '*.cpp' '*.hpp' '*.h')
if [ ${#unformatted[@]} -gt 0 ]; then
  echo "Not formatted with $formatter (run: $formatter -i FILE...):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "check-format: every C++ file is formatted"
