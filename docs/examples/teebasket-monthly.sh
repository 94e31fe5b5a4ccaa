#!/bin/sh
# teebasket-monthly.sh: this month's harvest, compared with the last usable one.
#
#   teebasket-monthly.sh [TEEBASKET-CLI ARGUMENTS...]
#
# Runs `teebasket-cli --all` (or teebasket-cli with the arguments given:
# prefectures, --config FILE and so on) into DIR/golf-YYYY-MM.csv, then
# `teebasket-cli compare LAST NEW -o DIR/report-YYYY-MM.xlsx` against the
# newest earlier file that was usable, and writes the per-course lines of the
# comparison to DIR/report-YYYY-MM.txt. Started again in the same month, it
# continues a stopped run or repairs the pages not read (--resume) instead of
# starting over.
#
# Environment:
#   TEEBASKET_DIR  the folder of the files (default ~/golf)
#   TEEBASKET_CLI  the program (default teebasket-cli, found on PATH)
#   TEEBASKET_EXT  csv (code page 932, the default), xlsx or jsonl
#
# Exit code: teebasket-cli's. 0 and 3 leave a usable file, which is compared
# (3: some pages could not be read; they are listed on standard error, their
# courses keep last month's row or hold only their name and URL, and compare
# counts them as 取得できず, never as changes; start the script again to
# repair them). 2 and 9
# keep the rows for the next start. 75: another run is writing this month's
# file. 64 or 73 from compare when the comparison fails.
#
# crontab -e (03:00 on the 1st of each month; cron mails what it prints):
#   0 3 1 * * $HOME/bin/teebasket-monthly.sh
set -u

dir=${TEEBASKET_DIR:-$HOME/golf}
cli=${TEEBASKET_CLI:-teebasket-cli}
ext=${TEEBASKET_EXT:-csv}
month=$(date +%Y-%m)
name=golf-$month.$ext
new=$dir/$name
# The files that ended with 0 or 3, oldest first: only these are compared.
usable=$dir/usable-files.txt

say() {
    echo "teebasket-monthly: $*" >&2
}

mkdir -p "$dir" || exit 73
[ $# -gt 0 ] || set -- --all

# This month's file, or the partial file of a stopped run: continue it.
resume=
if [ -e "$new" ] || [ -e "$new.partial" ]; then
    resume=--resume
fi

status=0
"$cli" --quiet $resume -o "$new" "$@" || status=$?
case $status in
    0 | 3) ;;
    1) say "nothing found; $new was not written"; exit 1 ;;
    2) say "stopped; start this script again to continue $new"; exit 2 ;;
    9) say "the portal could not be reached; start this script again later (it continues from any rows kept)"; exit 9 ;;
    75) say "another run is writing $new; nothing was done"; exit 75 ;;
    *) say "teebasket-cli ended with $status; see its message above"; exit "$status" ;;
esac

last=
if [ -f "$usable" ]; then
    last=$(grep -vxF "$name" "$usable" | tail -n 1)
fi
grep -qxF "$name" "$usable" 2>/dev/null || echo "$name" >>"$usable"
if [ -z "$last" ] || [ ! -f "$dir/$last" ]; then
    say "$new is the first usable file; nothing to compare yet"
    exit "$status"
fi

report=$dir/report-$month.xlsx
compared=0
"$cli" compare "$dir/$last" "$new" -o "$report" >"$dir/report-$month.txt" || compared=$?
if [ "$compared" -ne 0 ]; then
    say "compare ended with $compared"
    exit "$compared"
fi
# The first line holds the counts: new, no longer listed, changed, unchanged,
# 取得できず (pages not read in either file).
say "$last -> $name: $(head -n 1 "$dir/report-$month.txt"); report in $report"
exit "$status"
