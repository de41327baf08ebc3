#!/usr/bin/env bash
# ok always succeeds: "cond && ok || bad" is an if-then-else here.
# shellcheck disable=SC2015
# Tests of the demo's verdict (tools/demo-verdict.sh) on made-up trees, a
# registry kept in files in Wine's `reg query` format, and robot transcripts:
# what the demo must pass, and each way it must fail.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
# shellcheck source=tools/demo-verdict.sh
. "$ROOT/tools/demo-verdict.sh"

T="$(mktemp -d)"
trap 'rm -rf "$T"' EXIT
REG="$T/reg"
mkdir -p "$REG"

# The made-up registry: one file per key holding what `reg query` prints.
reg_file() { printf '%s/%s' "$REG" "$(printf '%s' "$1" | tr '\\ ' '#_')"; }
reg_lines() { [ -f "$(reg_file "$1")" ] && cat "$(reg_file "$1")"; }
reg_set() { # key line... (printed as they come, CR LF as Wine's reg ends them)
  local k=$1
  shift
  printf '%s\r\n' "$@" >"$(reg_file "$k")"
}

PASSED=0
FAILED_TESTS=0
ok() { PASSED=$((PASSED + 1)); }
bad() {
  FAILED_TESTS=$((FAILED_TESTS + 1))
  echo "FAIL: $1"
  [ ${#VERDICT_FAILED[@]} -eq 0 ] || printf '   verdict: %s\n' "${VERDICT_FAILED[@]}"
}
reset() { VERDICT_FAILED=(); }
# The test holds when the verdict failed with exactly these lines.
expect_failures() { # test line...
  local name=$1 got want
  shift
  got="$(printf '%s\n' "${VERDICT_FAILED[@]}")"
  want="$(printf '%s\n' "$@")"
  if [ ${#VERDICT_FAILED[@]} -gt 0 ] && [ "$got" = "$want" ]; then ok; else
    bad "$name"
    printf '   wanted: %s\n' "$@"
  fi
}
expect_none() { if [ ${#VERDICT_FAILED[@]} -eq 0 ]; then ok; else bad "$1"; fi; }

# --- the disk -------------------------------------------------------------

# A kept installation folder as a good run leaves it; the log lists three
# files in two folders.
make_tree() {
  rm -rf "$T/app"
  mkdir -p "$T/app/inst/dados/modelos"
  printf 'a' >"$T/app/inst/config.ini"
  printf '%s\n' a.exe config.ini dados/modelos/m1.mod >"$T/logged"
}

make_tree
reset
check_logged_files "$T/app/inst" "$T/logged" config.ini
rm -rf "$T/app/inst/dados"
check_folder_holds "$T/app/inst" "inst" config.ini
check_gone "$T/app/inst/dados" "dados"
expect_none "a good run passes the disk checks"

make_tree
touch "$T/app/inst/a.exe" "$T/app/inst/dados/modelos/m1.mod"
reset
check_logged_files "$T/app/inst" "$T/logged" config.ini
check_gone "$T/app/inst/dados" "dados"
check_folder_holds "$T/app/inst" "inst" config.ini
expect_failures "a run that removed nothing" \
  "the logged files (expected all 2 gone but config.ini, found 2 still there: a.exe, dados/modelos/m1.mod)" \
  "dados (expected gone, found a folder with 1 files and 1 folders below it)" \
  "inst (expected kept, holding only config.ini, found 3 entries: a.exe, config.ini, dados)"

make_tree
rm "$T/app/inst/config.ini"
reset
check_logged_files "$T/app/inst" "$T/logged" config.ini
expect_failures "the changed file removed" "the changed file config.ini (expected kept, found gone)"

reset
check_folder_holds "$T/app/nothing" "host" "Planilha Demo"
expect_failures "a kept folder removed" "host (expected kept, holding only Planilha Demo, found gone)"

: >"$T/empty-list"
reset
check_logged_files "$T/app/inst" "$T/empty-list" config.ini
expect_failures "a log that names no file" "the files the log names (expected the installed files, found none)"

reset
[ "$(few a b c d e)" = "a, b, c and 2 more" ] && [ "$(few a b)" = "a, b" ] && ok || bad "few names"

# --- the registry ---------------------------------------------------------

# Wine prints a key with values under its name, one without only its
# subkeys after a blank line.
reg_set 'HKLM\Software\Maker\App' '' 'HKEY_LOCAL_MACHINE\Software\Maker\App' \
  '    Pasta    REG_SZ    C:\Program Files\Maker\App' '    Vazio    REG_SZ' '' \
  'HKEY_LOCAL_MACHINE\Software\Maker\App\Opcoes' 'HKEY_LOCAL_MACHINE\Software\Maker\App\Mais'
reg_set 'HKLM\Software\Maker' '' 'HKEY_LOCAL_MACHINE\Software\Maker\App'
reset
check_key_gone 'HKLM\Software\Maker\App'
check_key_gone 'HKLM\Software\Maker' "the maker's key"
check_key_gone 'HKLM\Software\Gone'
expect_failures "keys that stayed, with what is in them" \
  'the key HKLM\Software\Maker\App (expected gone, found still there, values: Pasta=C:\Program Files\Maker\App; Vazio=, subkeys: Opcoes, Mais)' \
  "the maker's key (expected gone, found still there, subkeys: App)"

reg_set 'HKLM\Software\K\D\1.0' '' 'HKEY_LOCAL_MACHINE\Software\K\D\1.0' \
  '    AppPath    REG_SZ    C:\x.exe' '    AppsServed    REG_DWORD    0x1' ''
reset
[ "$(key_value 'HKLM\Software\K\D\1.0' appsserved)" = 0x1 ] && ok || bad "a DWORD value read"
[ -z "$(key_value 'HKLM\Software\K\D\1.0' Nada)" ] && [ -z "$(key_value 'HKLM\Software\Gone' AppPath)" ] && ok ||
  bad "a missing value reads empty"

RUNONCE='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'
CMD='cmd.exe /c del "C:\Program Files\Common Files\K\desinstalador.exe"'
reg_set "$RUNONCE" '' 'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\RunOnce' \
  '    Delete    REG_SZ    cmd.exe /c del "C:\outro.exe"' \
  '    Delete0    REG_SZ    CMD.EXE /c del "c:\program files\common files\k\desinstalador.exe"' ''
reset
check_self_deletion_entry "$RUNONCE" "$CMD"
expect_none "the self-deletion entry under the next free name, letter case aside"

reg_set "$RUNONCE" '' 'HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\RunOnce' \
  '    Delete    REG_SZ    cmd.exe /c del "C:\outro.exe"' '    Limpar    REG_SZ    '"$CMD" ''
reset
check_self_deletion_entry "$RUNONCE" "$CMD"
expect_failures "no self-deletion entry, another program's Delete and the command under another name" \
  "the self-deletion entry under $RUNONCE (expected a value Delete holding $CMD, found Delete=cmd.exe /c del \"C:\\outro.exe\")"

rm -f "$(reg_file "$RUNONCE")"
reset
check_self_deletion_entry "$RUNONCE" "$CMD"
expect_failures "no run-once key" \
  "the self-deletion entry under $RUNONCE (expected a value Delete holding $CMD, found no Delete value)"

# --- what the robot saw ---------------------------------------------------

cat >"$T/good.log" <<'EOF'
-- Caixa "Continuar?":
   Você está prestes a desinstalar "Planilha Demo 2.1". Continuar?
   [captura 1-confirmacao.png]
   resposta: Sim
-- Janela: "Sumário de impossibilidades"
   | Arquivos que não puderam ser apagados:
   |     C:\Maker\App\config.ini
   | Pastas que não puderam ser apagadas:
   |     C:\Maker\App
   |     C:\Maker
   [captura 3-sumario.png]
   resposta: Deixar como está
-- Caixa "Término":
   Processo terminado.
   [captura 4-termino.png]
   resposta: OK
-- desinstalador.exe terminou com o código 0; caixas mostradas: 2
EOF
SUMMARY=('Arquivos que não puderam ser apagados:' 'C:\Maker\App\config.ini' 'Pastas que não puderam ser apagadas:'
  'C:\Maker\App' 'C:\Maker')
reset
check_transcript "$T/good.log" "${SUMMARY[@]}"
expect_none "a good run's transcript"

reset
check_transcript "$T/good.log" "${SUMMARY[@]:0:3}" 'C:\Maker'
expect_failures "a summary with a line too many" \
  "the summary (expected the lines \"${SUMMARY[0]}\" \"${SUMMARY[1]}\" \"${SUMMARY[2]}\" \"C:\\Maker\", found 5 lines: \"${SUMMARY[0]}\" \"${SUMMARY[1]}\" \"${SUMMARY[2]}\" \"C:\\Maker\\App\" \"C:\\Maker\")"

grep -v 'C:\\Maker$' "$T/good.log" >"$T/short.log"
reset
check_transcript "$T/short.log" "${SUMMARY[@]}"
expect_failures "a summary without the maker's folder" \
  "the summary (expected the lines $(quoted "${SUMMARY[@]}"), found 4 lines: $(quoted "${SUMMARY[@]:0:4}"))"

printf '%s\r\n' '-- Caixa "Problemas":' '   O arquivo "C:\x\planilha.und"' 'apresentou problemas.' \
  '   [captura caixa-1.png]' '   resposta: OK' '-- desinstalador.exe terminou com o código 0; caixas mostradas: 1' \
  >"$T/refused.log"
reset
check_transcript "$T/refused.log" "${SUMMARY[@]}"
expect_failures "the refused log" \
  'a box "Problemas" (expected only the confirmation and "Término", found "O arquivo "C:\x\planilha.und" apresentou problemas.")' \
  'the confirmation "Continuar?" (expected asked, found not asked)' \
  'the end message "Término" (expected shown, found not shown)' \
  "the summary (expected shown with $(quoted "${SUMMARY[@]}"), found not shown)"

sed 's/código 0;/código 3221225477;/' "$T/good.log" >"$T/crash.log"
reset
check_transcript "$T/crash.log" "${SUMMARY[@]}"
expect_failures "a program that crashed" "desinstalador.exe's exit code (expected 0, found 3221225477)"

grep -v '^-- desinstalador' "$T/good.log" >"$T/killed.log"
reset
check_transcript "$T/killed.log" "${SUMMARY[@]}"
expect_failures "a program that never ended" "desinstalador.exe's exit code (expected 0, found no exit code)"

reset
check_transcript "$T/missing.log" "${SUMMARY[@]}"
expect_failures "no transcript" "the robot's transcript $T/missing.log (expected an account of the run, found nothing)"

# --- the verdict ----------------------------------------------------------

reset
check_exit_code "the driver's exit code" 0
out="$(verdict_report "all good")" && [ "$out" = "demo: all good" ] && ok || bad "a verdict with nothing failed"

reset
check_exit_code "the driver's exit code" 124
rc=0
out="$(verdict_report "all good")" || rc=$?
[ $rc = 1 ] && [ "$out" = "demo: FAILED: the driver's exit code (expected 0, found 124)
demo: 1 expectation(s) failed" ] && ok || bad "a driver that ended with 124 fails the verdict"

echo "demo verdict: $PASSED passed, $FAILED_TESTS failed"
[ "$FAILED_TESTS" = 0 ]
