#!/usr/bin/env bash
# Tests of the demo's verdict (tools/demo-verdict.sh) on a made-up tree, a
# registry kept in files in Wine's `reg query` format and robot transcripts:
# a good run passes, a refused log and each smaller fault fail.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
# shellcheck source=tools/demo-verdict.sh
. "$ROOT/tools/demo-verdict.sh"
T="$(mktemp -d)"
trap 'rm -rf "$T"' EXIT
mkdir -p "$T/reg"
reg_file() { printf '%s/%s' "$T/reg" "$(printf '%s' "$1" | tr '\\ ' '#_')"; }
reg_lines() { [ -f "$(reg_file "$1")" ] && cat "$(reg_file "$1")"; }
reg_set() { local k=$1; shift; printf '%s\r\n' "$@" >"$(reg_file "$k")"; }

FAILS=0
# expect NAME LINE...: the verdict failed with exactly these lines (none: it passed).
expect() {
  local name=$1 rc=0 out
  shift
  out="$(verdict_report ok)" || rc=$?
  if [ $# -eq 0 ] && [ $rc = 0 ] && [ "$out" = "demo: ok" ]; then :
  elif [ $# -gt 0 ] && [ $rc = 1 ] && [ "$out" = "$(printf 'demo: FAILED: %s\n' "$@")
demo: $# expectation(s) failed" ]; then :
  else FAILS=$((FAILS + 1)); printf 'FAIL: %s\n%s\n' "$name" "$out"; fi
  VERDICT_FAILED=()
}

RUNONCE='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'
CMD='cmd.exe /c del "C:\Common\desinstalador.exe"'
SUMMARY=('Arquivos que não puderam ser apagados:' 'C:\Maker\App\config.ini' 'Pastas que não puderam ser apagadas:'
  'C:\Maker\App' 'C:\Maker')
printf '%s\n' a.exe config.ini dados/m1.mod >"$T/logged"
cat >"$T/good.log" <<'EOF'
-- Caixa "Continuar?":
   Você está prestes a desinstalar "Planilha Demo 2.1". Continuar?
   resposta: Sim
-- Janela: "Sumário de impossibilidades"
   | Arquivos que não puderam ser apagados:
   |     C:\Maker\App\config.ini
   | Pastas que não puderam ser apagadas:
   |     C:\Maker\App
   |     C:\Maker
-- Caixa "Término":
   Processo terminado.
   [captura 4-termino.png]
-- desinstalador.exe terminou com o código 0; caixas mostradas: 2
EOF
printf '%s\r\n' '-- Caixa "Problemas":' '   O arquivo "C:\x.und"' 'apresentou problemas.' '   resposta: OK' \
  '-- desinstalador.exe terminou com o código 0; caixas mostradas: 1' >"$T/refused.log"

checks() { # transcript: every check the demo makes, on this made-up state
  check_logged_files "$T/app" "$T/logged" config.ini
  check_gone "$T/app/dados" "dados"
  check_folder_holds "$T/app" "app" config.ini
  check_key_gone 'HKLM\Software\Maker\App'
  check_self_deletion_entry "$RUNONCE" "$CMD"
  check_transcript "$1" "${SUMMARY[@]}"
}

# A good run: the changed file alone, keys gone, the entry under the next
# free name in another letter case (another program's Delete before it).
mkdir -p "$T/app" && printf 'a' >"$T/app/config.ini"
reg_set "$RUNONCE" '' "HKEY_LOCAL_MACHINE${RUNONCE#HKLM}" '    Delete    REG_SZ    cmd.exe /c del "C:\outro.exe"' \
  '    Delete0    REG_SZ    CMD.EXE /c del "c:\common\DESINSTALADOR.exe"' ''
checks "$T/good.log"
check_exit_code "the driver's exit code" 0
expect "a good run"

# The refused log: everything stays. A key with values shows them under its
# name; its subkeys follow after a blank line.
mkdir -p "$T/app/dados/sub" && touch "$T/app/a.exe" "$T/app/dados/m1.mod"
reg_set 'HKLM\Software\Maker\App' '' 'HKEY_LOCAL_MACHINE\Software\Maker\App' '    Pasta    REG_SZ    C:\Maker\App' \
  '    Vazio    REG_SZ' '' 'HKEY_LOCAL_MACHINE\Software\Maker\App\Opcoes' 'HKEY_LOCAL_MACHINE\Software\Maker\App\Mais'
reg_set "$RUNONCE" '' "HKEY_LOCAL_MACHINE${RUNONCE#HKLM}" '    Delete    REG_SZ    cmd.exe /c del "C:\outro.exe"' \
  "    Limpar    REG_SZ    $CMD" ''
checks "$T/refused.log"
check_exit_code "the driver's exit code" 124
expect "the refused log" \
  "the logged files (expected all 2 gone but config.ini, found 2 still there: a.exe, dados/m1.mod)" \
  "dados (expected gone, found a folder with 1 files and 1 folders below it)" \
  "app (expected kept, holding only config.ini, found 3 entries: a.exe, config.ini, dados)" \
  'the key HKLM\Software\Maker\App (expected gone, found still there, values: Pasta=C:\Maker\App; Vazio=, subkeys: Opcoes, Mais)' \
  "the self-deletion entry under $RUNONCE (expected a value Delete holding $CMD, found Delete=cmd.exe /c del \"C:\\outro.exe\")" \
  'a box "Problemas" (expected only the confirmation and "Término", found "O arquivo "C:\x.und" apresentou problemas.")' \
  'the confirmation "Continuar?" (expected asked, found not asked)' \
  'the end message "Término" (expected shown, found not shown)' \
  "the summary (expected shown with $(quoted "${SUMMARY[@]}"), found not shown)" \
  "the driver's exit code (expected 0, found 124)"

# Smaller faults, one at a time.
rm -rf "$T/app"/* && check_logged_files "$T/app" "$T/logged" config.ini
expect "the changed file removed" "the changed file config.ini (expected kept, found gone)"
sed 's/código 0;/código 3221225477;/' "$T/good.log" >"$T/crash.log" && check_transcript "$T/crash.log" "${SUMMARY[@]}"
expect "a program that crashed" "desinstalador.exe's exit code (expected 0, found 3221225477)"
grep -v 'C:\\Maker$' "$T/good.log" >"$T/short.log" && check_transcript "$T/short.log" "${SUMMARY[@]}"
expect "a summary without the maker's folder" \
  "the summary (expected the lines $(quoted "${SUMMARY[@]}"), found 4 lines: $(quoted "${SUMMARY[@]:0:4}"))"
reg_set 'HKLM\K\1.0' '' 'HKEY_LOCAL_MACHINE\K\1.0' '    AppsServed    REG_DWORD    0x1' ''
if [ "$(key_value 'HKLM\K\1.0' appsserved)" != 0x1 ] || [ -n "$(key_value 'HKLM\K\2.0' AppsServed)" ]; then
  FAILS=$((FAILS + 1)) && echo "FAIL: AppsServed read"
fi

echo "demo verdict tests: $FAILS failed"
[ "$FAILS" = 0 ]
