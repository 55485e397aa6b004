#!/usr/bin/env bash
# Installs the build into a temporary prefix, checks the desktop integration there, then removes
# it again as `make uninstall` does.
# Usage: check-install.sh CMAKE BUILD_DIR PROJECT_VERSION ICON_SIZE...
# Exit status: 0 passed, 1 failed, 77 a validator is missing (skipped).
set -uo pipefail

cmake=$1 build=$2 version=$3
shift 3
icon_sizes=("$@")
app_id=app.corvane.editor

missing=()
for tool in desktop-file-validate appstreamcli xmllint update-mime-database od; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "SKIP: missing ${missing[*]} (scripts/install-deps.sh installs them)"
  exit 77
fi
if [ ${#icon_sizes[@]} -eq 0 ]; then
  echo "FAIL: no icon sizes given"
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# An install with no DESTDIR: the files plus the refreshed caches.
if ! DESTDIR= "$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "FAIL: cmake --install into $prefix"
  exit 1
fi
# What `make install` keeps for `make uninstall`.
cp "$build/install_manifest.txt" "$work/manifest"

share=$prefix/share
desktop=$share/applications/$app_id.desktop
metainfo=$share/metainfo/$app_id.metainfo.xml
mime=$share/mime/packages/$app_id.xml

expected=("$desktop" "$metainfo" "$mime" "$share/icons/hicolor/scalable/apps/$app_id.svg")
for size in "${icon_sizes[@]}"; do
  expected+=("$share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
expected+=("$share/man/man1/corvane.1.gz" "$share/man/man1/corvane-cli.1.gz"
           "$share/bash-completion/completions/corvane" "$share/bash-completion/completions/corvane-cli"
           "$share/doc/corvane/copyright" "$share/doc/corvane/changelog.gz" "$share/doc/corvane/LICENSE")
for file in "${expected[@]}"; do
  [ -f "$file" ] || fail "not installed: ${file#"$prefix"/}"
done
for binary in corvane corvane-cli; do
  [ -x "$prefix/bin/$binary" ] || fail "not installed: bin/$binary"
done
[ $failures -eq 0 ] || exit 1

# Desktop entry: valid without a single remark, launching the installed binary.
report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate exit status"
[ -z "$report" ] || fail "desktop-file-validate: $report"
entry_value() { # group key
  awk -v group="[$1]" -v key="$2" '
    /^\[/ { in_group = ($0 == group); next }
    in_group && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }' "$desktop"
}
check_entry() { # group key expected
  local actual
  actual=$(entry_value "$1" "$2")
  [ "$actual" = "$3" ] || fail "$1 $2 is '$actual', expected '$3'"
}
check_entry "Desktop Entry" Exec "corvane %F"
check_entry "Desktop Entry" Icon "$app_id"
check_entry "Desktop Entry" Actions "new-window;"
check_entry "Desktop Action new-window" Exec "corvane --new-window"
desktop_types=$(entry_value "Desktop Entry" MimeType | tr ';' '\n' | sed '/^$/d' | sort)
for type in application/json application/x-ndjson text/csv text/tab-separated-values text/plain text/markdown \
            application/x-yaml application/yaml application/toml application/xml \
            application/x-plist text/x-log; do
  grep -qx "$type" <<<"$desktop_types" || fail "desktop entry lacks MimeType $type"
done

# AppStream: valid with no warning, naming the entry, the types and this version.
# Not --strict, which with --pedantic fails on mere information: every remark is read instead,
# and only one is accepted: AppStream before 1.0 (Debian 12 has 0.16) does not know the
# <developer> element that replaced <developer_name>, and says so as information.
report=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1)
remarks=$(grep -E '^[EWIP]: ' <<<"$report" | grep -vE '^I: [^ ]+: unknown-tag developer$')
[ -z "$remarks" ] || fail "appstreamcli validate --pedantic: $remarks"
grep -q "Validation was successful" <<<"$report" || fail "appstreamcli validate: $report"
xmllint --xpath 'string(/component/developer[@id="app.corvane"]/name)' "$metainfo" 2>/dev/null | grep -q . ||
  fail "metainfo lacks <developer id=\"app.corvane\"> with its <name>"
xpath() { xmllint --xpath "$1" "$metainfo" 2>/dev/null; }
[ "$(xpath 'string(/component/id)')" = "$app_id" ] || fail "metainfo id"
[ "$(xpath 'string(/component/launchable[@type="desktop-id"])')" = "$app_id.desktop" ] ||
  fail "metainfo launchable is not $app_id.desktop"
newest=$(xpath 'string(/component/releases/release[1]/@version)')
[ "$newest" = "$version" ] || fail "newest metainfo release is '$newest', the project is $version"
metainfo_types=$(xpath '/component/provides/mediatype/text()' | sort)
[ "$metainfo_types" = "$desktop_types" ] ||
  fail "metainfo mediatypes differ from the desktop entry's MimeType:
$(diff <(echo "$metainfo_types") <(echo "$desktop_types"))"

# MIME package: well-formed, and a database built from it alone knows both types.
xmllint --noout "$mime" || fail "xmllint $mime"
mkdir -p "$work/mime/packages"
cp "$mime" "$work/mime/packages/"
# Inside XDG_DATA_HOME, so the tool has nothing to remark but real problems.
report=$(XDG_DATA_HOME="$work" update-mime-database "$work/mime" 2>&1) || fail "update-mime-database exit status"
[ -z "$report" ] || fail "update-mime-database: $report"
for glob in "application/x-ndjson *.ndjson" "application/x-ndjson *.jsonl" \
            "application/x-plist *.plist"; do
  # globs2 lines: weight:type:pattern
  awk -F: -v type="${glob% *}" -v pattern="${glob#* }" \
    '$2 == type && $3 == pattern { found = 1 } END { exit !found }' "$work/mime/globs2" ||
    fail "MIME database lacks $glob"
done
grep -qx "application/x-plist application/xml" "$work/mime/subclasses" 2>/dev/null ||
  fail "application/x-plist is not an XML subclass"

# Caches refreshed by the install itself (no DESTDIR), where the tool exists.
[ -f "$share/mime/mime.cache" ] || fail "install did not refresh share/mime"
if command -v update-desktop-database >/dev/null; then
  grep -q "^application/x-ndjson=.*$app_id.desktop" "$share/applications/mimeinfo.cache" \
    2>/dev/null || fail "install did not refresh share/applications/mimeinfo.cache"
fi

# Icons: the SVG parses; every PNG is RGBA at its folder's size.
xmllint --noout "$share/icons/hicolor/scalable/apps/$app_id.svg" || fail "icon SVG"
for size in "${icon_sizes[@]}"; do
  png=$share/icons/hicolor/${size}x${size}/apps/$app_id.png
  # Signature (8 bytes), IHDR length and name (8), width and height (4 each), depth, colour type.
  read -r -a b <<<"$(od -An -tu1 -N26 "$png" | tr -s ' \n' '  ')"
  signature="${b[*]:0:8}"
  width=$(( (b[16] << 24) | (b[17] << 16) | (b[18] << 8) | b[19] ))
  height=$(( (b[20] << 24) | (b[21] << 16) | (b[22] << 8) | b[23] ))
  [ "$signature" = "137 80 78 71 13 10 26 10" ] || { fail "$png is not a PNG"; continue; }
  [ "$width" -eq "$size" ] && [ "$height" -eq "$size" ] ||
    fail "${size}x${size} icon is ${width}x${height}"
  [ "${b[25]}" -eq 6 ] || fail "${size}x${size} icon has colour type ${b[25]}, not RGBA"
done

# Uninstalling from the manifest removes every file and our own folder, refreshes the caches
# (they no longer know our types) and leaves the shared folders.
if ! "$cmake" -DMANIFEST="$work/manifest" -P "$(dirname "$0")/../../packaging/uninstall.cmake" \
     >"$work/uninstall.log" 2>&1; then
  cat "$work/uninstall.log"
  fail "uninstall.cmake"
fi
left=$(cd "$prefix" && find . -type f | grep -v -e '^./share/mime/' -e '^./share/applications/mimeinfo.cache$' | sort)
[ -z "$left" ] || fail "left after uninstalling: $left"
[ ! -e "$share/doc/corvane" ] || fail "share/doc/corvane left after uninstalling"
[ -d "$share/applications" ] || fail "uninstalling removed the shared share/applications"
[ -f "$share/mime/packages/$app_id.xml" ] && fail "uninstalling left the MIME package"
if grep -q "application/x-ndjson" "$share/mime/globs2" 2>/dev/null; then
  fail "the MIME cache still knows application/x-ndjson after uninstalling"
fi
if command -v update-desktop-database >/dev/null &&
   grep -q "$app_id.desktop" "$share/applications/mimeinfo.cache" 2>/dev/null; then
  fail "the desktop cache still lists $app_id.desktop after uninstalling"
fi
[ ! -e "$work/manifest" ] || fail "uninstall.cmake kept the manifest"

# A staged install (DESTDIR) leaves the caches to the package manager.
if ! DESTDIR="$work/stage" "$cmake" --install "$build" --prefix /usr --component desktop \
     >"$work/stage.log" 2>&1; then
  cat "$work/stage.log"
  fail "staged install"
fi
[ -f "$work/stage/usr/share/applications/$app_id.desktop" ] || fail "staged install lacks the desktop entry"
[ ! -e "$work/stage/usr/share/mime/mime.cache" ] || fail "staged install refreshed the MIME cache"

if [ $failures -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "packaging: installed tree checked (${#expected[@]} files, ${#icon_sizes[@]} icon sizes)"
