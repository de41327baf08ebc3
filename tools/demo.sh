#!/usr/bin/env bash
# The demo: "installs" a small application into the Wine prefix the way the
# companion installer would (files, shortcuts, uninstall entry, a registry key,
# the uninstaller's registration and its uninstall log), then runs the real
# desinstalador.exe on it and shows what is left afterwards.
#
# Called by `./dev.sh demo` with WINEPREFIX and DISPLAY set. When dev.sh had to
# start its own virtual display (UND_DEMO_UNATTENDED=1) nobody can answer the
# program, so a small robot (und_demo_driver.exe) answers for you and
# screenshots land in build/demo/. With a real display you answer yourself.
#
# It ends with a verdict: what the installation calls for (every logged file
# gone but the changed one, the folders, shortcuts and keys, the count-down of
# the uninstaller's registration and its self-deletion at the next start),
# checked against the disk and the registry, and with the robot against what
# the program showed. Exit code 1 when any expectation failed.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
NATIVE_BIN="${UND_NATIVE_BIN:-$ROOT/build/native/bin}"
WIN32_BIN="${UND_WIN32_BIN:-$ROOT/build/win32/bin}"
OUT="${UND_DEMO_OUT:-$ROOT/build/demo}"
: "${WINEPREFIX:?WINEPREFIX must be set (dev.sh sets it)}"
: "${DISPLAY:?DISPLAY must be set (dev.sh sets it)}"
export WINEDEBUG=-all
WLANG="${LANG_WINE:-pt_BR.UTF-8}"
UNATTENDED="${UND_DEMO_UNATTENDED:-0}"

say() { printf '\n== %s\n' "$*"; }
TMP="$(mktemp -d)"
trap 'rm -rf "$TMP"' EXIT

# Wine output goes through a file: a pipe can be held open by Wine's helper
# processes long after the command itself ended.
w() {
  local rc=0
  LANG="$WLANG" timeout 120 wine "$@" >"$TMP/out" 2>&1 </dev/null || rc=$?
  tr -d '\r' <"$TMP/out"
  return $rc
}
# shellcheck source=tools/demo-verdict.sh
. "$ROOT/tools/demo-verdict.sh"
reg_lines() { w reg query "$1" /reg:32; }
regadd() { w reg add "$@" /reg:32 /f >/dev/null; }
unix_of() { # a C:\ path -> its file in the prefix
  local p="${1#?:\\}"
  printf '%s/drive_c/%s' "$WINEPREFIX" "${p//\\//}"
}

PROGRAM="$WIN32_BIN/desinstalador.exe"
UNDTOOL="$NATIVE_BIN/undtool"
DRIVER="$WIN32_BIN/und_demo_driver.exe"
command -v jq >/dev/null || { echo "demo: jq is missing (./dev.sh setup installs it)" >&2; exit 1; }
for f in "$PROGRAM" "$UNDTOOL"; do
  [ -e "$f" ] || { echo "demo: $f is missing (is it built yet?)" >&2; exit 1; }
done

# --- where things go ------------------------------------------------------
if [ -d "$WINEPREFIX/drive_c/Program Files (x86)" ]; then PF='C:\Program Files (x86)'; else PF='C:\Program Files'; fi
HOST="$PF"'\Exemplos Kestrivon'
INSTALL="$HOST"'\Planilha Demo'
LOG="$INSTALL"'\planilha.und'
SHORTCUTS='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Planilha Demo'
UNINSTALLER="$PF"'\Common Files\Kestrivon\desinstalador.exe'
APPNAME='Planilha Demo 2.1'
UNKEY='PlanilhaDemo21'
APPKEY='Software\Exemplos Kestrivon\Planilha Demo'
REGISTRATION='HKLM\Software\Kestrivon\Dalvests\1.0.0.3'
DALVESTS='HKLM\Software\Kestrivon\Dalvests'
UNINSTALL_ROOT='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
RUNONCE='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'

INSTALL_U="$(unix_of "$INSTALL")"
HOST_U="$(unix_of "$HOST")"
SHORTCUTS_U="$(unix_of "$SHORTCUTS")"
UNINSTALLER_U="$(unix_of "$UNINSTALLER")"

# One Wine session for the whole demo: the first process of a new session
# runs the run-once entries, as the next start of Windows would, and that
# would carry out the uninstaller's self-deletion before we could show it.
# (dev.sh has already started a lasting one; then this does nothing.)
wineserver -p 2>/dev/null || true
trap 'rm -rf "$TMP"; timeout 20 wineserver -k 2>/dev/null || true' EXIT

# --- a clean slate: what an earlier demo left -------------------------------
rm -rf "$HOST_U" "$SHORTCUTS_U"
w reg delete "$UNINSTALL_ROOT\\$UNKEY" /reg:32 /f >/dev/null || true
w reg delete 'HKLM\Software\Exemplos Kestrivon' /reg:32 /f >/dev/null || true
w reg delete "$REGISTRATION" /reg:32 /f >/dev/null || true
w reg delete "$RUNONCE" /v Delete /reg:32 /f >/dev/null || true
mkdir -p "$OUT"
rm -f "$OUT"/*.png "$OUT"/*.want "$OUT"/*.done

# --- "install" ------------------------------------------------------------
say "installing \"$APPNAME\" into $INSTALL"
mkdir -p "$INSTALL_U/dados/modelos" "$INSTALL_U/dados/ajuda/imagens" "$SHORTCUTS_U" "$(dirname "$UNINSTALLER_U")"
head -c 614400 /dev/urandom >"$INSTALL_U/Planilha.exe"
head -c 81920 /dev/urandom >"$INSTALL_U/calculo.dll"
printf 'Planilha Demo 2.1\r\nUm programa de exemplo.\r\n' >"$INSTALL_U/leia-me.txt"
printf '[geral]\r\nidioma=pt-BR\r\n' >"$INSTALL_U/config.ini"
for i in $(seq -w 1 120); do head -c $((2048 + 10#$i * 97)) /dev/urandom >"$INSTALL_U/dados/modelos/modelo$i.mod"; done
printf '<html><body>Introdu\xc3\xa7\xc3\xa3o</body></html>\r\n' >"$INSTALL_U/dados/ajuda/introdução.htm"
printf '<html><body>Ajuda</body></html>\r\n' >"$INSTALL_U/dados/ajuda/índice.htm"
head -c 4096 /dev/urandom >"$INSTALL_U/dados/ajuda/imagens/logo.bmp"
printf 'atalho\r\n' >"$SHORTCUTS_U/Planilha Demo.lnk"
printf 'atalho\r\n' >"$SHORTCUTS_U/Leia-me.lnk"
cp "$PROGRAM" "$UNINSTALLER_U"

regadd "$UNINSTALL_ROOT\\$UNKEY" /v DisplayName /d "$APPNAME"
regadd "$UNINSTALL_ROOT\\$UNKEY" /v UninstallString /d "\"$UNINSTALLER\" /f:\"$LOG\""
regadd "HKLM\\$APPKEY" /v Pasta /d "$INSTALL"
regadd "HKLM\\$APPKEY\\Opcoes" /v Idioma /d pt-BR
regadd "$REGISTRATION" /v AppPath /d "$UNINSTALLER"
regadd "$REGISTRATION" /v AppsServed /t REG_DWORD /d 1

say "writing the uninstall log with undtool scan"
"$UNDTOOL" scan "$INSTALL_U" "$INSTALL_U/planilha.und" --app "$APPNAME" --host-levels 2 \
  --shortcut-dir "$SHORTCUTS" --shortcut-levels 1 \
  --shortcut "$SHORTCUTS"'\Planilha Demo.lnk' --shortcut "$SHORTCUTS"'\Leia-me.lnk' \
  --uninstall-key "$UNKEY" --regkey "1:(2)\\$APPKEY"'\Opcoes' --regkey "2:(2)\\$APPKEY"
# The user changed one file after installing: the uninstaller must keep it.
touch -d "@$(($(date +%s) + 3600))" "$INSTALL_U/config.ini"
echo "config.ini was changed after installation: it will be kept and listed in the summary"

# What the log names, for the verdict: its files and folders relative to the
# installation folder (forward slashes, no trailing one).
"$UNDTOOL" dump "$INSTALL_U/planilha.und" >"$TMP/log.json" || true
jq -r '.folders as $f | .groups | to_entries[] | .key as $i | .value.files[] | ($f[$i].name + .name)' \
  "$TMP/log.json" 2>/dev/null | sed 's:\\:/:g' >"$TMP/logged-files" || true
jq -r '.folders[].name | select(. != "")' "$TMP/log.json" 2>/dev/null | sed 's:\\:/:g' | sed 's:/$::' \
  >"$TMP/logged-folders" || true
installed=$(find "$INSTALL_U" -type f ! -name planilha.und | wc -l)
logged=$(grep -c . "$TMP/logged-files" || true)
[ "$logged" = "$installed" ] || failed "the files the log names" "the $installed installed" "$logged"

win_of() { # a file in the prefix -> its C:\ path
  local p="${1#"$WINEPREFIX"/drive_c/}"
  printf 'C:\\%s' "${p//\//\\}"
}

show_state() {
  echo "-- files:"
  local any=0
  for d in "$HOST_U" "$SHORTCUTS_U" "$UNINSTALLER_U"; do
    if [ -e "$d" ]; then
      any=1
      if [ -d "$d" ]; then
        echo "   $(win_of "$d")\\ ($(find "$d" -type f | wc -l) files, $(find "$d" -mindepth 1 -type d | wc -l) folders below it)"
        find "$d" -type f | sort | sed -n 1,8p | while read -r f; do echo "     $(win_of "$f")"; done
        [ "$(find "$d" -type f | wc -l)" -le 8 ] || echo "     ..."
      else
        echo "   $(win_of "$d")"
      fi
    fi
  done
  [ $any = 1 ] || echo "   (none of the demo's files or folders)"
  echo "-- registry (32-bit view):"
  local k
  for k in "$UNINSTALL_ROOT\\$UNKEY" "HKLM\\$APPKEY" "$REGISTRATION" 'HKLM\Software\Kestrivon\Dalvests'; do
    if w reg query "$k" /reg:32 >/dev/null 2>&1; then
      echo "   $k"
      w reg query "$k" /reg:32 | grep -E '^\s+\S' | sed 's/^ */     /' || true
    else
      echo "   $k: gone"
    fi
  done
  echo "   $RUNONCE:"
  w reg query "$RUNONCE" /reg:32 | grep -E '^\s+\S' | sed 's/^ */     /' || echo "     (empty)"
}

say "before the uninstallation"
show_state
# The registration serves this one application; any other version's keeps
# Dalvests in place.
served_before="$(key_value "$REGISTRATION" AppsServed)"
[ "$served_before" = 0x1 ] || failed "AppsServed of $REGISTRATION before the run" "0x1" "${served_before:-none}"
other_registrations="$(key_subkeys "$DALVESTS" | grep -vixF 1.0.0.3 || true)"

# --- the run ----------------------------------------------------------------
say "running: desinstalador.exe /f:$LOG"
if [ "$UNATTENDED" = 1 ]; then
  [ -e "$DRIVER" ] || { echo "demo: $DRIVER is missing" >&2; exit 1; }
  echo "(no screen to answer on: a robot answers Yes to the question, leaves the summary as it is, OK elsewhere)"
  SHOTS_WIN="Z:${OUT//\//\\}"
  LANG="$WLANG" timeout 400 wine "$DRIVER" "$UNINSTALLER" "/f:$LOG" "$SHOTS_WIN" >"$OUT/driver.log" 2>&1 </dev/null &
  DRIVER_PID=$!
  tail -n +1 -f --pid="$DRIVER_PID" "$OUT/driver.log" &
  TAIL_PID=$!
  # Screenshots on request of the driver: N.want holds "x y width height".
  while kill -0 "$DRIVER_PID" 2>/dev/null; do
    for want in "$OUT"/*.want; do
      [ -e "$want" ] || continue
      name="$(basename "$want" .want)"
      read -r x y wd ht <"$want" || true
      import -display "$DISPLAY" -window root -crop "${wd}x${ht}+${x}+${y}" +repage "$OUT/$name.png" 2>/dev/null ||
        import -display "$DISPLAY" -window root "$OUT/$name.png" 2>/dev/null || true
      rm -f "$want"
      touch "$OUT/$name.done"
    done
    sleep 0.1
  done
  rc=0
  wait "$DRIVER_PID" || rc=$?
  wait "$TAIL_PID" 2>/dev/null || true
  rm -f "$OUT"/*.done "$OUT"/*.want
  [ $rc = 0 ] || echo "demo: the driver ended with code $rc"
  check_exit_code "the driver's exit code" "$rc"
  # The summary: the changed file, and the two folders it keeps.
  check_transcript "$OUT/driver.log" 'Arquivos que não puderam ser apagados:' "$INSTALL\config.ini" \
    'Pastas que não puderam ser apagadas:' "$INSTALL" "$HOST"
else
  echo "(answer the program's windows on your screen)"
  rc=0
  LANG="$WLANG" timeout 900 wine "$UNINSTALLER" "/f:$LOG" >/dev/null 2>&1 </dev/null || rc=$?
  echo "desinstalador.exe ended with code $rc"
  check_exit_code "desinstalador.exe's exit code" "$rc"
fi

say "after the uninstallation"
[ -e "$INSTALL_U/planilha.und" ] && echo "-- the log is still there: $LOG" || echo "-- the log is gone"
show_state

# What the installation calls for, as the run left it.
check_gone "$INSTALL_U/planilha.und" "the log $LOG"
check_logged_files "$INSTALL_U" "$TMP/logged-files" config.ini
while IFS= read -r folder; do
  [ -z "$folder" ] || check_gone "$INSTALL_U/$folder" "the folder $INSTALL\\${folder//\//\\}"
done <"$TMP/logged-folders"
# Host levels 2: the installation folder and the maker's above it, both kept
# by the changed file.
check_folder_holds "$INSTALL_U" "the installation folder $INSTALL" config.ini
check_folder_holds "$HOST_U" "the maker's folder $HOST" "Planilha Demo"
# Shortcut levels 1: the shortcut folder itself.
check_gone "$SHORTCUTS_U/Planilha Demo.lnk" "the shortcut $SHORTCUTS\\Planilha Demo.lnk"
check_gone "$SHORTCUTS_U/Leia-me.lnk" "the shortcut $SHORTCUTS\\Leia-me.lnk"
check_gone "$SHORTCUTS_U" "the shortcut folder $SHORTCUTS"
check_key_gone "$UNINSTALL_ROOT\\$UNKEY" "the uninstall entry $UNINSTALL_ROOT\\$UNKEY"
# Level 1 for ...\Opcoes; level 2 for the application's key: it, then the
# maker's key once empty.
check_key_gone "HKLM\\$APPKEY\\Opcoes"
check_key_gone "HKLM\\$APPKEY"
check_key_gone "HKLM\\${APPKEY%\\*}"
# Counted down from 1 to 0: the registration goes, Dalvests with it when it
# held no other, and the uninstaller is scheduled for deletion.
check_key_gone "$REGISTRATION" "the registration $REGISTRATION, counted down from AppsServed ${served_before:-?}"
[ -n "$other_registrations" ] || check_key_gone "$DALVESTS" "$DALVESTS (no other registration in it)"
check_self_deletion_entry "$RUNONCE" "cmd.exe /c del \"$UNINSTALLER\""

say "next start of Windows (simulated with wineboot -r, which runs the run-once entries)"
w wineboot -r >/dev/null || true
if [ -e "$UNINSTALLER_U" ]; then
  echo "-- the uninstaller's copy is still there: $UNINSTALLER"
else
  echo "-- the uninstaller's copy is gone: $UNINSTALLER"
fi
check_gone "$UNINSTALLER_U" "the uninstaller's copy $UNINSTALLER after the restart"
echo "   $RUNONCE:"
w reg query "$RUNONCE" /reg:32 | grep -E '^\s+\S' | sed 's/^ */     /' || echo "     (empty)"

if ls "$OUT"/*.png >/dev/null 2>&1; then
  say "screenshots"
  ls -1 "$OUT"/*.png
fi

say "verdict"
verdict_report "the uninstallation did what the installation calls for" || exit 1
