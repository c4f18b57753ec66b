#!/usr/bin/env bash
# The Debian package and the installed launcher, without root:
#  1. cpack builds the .deb; its file list and control fields are checked;
#  2. the tree is installed under a prefix other than the configured one and
#     the launcher, started from /, runs the viewer on the installed data.
# usage: check_package.sh BUILD_DIR DEMO_DIR
set -euo pipefail
build=$1
demo=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "== package"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/pkg/reelstack_*.deb)
[ "$(basename "$deb")" = "reelstack_1.0.1_$(dpkg --print-architecture).deb" ] || fail "name $deb"
dpkg-deb -c "$deb" | awk '{print $6}' | sort >"$work/files"
for f in ./usr/bin/reelstack ./usr/libexec/reelstack/reelstack \
         ./usr/share/reelstack/vtx.c ./usr/share/reelstack/flg.c ./usr/share/reelstack/readme.txt \
         ./usr/share/reelstack/fav.ico ./usr/share/reelstack/favBg.ico \
         ./usr/share/applications/reelstack.desktop \
         ./usr/share/icons/hicolor/48x48/apps/reelstack.png; do
  grep -qx -- "$f" "$work/files" || fail "$f is not in the package"
done
# Nothing of the build (tests, tools, benchmarks, demo) comes along.
extra=$(grep -v -e '/$' "$work/files" | grep -vc -e '^./usr/bin/reelstack$' \
  -e '^./usr/libexec/reelstack/reelstack$' -e '^./usr/share/reelstack/' \
  -e '^./usr/share/applications/reelstack.desktop$' -e '^./usr/share/icons/' || true)
[ "$extra" = 0 ] || fail "unexpected files: $(cat "$work/files")"
[ "$(dpkg-deb -f "$deb" Package)" = reelstack ] || fail "Package"
[ "$(dpkg-deb -f "$deb" Version)" = 1.0.1 ] || fail "Version"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libglew2.2 libc6 libstdc++6 libxcb1 \
           qt6-qpa-plugins libgl1-mesa-dri; do
  case ", $depends," in *", $lib "*|*", $lib,"*) ;; *) fail "Depends lacks $lib: $depends" ;; esac
done
dpkg-deb -x "$deb" "$work/unpacked"
grep -qx 'Exec=reelstack %f' "$work/unpacked/usr/share/applications/reelstack.desktop" \
  || fail "desktop entry Exec"
grep -q '^Path=' "$work/unpacked/usr/share/applications/reelstack.desktop" \
  && fail "desktop entry names a fixed data path"
# The packaged launcher names no build or install path of this machine.
grep -q -e "$build" -e /usr/local "$work/unpacked/usr/bin/reelstack" && fail "launcher path"

echo "== install under another prefix, start from /"
prefix="$work/other prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
[ "$(cd / && "$prefix/bin/reelstack" --version)" = "リールスタック 1.0.1" ] || fail "--version"
# Through a symbolic link, with the folder given relative to the caller.
ln -s "$prefix/bin/reelstack" "$work/reelstack-link"
cp -r "$demo" "$work/gifs"
set +e
(cd "$work" && timeout -k 5 6 xvfb-run -a -s "-screen 0 1024x768x24" \
  ./reelstack-link --interval 1 gifs >"$work/out" 2>"$work/err")
status=$?
set -e
cat "$work/out"
[ "$status" = 124 ] || { cat "$work/err"; fail "the viewer ended early with status $status"; }
grep -q '^Compiling shader : vtx.c$' "$work/out" || fail "no shader compiled"
grep -q '^Linking program$' "$work/out" || fail "no program linked"
grep -q 'Impossible to open' "$work/out" && fail "shaders not found"
grep -q 'not a readable folder' "$work/err" && fail "the relative folder was lost"
echo "package and launcher OK"
