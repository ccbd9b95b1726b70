#!/usr/bin/env bash
# Ends brakkan with SIGTERM at a random moment of its first second, again and
# again, and counts the runs that did not end cleanly: an exit code other
# than 0, or anything a sanitizer printed. Meant for a sanitizer build:
#   xvfb-run -a tools/testing/early_sigterm.sh build/debug/brakkan build/debug/gamedata 50
# brakkan is started with SIGTERM blocked, so a signal that comes before its
# handler is in place waits for it (the game unblocks it once it can close
# in order) instead of killing the process outright; "plain" as the fourth
# argument starts it unblocked, as `timeout` does. Each failed run leaves its
# standard error and log in the kept folder.
set -u
exe=$(realpath "$1")
data=$(realpath "$2")
runs=${3:-50}
mode=${4:-blocked}
[ -n "${DISPLAY:-}" ] || { echo "no display: run under xvfb-run"; exit 2; }

here=$(cd "$(dirname "$0")/../.." && pwd)
# As scripts/test.sh and the test environment of the build set them.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/scripts/lsan.supp:print_suppressions=0:intercept_tls_get_addr=0}
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

# Starts $3..., sends it SIGTERM after $1 seconds and exits with its exit
# code (128 + the signal when a signal ended it). With $2 = blocked the
# child holds SIGTERM blocked from before exec.
run_and_signal() {
  perl -MPOSIX -e '
    my ($delay, $mode, @cmd) = @ARGV;
    sigprocmask(SIG_BLOCK, POSIX::SigSet->new(SIGTERM)) if $mode eq "blocked";
    my $pid = fork() // die "fork: $!";
    if ($pid == 0) { exec(@cmd) or die "exec: $!"; }
    sigprocmask(SIG_UNBLOCK, POSIX::SigSet->new(SIGTERM));
    select(undef, undef, undef, $delay);
    kill("TERM", $pid);
    waitpid($pid, 0);
    exit(($? & 127) ? 128 + ($? & 127) : $? >> 8);' "$@"
}

keep=$(mktemp -d /tmp/bk_early_sigterm.XXXXXX)
bad=0
for i in $(seq "$runs"); do
  dir=$(mktemp -d)
  delay=$(printf '0.%03d' $((RANDOM % 1000)))
  (cd "$dir" && HOME=$dir XDG_DATA_HOME=$dir/xdg BK_HOME=$data BK_ERROR_BOX=0 PAVO_LOGFILE=">x.log" \
    run_and_signal "$delay" "$mode" "$exe" 2>err.txt)
  rc=$?
  if [ "$rc" != 0 ] || grep -qE 'Sanitizer|runtime error|Tracer caught' "$dir/err.txt"; then
    bad=$((bad + 1))
    mv "$dir" "$keep/run$i"
    echo "run $i: signal after $delay s, exit code $rc; kept in $keep/run$i"
    head -n 5 "$keep/run$i/err.txt"
  else
    rm -rf "$dir"
  fi
done
echo "$((runs - bad)) of $runs runs ended cleanly"
[ "$bad" = 0 ] && rmdir "$keep"
[ "$bad" = 0 ]
