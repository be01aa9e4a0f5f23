#!/usr/bin/env bash
# Drives the built tkvhdr as a lab script would: exit codes, output, and files
# left alone when a command fails. Usage: tkvhdr_script_test.sh PATH/TO/tkvhdr PATH/TO/tkvhdr.html
set -u
tool=$1
help_page=$2
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
passed=0
failed=0
check() {  # check NAME EXPECTED ACTUAL
    if [ "$2" == "$3" ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1: expected [$2], got [$3]"; fi
}

"$tool" example "$work/a.tkv"; check "example" 0 $?
check "get" "5" "$("$tool" get "$work/a.tkv" RUN.GAIN)"
"$tool" set "$work/a.tkv" RUN.GAIN long 12 && check "set then get" "12" "$("$tool" get "$work/a.tkv" run.gain)"
before=$(md5sum < "$work/a.tkv")
"$tool" set "$work/a.tkv" RUN.GAIN byte 300 2> "$work/err"; check "bad value status" 1 $?
check "bad value message" "Can't convert element at index 0 to specified type of number" "$(cat "$work/err")"
"$tool" set "$work/a.tkv" RUN.GAIN nibble 1 2> /dev/null; check "unknown type status" 2 $?
check "failed commands change nothing" "$before" "$(md5sum < "$work/a.tkv")"
"$tool" export "$work/a.tkv" > "$work/a.json"; check "export" 0 $?
"$tool" delete "$work/a.tkv" RUN; check "delete" 0 $?
"$tool" import "$work/a.tkv" - < "$work/a.json"; check "import" 0 $?
check "export then import gives the file back" "$before" "$(md5sum < "$work/a.tkv")"
mkdir "$work/plate"
for w in A01 A02 A03; do "$tool" example "$work/plate/$w.tkv"; done
chmod a-w "$work/plate/A03.tkv"
summary=$("$tool" apply "$work/plate/A01.tkv" SAMPLE.BATCH ascii B-17 | tail -n 1)
check "apply summary" "2 updated, 0 unchanged, 1 skipped, 0 failed" "$summary"
check "apply reached A02" "B-17" "$("$tool" get "$work/plate/A02.tkv" SAMPLE.BATCH)"
"$tool" dump "$work/none.tkv" 2> /dev/null; check "missing file status" 1 $?
"$tool" 2> /dev/null; check "no arguments status" 2 $?
# The user's help describes every verb the tool lists, with an example.
for verb in $("$tool" --help | sed -n 's/^  \([a-z]\+\) .*/\1/p'); do
    grep -q "<h2>.*$verb.*</h2>" "$help_page"; check "help page describes $verb" 0 $?
    grep -Eq "(^|<pre>)tkvhdr $verb( |\$)" "$help_page"; check "help page has an example of $verb" 0 $?
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
