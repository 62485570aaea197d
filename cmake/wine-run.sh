#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix beside the build folder
# named by WINEPREFIX. Creates the prefix once, under a lock, and starts a
# private Xvfb when there is no display.
set -eu

prefix=${WINEPREFIX:?set WINEPREFIX to the Wine prefix to use}
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} LC_ALL=ja_JP.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml="

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

# Each value the prefix needs: key, name, data.
settings=(
  # Unmanaged windows and no audio driver: otherwise every window waits about 2 s under Xvfb.
  'HKCU\Software\Wine\X11 Driver|Managed|N'
  'HKCU\Software\Wine\Drivers|Audio|'
  # A crash ends the program at once instead of waiting for a click on Wine's dialog.
  'HKCU\Software\Wine\WineDbg|ShowCrashDialog|0'
  # The dialog's font, which Wine lacks, drawn with the IPA font of the same
  # metrics kind; Wine's own fallback is wider and cuts the labels short.
  'HKCU\Software\Wine\Fonts\Replacements|ＭＳ Ｐゴシック|IPAPGothic'
)

set_value() {
  local key=${1%%|*} rest=${1#*|}
  local name=${rest%%|*} data=${rest#*|}
  if [ "$name" = ShowCrashDialog ]; then
    wine reg add "$key" /v "$name" /t REG_DWORD /d "$data" /f >/dev/null 2>&1
  else
    wine reg add "$key" /v "$name" /d "$data" /f >/dev/null 2>&1
  fi
}

# Read back through a new wineserver, which loads what the last one saved.
value_took() {
  local key=${1%%|*} rest=${1#*|}
  local name=${rest%%|*} data=${rest#*|}
  local shown want="REG_SZ    $data"$'\r'
  [ "$name" = ShowCrashDialog ] && want="REG_DWORD    0x$data"$'\r'
  shown=$(wine reg query "$key" /v "$name" 2>/dev/null) || return 1
  case "$shown" in *"$want"*) return 0 ;; *) return 1 ;; esac
}

mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/.orvalintex-ready" ]; then
    wineboot -i >/dev/null 2>&1 || true
    for s in "${settings[@]}"; do set_value "$s" || true; done
    # Caption buttons are drawn from Marlett (package fonts-wine), which this
    # Wine does not look for where the package puts it; without it the close
    # box shows as the letter "r".
    cp /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
    wineserver -w
    if [ ! -s "$prefix/drive_c/windows/Fonts/marlett.ttf" ]; then
      echo "wine-run: Marlett is missing from $prefix (is fonts-wine installed?)" >&2
      exit 1
    fi
    for s in "${settings[@]}"; do
      if ! value_took "$s"; then
        wineserver -k 2>/dev/null || true
        echo "wine-run: the Wine prefix $prefix was not set up (${s%%|*} did not take);" \
          "the next start tries again" >&2
        exit 1
      fi
    done
    wineserver -w
    touch "$prefix/.orvalintex-ready"
  fi
) 9>"$prefix.lock"

exec wine "$@"
