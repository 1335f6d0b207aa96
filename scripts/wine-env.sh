# Sourced by the scripts that run Windows programs under Wine: finds Wine,
# points it at the prefix in the build tree (made on first use, with Korean
# fonts linked so archive names show as text, not boxes) and quiets its log.
#
# Expects CASKWRIGHT_BUILD (the build tree root). Defines wine_exe.

wine_exe=$(command -v wine64 || command -v wine || true)
[ -n "$wine_exe" ] || { [ -x /usr/lib/wine/wine64 ] && wine_exe=/usr/lib/wine/wine64; }
[ -n "$wine_exe" ] || { echo "wine not found: run scripts/setup.sh" >&2; exit 1; }
wineserver_exe=$(command -v wineserver || true)
[ -n "$wineserver_exe" ] || wineserver_exe=/usr/lib/wine/wineserver

export WINEPREFIX=${WINEPREFIX:-$CASKWRIGHT_BUILD/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# Bumped when the prefix set-up below changes, so older prefixes catch up.
wine_prefix_version=2

wine_prefix_ready() {
  [ "$(cat "$WINEPREFIX/.caskwright-ready" 2>/dev/null)" = "$wine_prefix_version" ]
}

make_wine_prefix() {
  wine_prefix_ready && return 0
  mkdir -p "$WINEPREFIX"
  (
    # One maker at a time: ctest may start several tests together.
    flock 9
    wine_prefix_ready && exit 0
    # Until the prefix is marked ready, every maker boots it again: a boot
    # cut short leaves files behind that only a full boot completes.
    # The registry reaches the prefix when the wine server ends.
    local boot_log=$WINEPREFIX.boot.log
    if ! "$wine_exe" wineboot -i >"$boot_log" 2>&1 || ! "$wineserver_exe" -w ||
      [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wineboot could not set up the Wine prefix $WINEPREFIX:" >&2
      tail -20 "$boot_log" >&2
      exit 1
    fi
    local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
    for face in Tahoma 'MS Shell Dlg' 'MS Shell Dlg 2' 'Microsoft Sans Serif' 'Segoe UI'; do
      "$wine_exe" reg add "$key" /v "$face" /t REG_MULTI_SZ /d 'NanumGothic.ttf,NanumGothic' /f >/dev/null 2>&1 || true
    done
    # Wine finds fonts through its own Fonts folder too: the Korean faces, and
    # Wine's own Tahoma (the dialog font) and Marlett (the caption buttons),
    # which this Wine does not load from its data folder by itself.
    for f in /usr/share/fonts/truetype/nanum/NanumGothic*.ttf \
      /usr/share/wine/fonts/tahoma*.ttf /usr/share/wine/fonts/marlett.ttf; do
      [ -f "$f" ] && ln -sf "$f" "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    done
    "$wineserver_exe" -w 2>/dev/null || true
    echo "$wine_prefix_version" >"$WINEPREFIX/.caskwright-ready"
  ) 9>"$WINEPREFIX.lock"
}

# On the private display there is no window manager: Wine then draws the
# window frames itself, and must not wait for a manager to confirm that a
# window was hidden (two seconds for every closed window). On a desktop the
# manager does both. The prefix remembers which way it is set.
wine_window_mode() {
  local mode=desktop
  [ -n "${CASKWRIGHT_PRIVATE_DISPLAY:-}" ] && mode=headless
  [ "$(cat "$WINEPREFIX/.caskwright-windows" 2>/dev/null)" = "$mode" ] && return 0
  (
    flock 9
    [ "$(cat "$WINEPREFIX/.caskwright-windows" 2>/dev/null)" = "$mode" ] && exit 0
    local key='HKCU\Software\Wine\X11 Driver'
    for value in Managed Decorated; do
      if [ "$mode" = headless ]; then
        "$wine_exe" reg add "$key" /v "$value" /t REG_SZ /d N /f >/dev/null 2>&1 || true
      else
        "$wine_exe" reg delete "$key" /v "$value" /f >/dev/null 2>&1 || true
      fi
    done
    echo "$mode" >"$WINEPREFIX/.caskwright-windows"
  ) 9>"$WINEPREFIX.lock"
}

# Starts a private X display when there is none; sets xvfb_pid and marks the
# display private for the Wine programs started on it (wine_window_mode).
# Fails, leaving nothing running, when no display comes up.
xvfb_pid=""
ensure_display() {
  if [ -n "${DISPLAY:-}" ]; then return 0; fi
  command -v Xvfb >/dev/null || { echo "Xvfb not found: run scripts/setup.sh" >&2; return 1; }
  local n
  for n in $(seq 90 140); do
    if [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; then continue; fi
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
      if [ -e "/tmp/.X11-unix/X$n" ]; then
        export DISPLAY=":$n"
        export CASKWRIGHT_PRIVATE_DISPLAY=1
        return 0
      fi
      # Gone: another program took the number first; the next one is tried.
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$xvfb_pid" 2>/dev/null; then
      stop_display
      echo "Xvfb :$n did not come up within 10 s" >&2
      return 1
    fi
    xvfb_pid=""
  done
  echo "no X display could be started (numbers 90 to 140 tried)" >&2
  return 1
}

stop_display() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=""
}
