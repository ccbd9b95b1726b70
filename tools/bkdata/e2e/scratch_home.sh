# Sourced by the bkdata scripts that run the tools as a user would: a
# scratch folder ($dir, removed at exit) is the home, the per-user data
# folder and the log's place, and $fail counts nothing yet.
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export HOME=$dir XDG_DATA_HOME=$dir/xdg PAVO_LOGFILE=">$dir/log.txt"
fail=0
