#!/usr/bin/env bash
# Builds the Debian package with CPack into a temporary folder and checks with dpkg-deb that it installs
# the layout into /usr and depends on what the program needs at run time.
# Usage: package-test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/quarnix-package-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail cpack; }
deb=$(ls "$work"/quarnix_"$version"_*.deb 2>/dev/null | head -n 1)
[[ -n $deb ]] || { cat "$work/cpack.log"; fail "no quarnix_${version}_*.deb"; }

info=$(dpkg-deb --info "$deb")
depends=$(dpkg-deb --field "$deb" Depends)
for need in libqt6widgets6 libavformat libavcodec libavutil xdg-utils fonts-ipafont-gothic; do
  [[ $depends == *"$need"* ]] || fail "Depends lacks $need: $depends"
done
[[ $(dpkg-deb --field "$deb" Version) == "$version" ]] || fail "version: $info"

contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for path in ./usr/bin/quarnix ./usr/bin/quarnix-cli ./usr/share/quarnix/setting.ini \
            ./usr/share/quarnix/languages/japanese.ini ./usr/share/quarnix/help/index.html \
            ./usr/share/quarnix/help/ja/index.html \
            ./usr/share/applications/io.github.quarnix.Quarnix.desktop \
            ./usr/share/metainfo/io.github.quarnix.Quarnix.metainfo.xml \
            ./usr/share/icons/hicolor/256x256/apps/quarnix.png ./usr/share/man/man1/quarnix-cli.1; do
  grep -qx -- "$path" <<<"$contents" || fail "the package lacks $path"
done
if grep -q '^\./usr/bin/.*\.ini$\|^\./usr/bin/languages' <<<"$contents"; then fail "data beside the executables"; fi
# The media module, which the programs load on first use, in its private library folder.
grep -qE '^\./usr/lib(/[^/]+)?/quarnix/libquarnix-media\.so$' <<<"$contents" || fail "the package lacks the media module"
echo "package test passed: $(basename "$deb")"
