#!/usr/bin/env bash
# The headless demo, inside a Wine session (scripts/wine-session.sh): starts the demo installer,
# walks its wizard with the driver up to the confirmation page and saves a screenshot of the X
# display at every step. Every step is bounded; the installer is ended at the end in any case.
set -uo pipefail
build=$1
screens="$build/demo/screens"
rm -rf "$screens"; mkdir -p "$screens"
driver() { timeout 60 wine "$build/wizdriver.exe" "$@"; }
n=0
shot() {
  n=$((n + 1))
  local file; file=$(printf '%s/%02d_%s.png' "$screens" "$n" "$1")
  sleep 0.5
  # The whole screen, trimmed to what is on it (the wizard and its message box).
  timeout 30 import -display "$DISPLAY" -window root png:- | timeout 30 convert png:- -trim +repage "$file"
  echo "demo: $(basename "$file")"
}
step() { "$@" || { echo "demo: step failed: $*" >&2; status=1; }; }

status=0
# C:\lumi-vera\Quillbox\<shop code> is where the wizard proposes to install; start without it.
rm -rf "$WINEPREFIX/drive_c/lumi-vera"
wine "$build/demo/QuillboxSetup_demo.exe" &
wine_pid=$!

if step driver wait-wizard 60000; then
  step driver wait-page スタート;            shot start
  step driver click 次へ
  step driver wait-page ライセンス;          shot licence
  step driver click 以上の契約に同意します;  shot licence_agreed
  step driver click 次へ
  step driver wait-page ディレクトリ選択;    shot folder
  step driver click 次へ
  step driver wait-box;                      shot folder_create_question
  step driver answer yes
  step driver wait-page 確認;                shot confirm
  # The install step is not part of the program yet: the demo stops here.
  step driver click キャンセル
  step driver wait-box;                      shot cancel_question
  step driver answer yes
  step driver wait-gone 15000
fi

if kill -0 "$wine_pid" 2>/dev/null; then kill "$wine_pid" 2>/dev/null; fi
wait "$wine_pid" 2>/dev/null
echo "demo: screenshots in $screens"
exit $status
