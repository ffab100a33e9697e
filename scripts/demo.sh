#!/usr/bin/env bash
# Runs the setup program under Wine with the sample payload, in a scratch prefix.
# With a display you use the dialog yourself; without one it runs under Xvfb,
# walks through an installation as a user would and saves screenshots.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/bootstrap.sh
bash scripts/build.sh >/dev/null

demo=$root/build/demo
version=${MORVALEN_DEMO_VERSION:-win98}   # win98: the newer shell; winxp: Program Manager
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
export WINEPREFIX=$demo/prefix WINEARCH=win64 WINEDEBUG=-all HOME=$demo/home
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# A prefix left by an earlier demo may still have a server: end it first.
[ -d "$WINEPREFIX" ] && { "$wineserver" -k 2>/dev/null || true; "$wineserver" -w 2>/dev/null || true; }
rm -rf "$demo"
mkdir -p "$HOME" "$demo/shots"
echo "demo: making a Wine prefix in $WINEPREFIX ($version)"
"$wine" wineboot -i >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine' /v Version /d "$version" /f >/dev/null 2>&1
# Without a window manager, unmanaged windows keep Wine fast under Xvfb.
[ -n "${DISPLAY:-}" ] || "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
"$wineserver" -w
# Debian's Wine 8.0 looks for its own fonts (fonts-wine) under "<data dir>\../fonts", a path
# it cannot open, so Marlett, MS Sans Serif and System fall back to other fonts and the
# caption's close box shows an "r". In the prefix's Fonts folder Wine finds them.
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"

payload=$WINEPREFIX/drive_c/payload
mkdir -p "$payload"
cp build/x86_64/setup.exe "$payload/"
for f in Morvalen.exe Readme.txt Order.txt Uninstal.exe; do cp "build/x86_64/payload/$f" "$payload/"; done
echo "demo: payload staged in C:\\payload ($payload)"

if [ -n "${DISPLAY:-}" ]; then
  echo "demo: starting the setup on $DISPLAY"
  (cd "$payload" && "$wine" setup.exe) && status=0 || status=$?
  echo "demo: setup ended with status $status"
  "$wineserver" -k 2>/dev/null || true
else
  echo "demo: no display; walking through the setup under Xvfb"
  # A step that fails is named by the walk, which has then ended the prefix's programs.
  xvfb-run -a -s "-screen 0 1024x768x24" /usr/bin/python3 scripts/demo_walk.py "$payload" "$demo/shots" \
    "$root/build/x86_64/tests/driver/locate.exe" || exit 1
fi
"$wineserver" -w 2>/dev/null || true

echo
echo "== where things went =="
ini=$WINEPREFIX/drive_c/windows/morvalen.ini
if [ -f "$ini" ]; then
  echo "INI record ($ini):"
  tr -d '\r' <"$ini" | sed 's/^/  /'
  dir=$(tr -d '\r' <"$ini" | sed -n 's/^InstallPath=//p')
  linux_dir=$WINEPREFIX/drive_c/$(echo "${dir#?:\\}" | tr '\\' '/')
  echo "installation directory: $dir ($linux_dir)"
  ls -l "$linux_dir" 2>/dev/null | sed 's/^/  /'
else
  echo "no INI record: nothing was installed"
fi
links=$(find "$WINEPREFIX/drive_c/users" -path '*Programs/Morvalen*' -name '*.lnk' -o -path '*Programs/Morvalen*' -name '*.LNK' 2>/dev/null)
[ -n "$links" ] && { echo "menu entries:"; echo "$links" | sed 's/^/  /'; }
shots=$(ls "$demo/shots" 2>/dev/null || true)
[ -n "$shots" ] && { echo "screenshots in $demo/shots:"; echo "$shots" | sed 's/^/  /'; }
exit 0
