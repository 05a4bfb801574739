#!/usr/bin/env bash
# Validates the launcher entry, the AppStream metadata and the man pages the build made.
# Exit 77 (skipped) when a validator is missing: desktop-file-utils, appstream and man-db are Debian
# packages that tools/install-deps.sh installs.
# Usage: validate-desktop-files.sh DESKTOP_DIR
set -euo pipefail
dir=$1
missing=()
for tool in desktop-file-validate appstreamcli man; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "skipped: ${missing[*]} not installed (bash tools/install-deps.sh installs them)"
  exit 77
fi
desktop-file-validate "$dir/io.github.quarnix.Quarnix.desktop"
appstreamcli validate --no-net "$dir/io.github.quarnix.Quarnix.metainfo.xml"
for page in quarnix quarnix-cli; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$dir/man1/$page.1" 2>&1 >/dev/null)
  [[ -z $warnings ]] || { echo "$page.1: $warnings"; exit 1; }
  LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$dir/man1/$page.1" | grep -q "^NAME" || { echo "$page.1 renders no NAME"; exit 1; }
done
echo "desktop entry, metainfo and man pages are valid"
