#!/usr/bin/env bash
# Builds the Debian package from a built tree and checks it as a user would get
# it: lintian (no error), desktop-file-validate, appstreamcli validate --no-net,
# the man pages and the shell completion; then unpacks it into a scratch root
# and runs the unpacked tavrel-cli there (--version, and one carve whose rules
# come from the package's share/tavrel/FileSetting.txt).
#
#   scripts/check-package.sh BUILD_DIR [SOURCE_DIR]
#
# Exit 77 (skipped) when a needed tool is missing.
set -euo pipefail

build=$(cd "${1:?usage: $0 BUILD_DIR [SOURCE_DIR]}" && pwd)
here=$(cd "${2:-$(dirname "$0")/..}" && pwd)
for tool in cpack dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli scdoc; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (scripts/install-deps.sh)"; exit 77; }
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The package, built into the scratch folder (not into the build tree).
(cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -B "$scratch/out") >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack"; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb="$scratch/out/tavrel_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || { ls "$scratch/out" >&2; fail "no $(basename "$deb")"; }
echo "built $(basename "$deb") ($(stat -c %s "$deb") bytes)"
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "no shared-library dependencies"
dpkg-deb -f "$deb" Description | sed -n '2p' | grep -q . || fail "no extended description"

# lintian: warnings are shown, errors fail.
lintian --allow-root --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1 || true
cat "$scratch/lintian.log"
if grep -q '^E:' "$scratch/lintian.log"; then fail "lintian reports errors"; fi

root="$scratch/root"
dpkg -x "$deb" "$root"
share="$root/usr/share"
desktop-file-validate "$share/applications/io.github.tavrel.Tavrel.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$share/metainfo/io.github.tavrel.Tavrel.metainfo.xml" || fail "AppStream metainfo"
for f in bin/tavrel bin/tavrel-cli share/tavrel/FileSetting.txt share/doc/tavrel/copyright \
  share/doc/tavrel/changelog.gz share/doc/tavrel/manual/index.html share/mime/packages/tavrel.xml \
  share/icons/hicolor/scalable/apps/tavrel.svg share/icons/hicolor/48x48/apps/tavrel.png \
  share/icons/hicolor/128x128/apps/tavrel.png share/icons/hicolor/256x256/apps/tavrel.png \
  share/man/man1/tavrel.1.gz share/man/man1/tavrel-cli.1.gz \
  share/bash-completion/completions/tavrel-cli share/zsh/vendor-completions/_tavrel-cli; do
  [ -f "$root/usr/$f" ] || fail "/usr/$f is not in the package"
done
[ ! -e "$root/usr/bin/FileSetting.txt" ] || fail "a data file in /usr/bin"
zcat "$share/man/man1/tavrel-cli.1.gz" | grep -q '^\.SH EXIT STATUS' || fail "tavrel-cli(1) has no exit statuses"
if command -v man >/dev/null; then
  man --manpath="$share/man" -w tavrel-cli >/dev/null || fail "man tavrel-cli finds no page"
fi
bash -n "$share/bash-completion/completions/tavrel-cli" || fail "bash completion"
if command -v zsh >/dev/null; then zsh -n "$share/zsh/vendor-completions/_tavrel-cli" || fail "zsh completion"; fi

# The unpacked program: its version, and a carve with the packaged rules.
cli="$root/usr/bin/tavrel-cli"
"$cli" --version | grep -qx "tavrel-cli $version" || fail "tavrel-cli --version"
image="$scratch/disk.img"
truncate -s 1M "$image"
icon="$here/packaging/icons/tavrel-48.png"
dd if="$icon" of="$image" bs=4096 seek=3 conv=notrunc status=none
"$cli" carve "$image" --start 0 --end 2047 --out "$scratch/carved" --json >"$scratch/carve.json" ||
  { cat "$scratch/carve.json" >&2; fail "carve from the unpacked package"; }
found=$(find "$scratch/carved" -type f -name '*png*' | head -n 1)
[ -n "$found" ] && cmp -s "$found" "$icon" || { cat "$scratch/carve.json" >&2; fail "carve did not find the PNG"; }
echo "package checks passed"
