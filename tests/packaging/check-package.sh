#!/usr/bin/env bash
# Builds the Debian package from the build folder with cpack and checks it: its files, its control
# fields, lintian, and the programs run from an unpacked copy. As root with CI or
# CORVANE_TEST_DPKG_INSTALL=1 set, also installs it for real with dpkg, runs it from /usr/bin and
# removes it again, checking that nothing of it is left.
# Usage: check-package.sh CPACK BUILD_DIR PROJECT_VERSION ICON_SIZE...
# Exit status: 0 passed, 1 failed, 77 a tool is missing (skipped).
set -uo pipefail

cpack=$1 build=$2 version=$3
shift 3
icon_sizes=("$@")
app_id=app.corvane.editor

missing=()
for tool in dpkg-deb dpkg-shlibdeps lintian; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "SKIP: missing ${missing[*]} (scripts/install-deps.sh test installs them)"
  exit 77
fi

work=$(mktemp -d)
installed_for_real=0
cleanup() {
  # A failure half-way through a real install must not leave the package behind.
  if [ $installed_for_real -eq 1 ] && dpkg-query -W -f='${Status}' corvane 2>/dev/null | grep -q installed; then
    dpkg -r corvane >/dev/null 2>&1
  fi
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The package, staged and written in a folder of this test's own, so that parallel tests and the
# build folder's own packages are left alone.
if ! (cd "$build" && "$cpack" -G DEB -B "$work/cpack" --config "$build/CPackConfig.cmake") >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack -G DEB"
  exit 1
fi
arch=$(dpkg --print-architecture)
deb=$work/cpack/corvane_${version}_${arch}.deb
if [ ! -f "$deb" ]; then
  cat "$work/cpack.log"
  echo "FAIL: cpack wrote no corvane_${version}_${arch}.deb"
  exit 1
fi
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = corvane ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', the project is $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
depends=$(field Depends)
echo "Depends: $depends"
# Computed by dpkg-shlibdeps from what the binaries link: run-time libraries, never -dev packages.
grep -q -- '-dev\b' <<<"$depends" && fail "Depends names a development package"
for library in libqt6widgets6 libqt6core6 libqt6gui6 libc6 libxml2; do
  grep -Eq "(^|, )$library( |,|$)" <<<"$depends" || fail "Depends lacks $library"
done
# Caches are refreshed by dpkg triggers, so the package has no maintainer scripts.
scripts=$(dpkg-deb -I "$deb" | awk '$NF ~ /^(preinst|postinst|prerm|postrm)$/ { print $NF }')
[ -z "$scripts" ] || fail "maintainer scripts: $scripts"

# Files: exactly the install rules' files, owned by root, nothing generated at install time.
dpkg-deb -c "$deb" >"$work/contents"
awk '{ print $6 }' "$work/contents" | sed 's|^\./|/|; s|/$||' | sort >"$work/paths"
expected=(/usr/bin/corvane /usr/bin/corvane-cli
          /usr/share/applications/$app_id.desktop
          /usr/share/metainfo/$app_id.metainfo.xml
          /usr/share/mime/packages/$app_id.xml
          /usr/share/icons/hicolor/scalable/apps/$app_id.svg
          /usr/share/man/man1/corvane.1.gz /usr/share/man/man1/corvane-cli.1.gz
          /usr/share/bash-completion/completions/corvane /usr/share/bash-completion/completions/corvane-cli
          /usr/share/doc/corvane/copyright /usr/share/doc/corvane/changelog.gz /usr/share/doc/corvane/LICENSE)
for size in "${icon_sizes[@]}"; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
for path in "${expected[@]}"; do
  grep -qxF "$path" "$work/paths" || fail "package lacks $path"
done
# Every file of the package is one of those (folders aside).
files=$(awk '$1 !~ /^d/ { print $6 }' "$work/contents" | sed 's|^\./|/|' | sort)
unexpected=$(comm -23 <(echo "$files") <(printf '%s\n' "${expected[@]}" | sort))
[ -z "$unexpected" ] || fail "unexpected files in the package:
$unexpected"
awk '$2 != "root/root" { print }' "$work/contents" | grep -q . && fail "files not owned by root"
for binary in corvane corvane-cli; do
  grep -q "^-rwxr-xr-x .* \./usr/bin/$binary$" "$work/contents" || fail "/usr/bin/$binary is not 0755"
done

# lintian: no error; what it says is shown.
lintian --fail-on error --display-info "$deb" >"$work/lintian" 2>&1
status=$?
grep -v "running with root privileges" "$work/lintian"
[ $status -eq 0 ] || fail "lintian reports errors (exit status $status)"

# Unpacked into a throwaway root, the programs run from there (the system has their libraries).
root=$work/root
dpkg -x "$deb" "$root" || fail "dpkg -x"
out=$("$root/usr/bin/corvane-cli" --version 2>&1) || fail "unpacked corvane-cli --version: status $?"
[ "$out" = "corvane-cli $version" ] || fail "unpacked corvane-cli --version printed '$out'"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/corvane" --version 2>&1) ||
  fail "unpacked corvane --version: status $?"
[ "$out" = "corvane $version" ] || fail "unpacked corvane --version printed '$out'"
printf '{"a": [1, 2]}\n' >"$work/sample.json"
out=$("$root/usr/bin/corvane-cli" check "$work/sample.json" 2>&1) || fail "unpacked corvane-cli check: $out"
# The manual pages format without a warning.
if command -v man >/dev/null; then
  for page in corvane corvane-cli; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man $page: $warnings"
  done
fi
rm -rf "$root"
[ ! -e "$root" ] || fail "the unpacked copy could not be removed"

# The real thing, where the machine is a throwaway one: dpkg -i, the programs from /usr/bin, the
# triggers' caches, dpkg -r, nothing left.
if [ "$(id -u)" -eq 0 ] && { [ -n "${CI:-}" ] || [ "${CORVANE_TEST_DPKG_INSTALL:-}" = 1 ]; }; then
  if dpkg-query -W -f='${Status}' corvane 2>/dev/null | grep -q "install ok installed"; then
    echo "SKIP real install: a corvane package is already installed here and is left alone"
  else
    installed_for_real=1
    dpkg -i "$deb" >"$work/dpkg.log" 2>&1
    DEBIAN_FRONTEND=noninteractive apt-get -y -qq -f install >>"$work/dpkg.log" 2>&1
    if ! dpkg-query -W -f='${Status}' corvane 2>/dev/null | grep -q "install ok installed"; then
      cat "$work/dpkg.log"
      fail "dpkg -i did not install corvane"
    else
      dpkg -L corvane >"$work/installed"
      out=$(env -u DISPLAY -u WAYLAND_DISPLAY /usr/bin/corvane --version 2>&1) || fail "/usr/bin/corvane --version: status $?"
      [ "$out" = "corvane $version" ] || fail "/usr/bin/corvane --version printed '$out'"
      out=$(/usr/bin/corvane-cli --version 2>&1) || fail "/usr/bin/corvane-cli --version: status $?"
      [ "$out" = "corvane-cli $version" ] || fail "/usr/bin/corvane-cli --version printed '$out'"
      # The triggers of shared-mime-info and desktop-file-utils have run.
      if command -v update-mime-database >/dev/null; then
        grep -q "application/x-ndjson:\*\.ndjson" /usr/share/mime/globs2 ||
          fail "the MIME database does not know *.ndjson after dpkg -i"
      fi
      if command -v update-desktop-database >/dev/null; then
        grep -q "$app_id.desktop" /usr/share/applications/mimeinfo.cache ||
          fail "the desktop database does not list $app_id.desktop after dpkg -i"
      fi
      dpkg -r corvane >>"$work/dpkg.log" 2>&1 || fail "dpkg -r corvane"
      installed_for_real=0
      dpkg-query -W -f='${Status}' corvane 2>/dev/null | grep -q "install ok installed" &&
        fail "corvane still installed after dpkg -r"
      # Of what it installed, only folders other packages share are left.
      while IFS= read -r path; do
        if [ -e "$path" ] && ! [ -d "$path" ]; then
          fail "left after dpkg -r: $path"
        elif [ -d "$path" ] && ! dpkg -S "$path" >/dev/null 2>&1; then
          fail "folder left after dpkg -r: $path"
        fi
      done <"$work/installed"
      if command -v update-mime-database >/dev/null; then
        grep -q "application/x-ndjson:\*\.ndjson" /usr/share/mime/globs2 &&
          fail "the MIME database still knows *.ndjson after dpkg -r"
      fi
      echo "dpkg -i, run from /usr/bin, dpkg -r: $(wc -l <"$work/installed") paths, none left"
    fi
  fi
fi

if [ $failures -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "packaging: $(basename "$deb") checked (${#expected[@]} files)"
