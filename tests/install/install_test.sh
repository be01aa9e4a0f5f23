#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR under /usr, checks what a Debian
# desktop expects of an installed program, runs the installed programs, then
# builds the Debian package and checks its control data and contents.
# Usage: install_test.sh BUILD_DIR VERSION
set -u
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check WHAT STATUS
    if [ "$2" -eq 0 ]; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}

DESTDIR="$work/dest" cmake --install "$build" --prefix /usr > "$work/install.log" 2>&1
check "cmake --install with DESTDIR" $?
root="$work/dest/usr"
for f in bin/tkv-editor bin/tkvhdr share/tkv-editor/HeaderEditor.chm \
         share/applications/tkv-editor.desktop share/metainfo/com.corvandel.TkvEditor.metainfo.xml \
         share/mime/packages/tkv-editor.xml share/man/man1/tkvhdr.1.gz share/man/man1/tkv-editor.1.gz \
         share/doc/tkv-editor/copyright share/doc/tkv-editor/changelog.gz \
         share/bash-completion/completions/tkvhdr; do
    test -f "$root/$f"; check "installed $f" $?
done
for size in 16 32 48 64 128 256; do
    icon="$root/share/icons/hicolor/${size}x${size}/apps/tkv-editor.png"
    file "$icon" 2>/dev/null | grep -q "PNG image data, $size x $size"; check "icon ${size}x${size}" $?
done

desktop-file-validate "$root/share/applications/tkv-editor.desktop"
check "desktop-file-validate" $?
grep -q '^Icon=tkv-editor$' "$root/share/applications/tkv-editor.desktop" &&
    grep -q '^Categories=Science;Biology;$' "$root/share/applications/tkv-editor.desktop" &&
    grep -q '^MimeType=application/CV-TKV;application/CV-PKV;$' "$root/share/applications/tkv-editor.desktop"
check "desktop entry: icon, categories, content types" $?
appstreamcli validate --no-net "$root/share/metainfo/com.corvandel.TkvEditor.metainfo.xml" > "$work/as.log" 2>&1
check "appstreamcli validate --no-net" $?
grep -q "version=\"$version\"" "$root/share/metainfo/com.corvandel.TkvEditor.metainfo.xml"
check "metainfo names release $version" $?
xmllint --noout "$root/share/mime/packages/tkv-editor.xml"
check "MIME package parses" $?
for page in tkvhdr tkv-editor; do
    out=$(MANWIDTH=80 man -l -P cat --warnings "$root/share/man/man1/$page.1.gz" 2>"$work/man.err")
    [ $? -eq 0 ] && [ ! -s "$work/man.err" ] && grep -q "^NAME" <<< "$out"
    check "man -l renders $page(1) without warnings" $?
done

# The installed programs, in a home of their own.
export HOME="$work/home" XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config"
export XDG_STATE_HOME="$work/home/state" XDG_RUNTIME_DIR="$work/home/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
[ "$("$root/bin/tkvhdr" --version)" = "$version" ]; check "installed tkvhdr --version" $?
"$root/bin/tkvhdr" example "$work/example.tkv" > /dev/null &&
    "$root/bin/tkvhdr" dump "$work/example.tkv" | grep -q $'^RUN.GAIN\tLong\t5$'
check "installed tkvhdr writes and dumps the example" $?
out=$(QT_QPA_PLATFORM=offscreen TKV_SKIP_MIME_UPDATE=1 "$root/bin/tkv-editor" -Check "$work/example.tkv" 2>&1)
status=$?
echo "$out"
[ $status -eq 0 ] && grep -q "^help file $root/share/tkv-editor/HeaderEditor.chm$" <<< "$out"
check "installed editor opens the example offscreen and finds its installed help file" $?
! ls "$XDG_DATA_HOME/mime/packages" 2>/dev/null | grep -q tkv-editor
check "installed editor registers no content types of its own for the user" $?
(source "$root/share/bash-completion/completions/tkvhdr" || exit 1
    COMP_WORDS=(tkvhdr sh); COMP_CWORD=1; _tkvhdr; [ "${COMPREPLY[*]}" = "sheet" ] || exit 1
    COMP_WORDS=(tkvhdr set A01.tkv RUN.GAIN lo); COMP_CWORD=4; _tkvhdr
    [ "${COMPREPLY[*]}" = "long" ] || exit 1
    COMP_WORDS=(tkvhdr undo --l); COMP_CWORD=2; _tkvhdr; [ "${COMPREPLY[*]}" = "--list" ])
check "bash completion offers verbs and types" $?

# The Debian package.
(cd "$build" && cpack -G DEB > "$work/cpack.log" 2>&1)
status=$?
deb=$(ls "$build"/tkv-editor_"$version"*_*.deb 2>/dev/null | head -1)
[ $status -eq 0 ] && [ -n "$deb" ]; check "cpack -G DEB builds the package" $?
if [ -n "$deb" ]; then
    info=$(dpkg-deb --info "$deb")
    grep -q "Package: tkv-editor" <<< "$info" && grep -q "Version: $version" <<< "$info" &&
        grep -Eq "Depends:.*libqt6widgets6" <<< "$info" && grep -Eq "Depends:.*libc6" <<< "$info" &&
        grep -Eq "Depends:.*qt6-qpa-plugins" <<< "$info"
    check "package control: name, version, derived dependencies" $?
    contents=$(dpkg-deb --contents "$deb")
    for f in ./usr/bin/tkv-editor ./usr/bin/tkvhdr ./usr/share/tkv-editor/HeaderEditor.chm \
             ./usr/share/applications/tkv-editor.desktop \
             ./usr/share/icons/hicolor/256x256/apps/tkv-editor.png ./usr/share/man/man1/tkvhdr.1.gz \
             ./usr/share/man/man1/tkv-editor.1.gz; do
        grep -q " $f\$" <<< "$contents"; check "package holds $f" $?
    done
    # Debian's own package checks, every error and warning (not the notes
    # that only a package built by Debian's tools can satisfy).
    if command -v lintian > /dev/null; then
        lintian --fail-on error,warning "$deb" \
            > "$work/lintian.log" 2>&1
        status=$?
        cat "$work/lintian.log"
        check "lintian reports no error or warning" $status
    else
        echo "FAILED: lintian is not installed"; failures=$((failures + 1))
    fi
    rm -f "$deb"
fi
[ $failures -eq 0 ] || { echo "$failures check(s) failed"; cat "$work/cpack.log" 2>/dev/null | tail -20; exit 1; }
