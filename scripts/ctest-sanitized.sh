#!/usr/bin/env bash
# Runs CTest in a sanitizer build folder, each test once.
#
# LeakSanitizer stops the process's threads from a tracer of its own at exit; on this
# platform's kernels that tracer now and then dies ("Tracer caught signal 11") after the
# test itself has passed, a fault of the sanitizer runtime, not of the program. A test whose
# only failure is that message is run once more; any other failure fails at once.
set -uo pipefail
dir=${1:?build folder}
shift
cd "$dir" || exit 2

ctest "$@"
status=$?
[ $status -eq 0 ] && exit 0

failed=Testing/Temporary/LastTestsFailed.log
log=Testing/Temporary/LastTest.log
[ -f "$failed" ] && [ -f "$log" ] || exit $status

# LastTest.log holds every test's output between "N/M Testing: NAME" and "Test Failed/Passed".
retry=()
while IFS=: read -r _ name; do
  out=$(awk -v t="$name" '
    $0 ~ /^[0-9]+\/[0-9]+ Testing: / { sub(/^[0-9]+\/[0-9]+ Testing: /, ""); inside = ($0 == t); next }
    inside { print }' "$log")
  if grep -q "Tracer caught signal" <<<"$out" &&
     ! grep -qE "ERROR: AddressSanitizer|runtime error:|\[  FAILED  \]|Failure$" <<<"$out"; then
    retry+=("$name")
  else
    echo "ctest-sanitized: $name failed for a reason other than the leak checker's tracer"
    exit $status
  fi
done < "$failed"

echo "ctest-sanitized: only the leak checker's tracer died in: ${retry[*]}; running those once more"
ctest "$@" --rerun-failed
