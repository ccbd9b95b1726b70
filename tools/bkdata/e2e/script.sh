#!/usr/bin/env bash
# bkdata check compiles a track script: the sample track's frills.js passes
# with its size; a script with a syntax error is refused with the engine's
# message and its line, and so is one holding a NUL byte.
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
problem() { echo "$*"; fail=1; }

"$exe" track quarrybend "$dir" >/dev/null || problem "track failed"
out=$("$exe" check "$dir/quarrybend/frills.js")
[ $? -eq 0 ] || problem "frills.js refused: $out"
case $out in *": script, "*" bytes") ;; *) problem "unexpected: $out" ;; esac

printf 'var a = 1;\nbk.message("x";\n' >"$dir/bad.js"
out=$("$exe" check "$dir/bad.js")
[ $? -eq 1 ] || problem "bad.js accepted: $out"
case $out in *SyntaxError*"line 2"*) ;; *) problem "no error with its line: $out" ;; esac

printf 'var a = 1;\0\n' >"$dir/nul.js"
"$exe" check "$dir/nul.js" >/dev/null && problem "nul.js accepted"
exit $fail
