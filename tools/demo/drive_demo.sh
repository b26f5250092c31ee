#!/usr/bin/env bash
# The headless demo, inside a Wine session (scripts/wine-session.sh): installs the demo shop the
# way a person would. The wizard driver walks every page of the installer and a screenshot of the
# X display is saved at every step (the progress page included, taken while the installer is
# held for a moment); the installed program, started by the finish page, is shown too. Then the
# report lists what the installation left in the Wine prefix. Last, the installed uninstaller
# removes it all again (unless KW_DEMO_KEEP=1), so that the prefix is as clean as before for the
# tests that share it. Every step is bounded; every process started here is ended at the end in
# any case.
set -uo pipefail
build=$1
demo="$build/demo"
installer="$demo/QuillboxSetup_demo.exe"
screens="$demo/screens"
report="$demo/installation.txt"
rm -rf "$screens"; mkdir -p "$screens"
driver() { timeout 90 wine "$build/wizdriver.exe" "$@"; }
demo_report() { timeout 90 wine "$build/demo_report.exe" "$@"; }
n=0
shot() {
  n=$((n + 1))
  local file; file=$(printf '%s/%02d_%s.png' "$screens" "$n" "$1")
  sleep 0.5
  # The whole screen, trimmed to what is on it (the wizard and its message box).
  timeout 30 import -display "$DISPLAY" -window root png:- | timeout 30 convert png:- -trim +repage "$file"
  echo "demo: $(basename "$file")"
}
status=0
step() { "$@" || { echo "demo: step failed: $*" >&2; status=1; return 1; }; }

# A clean prefix: C:\lumi-vera\Quillbox\<shop code> is where the wizard proposes to install, and
# an earlier run's registry entry, info file and shortcuts would make this run a reinstall.
rm -rf "$WINEPREFIX/drive_c/lumi-vera"
demo_report clean "$installer" >/dev/null

wine "$installer" &
wine_pid=$!
waiter=""
finish() {
  [ -n "$waiter" ] && kill "$waiter" 2>/dev/null
  kill -CONT "$wine_pid" 2>/dev/null
  if kill -0 "$wine_pid" 2>/dev/null; then kill "$wine_pid" 2>/dev/null; fi
  wait "$wine_pid" 2>/dev/null
}
trap finish EXIT

if step driver wait-wizard 60000; then
  step driver wait-page スタート && shot start
  step driver click 次へ
  step driver wait-page ライセンス && shot licence
  step driver click 以上の契約に同意します && shot licence_agreed
  step driver click 次へ
  step driver wait-page ディレクトリ選択 && shot folder
  step driver click 次へ
  step driver wait-box && shot folder_create_question
  step driver answer yes
  step driver wait-page 確認 && shot confirm

  # The install runs on the wizard's thread. A driver already waiting for the progress page
  # catches it; the installer is then held (SIGSTOP) for the screenshot and let go again.
  driver wait-page インストール処理 60000 >/dev/null &
  waiter=$!
  step driver click 次へ
  if wait "$waiter"; then
    kill -STOP "$wine_pid" 2>/dev/null
    shot progress
    kill -CONT "$wine_pid" 2>/dev/null
  else
    echo "demo: the progress page went by too quickly for a screenshot" >&2
  fi
  waiter=""
  step driver wait-page 完了 60000 && shot finished

  # "完了" with both boxes ticked: the desktop shortcut, and the installed program starts.
  step driver click 完了
  step driver wait-gone 30000
  if step demo_report wait-program 30000; then
    shot installed_program
    demo_report end-program
  fi
fi

echo
echo "demo: what the installation left in the Wine prefix ($WINEPREFIX, drive C: is its drive_c)"
# Into a file first: a Wine helper process started on the way could hold a pipe open.
demo_report report "$installer" >"$report"
cat "$report"

if [ "${KW_DEMO_KEEP:-}" = "" ] && dir=$(demo_report install-dir "$installer" | tr -d '\r') && [ -n "$dir" ]; then
  echo
  echo "demo: the installed uninstaller removes it again (KW_DEMO_KEEP=1 keeps the installation)"
  wine "${dir}!uninstaller.exe" /uninstall &
  uninstaller_pid=$!
  if step driver wait-wizard 60000; then
    step driver wait-page アンインストール && shot uninstall_start
    step driver click 次へ
    step driver wait-box && shot uninstall_question
    step driver answer yes
    step driver wait-page アンインストール完了 60000 && shot uninstall_finished
    step driver click 完了
    step driver wait-gone 30000
  fi
  if kill -0 "$uninstaller_pid" 2>/dev/null; then kill "$uninstaller_pid" 2>/dev/null; fi
  wait "$uninstaller_pid" 2>/dev/null
  # The uninstaller's batch file deletes the folder after the uninstaller has ended.
  # `wine winepath`, not Debian's winepath: that one starts the 32-bit loader whenever wine32 is
  # installed, even where it cannot run, and answered nothing on the 64-bit road.
  unix_dir=$(timeout 30 wine winepath -u "$dir" 2>/dev/null)
  if [ -z "$unix_dir" ]; then
    echo "demo: winepath gave no Unix path for $dir" >&2; status=1
  else
    for _ in $(seq 120); do [ ! -e "$unix_dir" ] && break; sleep 0.5; done
    if [ ! -e "$unix_dir" ]; then echo "demo: after the uninstall, $dir is gone; the rest:"
    else echo "demo: after the uninstall, $dir is still there" >&2; status=1; fi
  fi
  demo_report report "$installer" >"$demo/after_uninstall.txt"
  cat "$demo/after_uninstall.txt"
fi
echo
echo "demo: screenshots in $screens"
echo "demo: the report in $report"
exit $status
