# shellcheck shell=bash
# The demo's verdict: checks of what the uninstallation left, sourced by
# tools/demo.sh (and by tests/demo/verdict_test.sh).
#
# Each expectation that does not hold adds one line to VERDICT_FAILED;
# verdict_report prints them, or that all held, and returns non-zero when any
# failed. The registry is read through reg_lines KEY, which the caller
# defines: it prints what `reg query KEY` prints (the key's name, its values
# indented by four blanks, the full names of its subkeys) and fails when the
# key does not exist.

VERDICT_FAILED=()

failed() { # what expected found
  VERDICT_FAILED+=("$1 (expected $2, found $3)")
}

# "a, b, c and 4 more" of the arguments.
few() {
  local n=$# shown=3 out=""
  local i=0 x
  for x in "$@"; do
    [ $i -lt $shown ] || break
    out+="${out:+, }$x"
    i=$((i + 1))
  done
  [ "$n" -le $shown ] || out+=" and $((n - shown)) more"
  printf '%s' "$out"
}

# What is at a path, in words.
what_is_at() {
  if [ -L "$1" ]; then
    printf 'a link'
  elif [ -d "$1" ]; then
    printf 'a folder with %s files and %s folders below it' "$(find "$1" -type f | wc -l)" "$(find "$1" -mindepth 1 -type d | wc -l)"
  elif [ -e "$1" ]; then
    printf 'still there'
  else
    printf 'gone'
  fi
}

check_gone() { # path what
  if [ -e "$1" ] || [ -L "$1" ]; then failed "$2" "gone" "$(what_is_at "$1")"; fi
}

check_file_kept() { # path what
  if [ ! -f "$1" ]; then failed "$2" "kept" "$(what_is_at "$1")"; fi
}

# A folder that stays and holds exactly the entries named (names directly
# inside it, sorted as `sort` sorts them).
check_folder_holds() { # path what entry...
  local dir=$1 what=$2
  shift 2
  if [ ! -d "$dir" ]; then
    failed "$what" "kept, holding only $(few "$@")" "$(what_is_at "$dir")"
    return 0
  fi
  local want found
  want="$(printf '%s\n' "$@" | sort)"
  found="$(find "$dir" -mindepth 1 -maxdepth 1 -printf '%f\n' | sort)"
  if [ "$found" != "$want" ]; then
    local entries=()
    [ -z "$found" ] || mapfile -t entries <<<"$found"
    failed "$what" "kept, holding only $(few "$@")" "${#entries[@]} entries: $(few "${entries[@]}")"
  fi
}

# The logged files below the installation folder, one relative path a line
# with forward slashes: all gone but the kept ones, which stay.
check_logged_files() { # installation-folder list-file kept-name...
  local root=$1 list=$2
  shift 2
  local total left=() rel k keep
  total=$(grep -c . "$list" || true)
  if [ "$total" = 0 ]; then
    failed "the files the log names" "the installed files" "none"
    return 0
  fi
  while IFS= read -r rel; do
    [ -n "$rel" ] || continue
    keep=0
    for k in "$@"; do [ "$rel" != "$k" ] || keep=1; done
    if [ $keep = 1 ]; then
      check_file_kept "$root/$rel" "the changed file $rel"
    elif [ -e "$root/$rel" ]; then
      left+=("$rel")
    fi
  done <"$list"
  if [ ${#left[@]} -gt 0 ]; then
    failed "the logged files" "all $((total - $#)) gone but $(few "$@")" "${#left[@]} still there: $(few "${left[@]}")"
  fi
}

# --- the registry -------------------------------------------------------------

key_exists() { reg_lines "$1" >/dev/null 2>&1; }

# Values of a key as "name<TAB>type<TAB>data" lines.
key_values() {
  reg_lines "$1" 2>/dev/null | tr -d '\r' |
    sed -n 's/^    \([^ ].*\)    \(REG_[A-Z_]*\)    \(.*\)$/\1\t\2\t\3/p;s/^    \([^ ].*\)    \(REG_[A-Z_]*\)$/\1\t\2\t/p'
}

# Names of a key's subkeys: the lines that name a key below it.
key_subkeys() {
  local path="${1#*\\}" line
  reg_lines "$1" 2>/dev/null | tr -d '\r' | while IFS= read -r line; do
    [[ "$line" == HKEY_* ]] || continue
    line="${line#*\\}"
    if [[ "${line,,}" == "${path,,}"\\* ]]; then printf '%s\n' "${line:${#path}+1}"; fi
  done
}

key_value() { # key name: the data of one value, empty when there is none
  key_values "$1" | awk -F'\t' -v n="$2" 'tolower($1) == tolower(n) { print $3; exit }'
}

check_key_gone() { # key [what]
  if key_exists "$1"; then
    local values subkeys
    values="$(key_values "$1" | cut -f1,3 | tr '\t' = | sed ':a;N;s/\n/; /;ba')"
    subkeys="$(key_subkeys "$1" | sed ':a;N;s/\n/, /;ba')"
    failed "${2:-the key $1}" "gone" "still there${values:+, values: $values}${subkeys:+, subkeys: $subkeys}"
  fi
}

# The run-once entry that deletes the uninstaller at the next start: a value
# Delete, Delete0, Delete1, ... holding the command (letter case aside).
check_self_deletion_entry() { # run-once-key command
  local name type data seen=()
  while IFS=$'\t' read -r name type data; do
    [[ "$name" =~ ^Delete[0-9]*$ ]] || continue
    if [ "$type" = REG_SZ ] && [ "${data,,}" = "${2,,}" ]; then return 0; fi
    seen+=("$name=$data")
  done < <(key_values "$1")
  failed "the self-deletion entry under $1" "a value Delete holding $2" \
    "${seen[*]:-no Delete value}"
}

# --- what the robot saw -------------------------------------------------------

# The boxes in the driver's transcript, one "caption<TAB>text" line each (a
# box's text may take several lines; they are joined with blanks).
transcript_boxes() {
  tr -d '\r' <"$1" | awk '
    function flush() { if (inbox) print caption "\t" text; inbox = 0 }
    /^-- Caixa "/ { flush(); caption = $0; sub(/^-- Caixa "/, "", caption); sub(/":$/, "", caption)
                    inbox = 1; text = ""; next }
    inbox && (/^   \[captura / || /^   resposta: / || /^-- /) { flush() }
    inbox { line = $0; sub(/^ +/, "", line); text = text (text == "" ? "" : " ") line }
    END { flush() }'
}

# Lines as "one" "two" "three".
quoted() {
  local out="" x
  for x in "$@"; do out+="${out:+ }\"$x\""; done
  printf '%s' "$out"
}

# The robot's account of an interactive run: the confirmation, the summary
# with exactly the lines named (in order, leading blanks aside), the end
# message, no other box, and the program's exit code 0 (an interactive run
# ends with 0 whatever happened; any other code is a crash).
check_transcript() { # transcript summary-line...
  local log=$1 caption text confirmed=0 ended=0
  shift
  if [ ! -s "$log" ]; then
    failed "the robot's transcript $log" "an account of the run" "nothing"
    return 0
  fi
  while IFS=$'\t' read -r caption text; do
    case "$caption" in
      'Continuar?') confirmed=1 ;;
      'Término') ended=1 ;;
      *) failed "a box \"$caption\"" "only the confirmation and \"Término\"" "\"$text\"" ;;
    esac
  done < <(transcript_boxes "$log")
  [ $confirmed = 1 ] || failed "the confirmation \"Continuar?\"" "asked" "not asked"
  [ $ended = 1 ] || failed "the end message \"Término\"" "shown" "not shown"
  local found=()
  mapfile -t found < <(tr -d '\r' <"$log" | sed -n 's/^   | *//p')
  if ! grep -q '^-- Janela: ' "$log"; then
    failed "the summary" "shown with $(quoted "$@")" "not shown"
  elif [ "$(printf '%s\n' "${found[@]}")" != "$(printf '%s\n' "$@")" ]; then
    failed "the summary" "the lines $(quoted "$@")" "${#found[@]} lines: $(quoted "${found[@]}")"
  fi
  local code
  code="$(tr -d '\r' <"$log" | sed -n 's/^-- desinstalador.exe terminou com o código \([0-9-]*\);.*/\1/p' | tail -1)"
  [ "$code" = 0 ] || failed "desinstalador.exe's exit code" "0" "${code:-no exit code}"
}

check_exit_code() { # what code
  [ "$2" = 0 ] || failed "$1" "0" "$2"
}

# Prints the verdict; non-zero when an expectation failed.
verdict_report() { # success-line
  local line
  if [ ${#VERDICT_FAILED[@]} -eq 0 ]; then
    echo "demo: $1"
    return 0
  fi
  for line in "${VERDICT_FAILED[@]}"; do echo "demo: FAILED: $line"; done
  echo "demo: ${#VERDICT_FAILED[@]} expectation(s) failed"
  return 1
}
