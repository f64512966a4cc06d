#!/usr/bin/env bash
# Checks the installed program the way a desktop and a package manager see it.
#   install_test.sh tree  BUILD_DIR APP_ID   install tree, desktop entry, metadata
#   install_test.sh start BUILD_DIR APP_ID   installed program shows its window (needs X)
#   install_test.sh deb   BUILD_DIR APP_ID   Debian package built by cpack
# Exit 77 means skipped.
set -euo pipefail

mode=$1 build=$2 id=$3
work=$(mktemp -d)
pid=
manifest="$build/install_manifest.txt"
# Installing (and packaging) rewrites the build folder's install manifest, which
# the user's own install may have left there for its removal: keep it as it was.
if [ -e "$manifest" ]; then cp -p "$manifest" "$work/manifest.saved"; fi
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  if [ -e "$work/manifest.saved" ]; then cp -p "$work/manifest.saved" "$manifest"; else rm -f "$manifest"; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null || fail "$1 is missing (scripts/install-deps.sh installs it)"; }

expected_files() {
  printf '%s\n' \
    "bin/tweenwright" \
    "lib/tweenwright/tweenwright-gui" \
    "share/applications/$id.desktop" \
    "share/icons/hicolor/scalable/apps/$id.svg" \
    "share/metainfo/$id.metainfo.xml" \
    "share/mime/packages/$id.xml" \
    "share/man/man1/tweenwright.1.gz" \
    "share/doc/tweenwright/changelog.gz" \
    "share/doc/tweenwright/copyright" | sort
}

# Installs into $work/root/usr, the layout the validators and a package expect.
install_tree() {
  cmake --install "$build" --prefix "$work/root/usr" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "cmake --install failed"; }
  prefix=$work/root/usr
}

desktop_key() { sed -n "s/^$1=//p" "$prefix/share/applications/$id.desktop"; }

check_tree() {
  need desktop-file-validate; need appstreamcli
  install_tree
  actual=$(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort)
  [ "$actual" = "$(expected_files)" ] ||
    fail "installed files differ from the expected set:$(diff <(expected_files) <(echo "$actual"))"
  [ -x "$prefix/bin/tweenwright" ] || fail "bin/tweenwright is not executable"
  [ -x "$prefix/lib/tweenwright/tweenwright-gui" ] || fail "lib/tweenwright/tweenwright-gui is not executable"
  # The command starts without Qt and FFmpeg; the full program has them.
  if command -v readelf >/dev/null; then
    needed=$(readelf -d "$prefix/bin/tweenwright" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p')
    ! grep -qE '^lib(Qt6|av|sw|sndfile)' <<<"$needed" ||
      fail "bin/tweenwright loads Qt or FFmpeg:"$'\n'"$needed"
  fi
  "$prefix/bin/tweenwright" --version | grep -q '^tweenwright ' ||
    fail "the installed command does not reach the full program for --version"

  desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop entry does not validate"
  appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" || fail "metadata does not validate"
  appstreamcli validate-tree --no-net "$work/root" || fail "install tree does not validate"

  # The three files must name each other and the program by the same id.
  [ "$(desktop_key Icon)" = "$id" ] || fail "desktop entry's icon is '$(desktop_key Icon)', not $id"
  [ "$(desktop_key Exec)" = "tweenwright %f" ] || fail "desktop entry runs '$(desktop_key Exec)'"
  [ "$(desktop_key Name)" = "Tweenwright" ] || fail "desktop entry's name is '$(desktop_key Name)'"
  grep -q '\bGraphics;' <<<"$(desktop_key Categories)" || fail "desktop entry is not among graphics programs"
  meta=$prefix/share/metainfo/$id.metainfo.xml
  grep -q "<id>$id</id>" "$meta" || fail "metadata's id is not $id"
  grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$meta" ||
    fail "metadata does not launch $id.desktop"
  grep -q '<binary>tweenwright</binary>' "$meta" || fail "metadata does not provide the program"
  grep -q '<caption>[^<]' "$meta" || fail "metadata's screenshot has no caption"
  grep -q '<svg ' "$prefix/share/icons/hicolor/scalable/apps/$id.svg" ||
    fail "icon is not an SVG"
  check_mime_type
  check_manual_page
  echo "install tree: $(echo "$actual" | wc -l) files, the validators pass"
}

# The hap file type: a valid shared-mime-info file that a MIME database built
# from it maps to *.hap and the first bytes of a block, as a kind of plain
# text, and that the desktop entry and the metadata declare.
check_mime_type() {
  need xmllint; need update-mime-database
  local package=$prefix/share/mime/packages/$id.xml mime=$work/mime
  xmllint --noout "$package" || fail "the MIME package file is not well-formed XML"
  mkdir -p "$mime/packages"
  cp "$package" "$mime/packages/"
  update-mime-database "$mime" || fail "update-mime-database refused the MIME package file"
  grep -qx '[0-9]*:text/x-hap:\*\.hap' "$mime/globs2" || fail "no *.hap glob for text/x-hap in the database"
  grep -qx 'text/x-hap text/plain' "$mime/subclasses" || fail "text/x-hap is not a kind of text/plain"
  grep -q '^\[[0-9]*:text/x-hap\]' "$mime/magic" || fail "text/x-hap has no magic"
  grep -aq '"#Haptek' "$mime/magic" || fail "the magic does not look for '\"#Haptek'"
  [ -f "$mime/text/x-hap.xml" ] || fail "the database has no entry for text/x-hap"
  [ "$(desktop_key MimeType)" = "text/x-hap;" ] || fail "desktop entry declares '$(desktop_key MimeType)'"
  grep -q '<mediatype>text/x-hap</mediatype>' "$meta" || fail "metadata does not declare text/x-hap"
}

# The manual page reads without warnings and covers the window and both subcommands.
check_manual_page() {
  local page=$prefix/share/man/man1/tweenwright.1.gz text
  [ "$(gzip -dc "$page" | head -c 4)" = ".TH " ] || fail "the manual page is not a gzip'd man page"
  if command -v groff >/dev/null; then
    text=$(gzip -dc "$page" | LC_ALL=C.UTF-8 MANWIDTH=80 groff -man -Tutf8 -ww -z 2>&1) ||
      fail "the manual page does not format"
    [ -z "$text" ] || fail "the manual page formats with warnings: $text"
  fi
  text=$(gzip -dc "$page" | sed 's/\\-/-/g')
  for word in 'F5' 'generate' 'load-last' 'clipboard-text' '--append' '--document' 'render' '--fps' 'EXIT STATUS'; do
    grep -q -- "$word" <<<"$text" || fail "the manual page does not mention $word"
  done
}

check_start() {
  if [ -z "${DISPLAY:-}" ]; then
    echo "SKIPPED: no DISPLAY; scripts/test.sh runs the tests on a virtual X server"
    exit 77
  fi
  need xdotool; need xprop
  install_tree
  mkdir -p "$work/home"
  HOME=$work/home "$prefix/bin/tweenwright" >"$work/program.log" 2>&1 &
  pid=$!
  wid=$(timeout 60 xdotool search --sync --all --onlyvisible --pid "$pid" --name '^Tweenwright$') || true
  wid=${wid%%$'\n'*}
  [ -n "$wid" ] || { cat "$work/program.log"; fail "the installed program showed no Tweenwright window within 60 s"; }
  kill -0 "$pid" 2>/dev/null || fail "the installed program ended after showing its window"

  # The window carries the built-in icon, and the desktop entry matches its class.
  icon=$(xprop -id "$wid" -notype _NET_WM_ICON)
  icon=${icon%%$'\n'*}
  [[ "$icon" == *"Icon ("* ]] || fail "the window has no icon: $icon"
  class=$(xprop -id "$wid" -notype WM_CLASS)
  [[ "$class" == *"\"$(desktop_key StartupWMClass)\""* ]] ||
    fail "window class $class does not match the desktop entry's StartupWMClass"
  echo "installed program showed window $wid with its icon; $class"
}

check_deb() {
  need dpkg-deb
  command -v dpkg-shlibdeps >/dev/null || fail "dpkg-shlibdeps is missing (dpkg-dev)"
  cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack -G DEB failed"; }
  debs=("$work"/pkg/tweenwright_*.deb)
  [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single tweenwright_*.deb"
  deb=${debs[0]}

  [ "$(dpkg-deb -f "$deb" Package)" = tweenwright ] || fail "package name is not tweenwright"
  [ "$(dpkg-deb -f "$deb" Section)" = graphics ] || fail "section is not graphics"
  [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
  [ -n "$(dpkg-deb -f "$deb" Description)" ] || fail "no description"
  depends=$(dpkg-deb -f "$deb" Depends)
  entries=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ *$//')
  # The libraries come from dpkg-shlibdeps (with versions); the SVG plugins by hand.
  for lib in libqt6core6 libqt6gui6 libqt6widgets6 libc6 libstdc++6 \
             libavcodec59 libavformat59 libavutil57 libswscale6 libswresample4; do
    grep -qx "$lib (>= [^)]*)" <<<"$entries" || fail "Depends lacks a versioned $lib: $depends"
  done
  grep -qx "libqt6svg6" <<<"$entries" || fail "Depends lacks libqt6svg6: $depends"

  packaged=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./usr/||' | sort)
  [ "$packaged" = "$(expected_files)" ] ||
    fail "packaged files differ from the expected set:$(diff <(expected_files) <(echo "$packaged"))"
  check_lintian "$deb"
  echo "$(basename "$deb"): Depends: $depends"
}

# Debian's own checks: no error and no warning; the informational tags are
# shown for the record.
check_lintian() {
  need lintian
  local out=$work/lintian.log status=0
  lintian --fail-on error,warning --display-info --no-tag-display-limit "$1" >"$out" 2>&1 || status=$?
  case $status in
    0) ;;
    1) cat "$out"; fail "lintian reports errors or warnings" ;;
    *) cat "$out"; fail "lintian did not run (status $status)" ;;
  esac
  echo "lintian: no errors or warnings; informational tags:"
  grep -E '^I: ' "$out" | sed 's/^/  /' || echo "  none"
}

case $mode in
  tree) check_tree ;;
  start) check_start ;;
  deb) check_deb ;;
  *) fail "unknown mode $mode" ;;
esac
