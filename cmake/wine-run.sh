#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix beside the build folder
# named by WINEPREFIX. Creates the prefix once, under a lock,
# and starts a private Xvfb when there is no display.
set -eu

prefix=${WINEPREFIX:?set WINEPREFIX to the Wine prefix to use}
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} LC_ALL=ja_JP.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml="

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/.orvalintex-ready" ]; then
    wineboot -i >/dev/null 2>&1 || true
    # Unmanaged windows and no audio driver: otherwise every window waits about 2 s under Xvfb.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /d "" /f >/dev/null 2>&1
    # The dialog's font, which Wine lacks, drawn with the IPA font of the same
    # metrics kind; Wine's own fallback is wider and cuts the labels short.
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /d IPAPGothic /f >/dev/null 2>&1
    wineserver -w
    touch "$prefix/.orvalintex-ready"
  fi
) 9>"$prefix.lock"

exec wine "$@"
