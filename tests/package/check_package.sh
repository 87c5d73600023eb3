#!/usr/bin/env bash
# Builds the Debian package from an existing build folder (CPack strips the binaries)
# and checks it as a user's system would see it: the file list, the control fields,
# lintian, the AppStream data, the manual pages, and the installed exporter running.
# Usage: check_package.sh BUILD_FOLDER VERSION PHOTO
set -euo pipefail
build=$1 version=$2 photo=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack could not build the package"; }
deb=$work/kestal_${version}_amd64.deb
[[ -f $deb ]] || { ls "$work"; fail "no $deb"; }
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

# Exactly the designed layout: no test, benchmark or library file slips in.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | sort >"$work/files"
sort >"$work/expected" <<FILES
usr/bin/kestal
usr/bin/kestal-export
usr/lib/kestal/modules/kestal-encoders.so
usr/share/applications/kestal.desktop
usr/share/doc/kestal/changelog.gz
usr/share/doc/kestal/copyright
usr/share/icons/hicolor/128x128/apps/kestal.png
usr/share/icons/hicolor/16x16/apps/kestal.png
usr/share/icons/hicolor/24x24/apps/kestal.png
usr/share/icons/hicolor/256x256/apps/kestal.png
usr/share/icons/hicolor/32x32/apps/kestal.png
usr/share/icons/hicolor/48x48/apps/kestal.png
usr/share/icons/hicolor/64x64/apps/kestal.png
usr/share/icons/hicolor/scalable/apps/kestal.svg
usr/share/kestal/kestal.css
usr/share/kestal/kestal.htm
usr/share/kestal/kestal.ru.htm
usr/share/man/man1/kestal-export.1.gz
usr/share/man/man1/kestal.1.gz
usr/share/metainfo/org.kestal.Kestal.metainfo.xml
FILES
diff -u "$work/expected" "$work/files" || fail "the package's files differ from the layout"

field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == kestal ]] || fail "Package: $(field Package)"
[[ $(field Version) == "$version" ]] || fail "Version: $(field Version), expected $version"
[[ $(field Architecture) == amd64 ]] || fail "Architecture: $(field Architecture)"
[[ $(field Section) == graphics ]] || fail "Section: $(field Section)"
[[ $(field Recommends) == ghostscript ]] || fail "Recommends: $(field Recommends)"
[[ $(field Maintainer) == *"<"*@*">" ]] || fail "Maintainer: $(field Maintainer)"
[[ -n $(field Description) ]] || fail "no Description"
# Depends comes from dpkg-shlibdeps: the C library, Qt and the image libraries, and
# through the clip encoders' module FFmpeg's libraries, libwebp and libavif.
depends=$(field Depends)
for lib in libc6 libqt6widgets6 libjpeg62-turbo libpng16-16 libtiff6 libgif7 libavcodec59 libwebp7 libavif15; do
  grep -qE "(^|, )$lib( |,|$)" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
for f in usr/bin/kestal usr/bin/kestal-export usr/lib/kestal/modules/kestal-encoders.so; do
  dpkg-deb --fsys-tarfile "$deb" | tar -xO "./$f" >"$work/binary"
  file "$work/binary" | grep -q ', stripped' || fail "$f is not stripped"
done

# lintian: errors fail, warnings are listed (docs/installing.md says why each one stays).
lintian --no-tag-display-limit "$deb" >"$work/lintian" 2>&1 || true
sed 's/^/lintian: /' "$work/lintian"
if grep -q '^E:' "$work/lintian"; then fail "lintian reports errors"; fi

root=$work/root
dpkg -x "$deb" "$root"
# The licence, said the same way by the copyright file and the software-centre data.
grep -qx 'License: GPL-3+' "$root/usr/share/doc/kestal/copyright" || fail "copyright names no GPL-3+ licence"
grep -q '<project_license>GPL-3.0-or-later</project_license>' \
  "$root"/usr/share/metainfo/org.kestal.Kestal.metainfo.xml || fail "metainfo: project_license is not GPL-3.0-or-later"
appstreamcli validate --no-net "$root"/usr/share/metainfo/org.kestal.Kestal.metainfo.xml ||
  fail "the AppStream metainfo does not validate"
# Software centres find the program through the metainfo's launchable desktop entry
# and show the entry's icon.
launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' \
  "$root"/usr/share/metainfo/org.kestal.Kestal.metainfo.xml)
[[ -f $root/usr/share/applications/$launchable ]] || fail "the metainfo launches '$launchable', not packaged"
icon=$(sed -n 's/^Icon=//p' "$root/usr/share/applications/kestal.desktop")
[[ -f $root/usr/share/icons/hicolor/scalable/apps/$icon.svg ]] || fail "the desktop entry's icon '$icon' is not packaged"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/kestal.desktop" || fail "desktop entry"
fi
# Silent in a UTF-8 and in a plain ASCII locale (Cyrillic, say, would not render there).
for page in kestal.1.gz kestal-export.1.gz; do
  for locale in C.UTF-8 C; do
    warnings=$(LC_ALL=$locale MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page" 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "$page ($locale): $warnings"
  done
done
for size in 16 24 32 48 64 128 256; do
  got=$(identify -format '%wx%h' "$root/usr/share/icons/hicolor/${size}x${size}/apps/kestal.png")
  [[ $got == "${size}x${size}" ]] || fail "the ${size}x${size} icon is $got"
done

# The installed exporter runs from the scratch root and knows the package's version.
got=$("$root/usr/bin/kestal-export" --version)
[[ $got == "kestal-export $version" ]] || fail "kestal-export --version says '$got'"
"$root/usr/bin/kestal-export" -q -n 2 "$photo" "$work/check.gif" >/dev/null ||
  fail "the installed kestal-export cannot export"
# It finds the encoders' module where the package puts it.
"$root/usr/bin/kestal-export" -q -n 2 "$photo" "$work/check.webp" >/dev/null ||
  fail "the installed kestal-export cannot export through its encoders' module"
echo "the package is complete: ${version}, $(wc -l <"$work/files") files"
