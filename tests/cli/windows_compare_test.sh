#!/usr/bin/env bash
# The Windows tkvhdr.exe (under Wine) against the Linux tkvhdr: every verb on
# the same plate folder must leave byte-identical files and print the same text,
# line ends and path separators aside.
# Usage: windows_compare_test.sh LINUX_TKVHDR WINDOWS_TKVHDR_EXE
set -euo pipefail
linux=$(realpath "$1")
windows=$(realpath "$2")
wine=${WINE:-wine}
export WINEDEBUG=-all
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Each side keeps its undo records in a state folder of its own.
export XDG_STATE_HOME=$work/linux-state
mkdir -p "$work/lin" "$work/win"

run() {  # run SIDE VERB ARGS...: the output (both streams) goes to SIDE.out
    local side=$1
    shift
    local status=0
    if [ "$side" = lin ]; then
        (cd "$work/lin" && "$linux" "$@") >> "$work/lin.out" 2>&1 || status=$?
    else
        (cd "$work/win" && "$wine" "$windows" "$@") >> "$work/win.out" 2>&1 || status=$?
    fi
    echo "[$* -> $status]" >> "$work/$side.out"
}

both() {
    run lin "$@"
    run win "$@"
}

both example A01.tkv
both example A02.tkv
both example 'été B03.tkv'
both example A04.pkv
both dump A01.tkv
both header A02.tkv
both get A01.tkv RUN.GAIN
both set A01.tkv RUN.GAIN Long 7
both set 'été B03.tkv' SAMPLE.NOTE ascii 'ça va'
both set A02.tkv QC.LIST long 1 2 3
both delete A02.tkv ANALYSIS.PEAKS
both export A01.tkv
(cd "$work/lin" && "$linux" export A02.tkv > header.json)
cp "$work/lin/header.json" "$work/win/header.json"
both import A01.tkv header.json
both apply A01.tkv RUN.OPERATOR ascii 'Zoë' QC.PASSED boolean True
both sheet export A01.tkv RUN.GAIN SAMPLE.NOTE --format csv
printf 'file,RUN.GAIN:long\nA01.tkv,11\nA02.tkv,12\nété B03.tkv,13\n' > "$work/lin/s.csv"
cp "$work/lin/s.csv" "$work/win/s.csv"
both sheet import A01.tkv s.csv
both undo --list .
both undo .
both resave A04.pkv
both get A09.tkv RUN.GAIN
both set A01.tkv RUN.GAIN long notanumber

status=0
for f in "$work"/lin/*; do
    name=$(basename "$f")
    if ! cmp -s "$f" "$work/win/$name"; then
        echo "differs: $name"
        status=1
    fi
done
[ "$(ls "$work/lin")" = "$(ls "$work/win")" ] || { echo "the folders hold other names"; status=1; }
# The text alike but for CR LF, the separator (Windows shows it escaped, as
# \\, where Linux shows /), the state folder's place and the system's own
# words for a missing file.
normal() { tr -d '\r' < "$1" | sed -e 's|\\\\|/|g' -e 's|C:/users/[^ ]*tkv-editor|STATE|g' \
    -e "s|$XDG_STATE_HOME/tkv-editor|STATE|g" -e 's|[0-9]\{4\}-[0-9-]* [0-9:]* (|TIME (|g' -e 's|: File not found\.$|: No such file or directory|'; }
if ! diff <(normal "$work/lin.out") <(normal "$work/win.out"); then
    echo "the output differs"
    status=1
fi
[ $status -eq 0 ] && echo "the Windows tool wrote the same files and said the same"
exit $status
