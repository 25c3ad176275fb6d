#!/usr/bin/env bash
# Checks the Debian package as a distribution would: lintian with every check, pedantic and
# experimental ones included, must find no error and no warning, nor the informational tags of
# a program built without Debian's hardening or stripping (the package has no overrides).
# Usage: check-lintian.sh DEB-FOLDER
set -euo pipefail
debs=("$1"/varnel_*.deb)
report=$(lintian -EvIL +pedantic --no-tag-display-limit "${debs[0]}" 2>&1) || true
printf '%s\n' "$report"
if grep -E '^[EW]: ' <<<"$report" >/dev/null; then
  echo "lintian reports errors or warnings (above)" >&2
  exit 1
fi
if grep -E '^I: .*(hardening-|binary-has-unneeded-section)' <<<"$report" >/dev/null; then
  echo "the programs lack Debian's hardening or stripping (above)" >&2
  exit 1
fi
# lintian ran its checks (an unreadable package would print nothing and pass the greps).
grep -q '^N: .*Finished processing' <<<"$report" || grep -q 'Processing binary package varnel' <<<"$report" || {
  echo "lintian did not process the package" >&2
  exit 1
}
