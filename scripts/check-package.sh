#!/usr/bin/env bash
# Checks the Debian package in the folder given (the newest .deb there): the
# files it installs, the dependencies it declares, and its manual pages.
set -euo pipefail
dir=${1:?usage: check-package.sh PACKAGE-FOLDER}
deb=$(ls -t "$dir"/quarn-dash_*.deb 2>/dev/null | head -n 1 || true)
if [ -z "$deb" ]; then
  echo "no quarn-dash_*.deb in $dir: build it with \"make package\"" >&2
  exit 1
fi
echo "checking $deb"
fail=0
problem() { echo "FAIL: $*" >&2; fail=1; }

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/quarn-dash ./usr/bin/quarn-log ./usr/bin/quarn-boxsim \
         ./usr/share/applications/quarn-dash.desktop \
         ./usr/share/icons/hicolor/256x256/apps/quarn-dash.png \
         ./usr/share/man/man1/quarn-dash.1.gz ./usr/share/man/man1/quarn-log.1.gz \
         ./usr/share/man/man1/quarn-boxsim.1.gz ./usr/share/doc/quarn-dash/README.md \
         ./usr/share/doc/quarn-dash/copyright ./usr/share/doc/quarn-dash/changelog.gz \
         ./usr/share/lintian/overrides/quarn-dash; do
  grep -qxF "$f" <<<"$files" || problem "missing $f"
done
# Only the programs, their documentation and lintian's overrides: no tests,
# headers or libraries.
extra=$(grep -vE '^\./(usr/?|usr/(bin|share)/?|usr/bin/quarn-(dash|log|boxsim)|usr/share/(applications|icons|man|doc|lintian)(/.*)?)$' <<<"$files" || true)
[ -z "$extra" ] || problem "unexpected files: $extra"

info=$(dpkg-deb -I "$deb")
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quarn-dash ] || problem "package name $(field Package)"
[ -n "$(field Version)" ] || problem "no version"
depends=$(field Depends)
echo "Depends: $depends"
names=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//')
for p in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 \
         libqcustomplot2.1-qt6 libmuparser2v5 fonts-liberation2; do
  grep -qxF "$p" <<<"$names" || problem "Depends lacks $p"
done
# Debian package names only, each with an optional version.
if tr ',' '\n' <<<"$depends" | sed 's/^ *//' |
    grep -qvE '^[a-z0-9][a-z0-9.+-]+( \((<<|<=|=|>=|>>) [^)]+\))?$'; then
  problem "a dependency is not a Debian package name"
fi
grep -q "^ Description: " <<<"$info" || problem "no description"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp"
for p in quarn-dash quarn-log quarn-boxsim; do
  page=$(zcat "$tmp/usr/share/man/man1/$p.1.gz")
  grep -q '^\.TH ' <<<"$page" || problem "$p.1 is no manual page"
  grep -qF -- '\fB\-\-help\fR' <<<"$page" || problem "$p.1 does not show the options"
  grep -q "/" <<<"$(grep -A1 '^\.SH SYNOPSIS' <<<"$page" | tail -n 1)" &&
    problem "$p.1 names the build folder"
  # help2man ends an option's paragraph where the indentation of its text
  # changes and goes on with an untagged one.
  sed -n '/^\.SH OPTIONS/,/^\.SH /p' <<<"$page" | grep -qx '\.IP' &&
    problem "$p.1 splits the text of an option"
done
page=$(zcat "$tmp/usr/share/man/man1/quarn-dash.1.gz")
for s in ENVIRONMENT FILES '"SEE ALSO"'; do
  grep -qxF ".SH $s" <<<"$page" || problem "quarn-dash.1 has no $s section"
done
for w in QUARN_COM quarnom.ini quarn\\-dash.ini .qz0.meta dialout; do
  grep -qF -- "$w" <<<"$page" || problem "quarn-dash.1 does not mention $w"
done
# The exit status is a section of its own, not a paragraph of OPTIONS.
zcat "$tmp/usr/share/man/man1/quarn-log.1.gz" | grep -qxF '.SH "EXIT STATUS"' ||
  problem "quarn-log.1 has no EXIT STATUS section"

# The top entry of the changelog is this version, by the package's maintainer.
top=$(zcat "$tmp/usr/share/doc/quarn-dash/changelog.gz" | head -n 1)
[ "$top" = "quarn-dash ($(field Version)) unstable; urgency=medium" ] ||
  problem "the changelog starts \"$top\", not with version $(field Version)"
zcat "$tmp/usr/share/doc/quarn-dash/changelog.gz" | grep -m1 '^ -- ' |
  grep -qF " -- $(field Maintainer)  " || problem "the changelog's entry is not by $(field Maintainer)"

# Started from the desktop, the program works in its per-user folder.
entry="$tmp/usr/share/applications/quarn-dash.desktop"
grep -qx 'Exec=quarn-dash --user-folder' "$entry" ||
  problem "the desktop entry does not start quarn-dash in the per-user folder"
grep -q '^Keywords=.' "$entry" || problem "the desktop entry has no Keywords"
exit $fail
