#!/usr/bin/env bash
# Checks the Debian package as a distribution would: lintian with every check, pedantic and
# experimental ones included, must find no error and no warning (it then exits 0, and it exits
# non-zero too when it cannot read the package), nor the informational tags of a program built
# without Debian's hardening or stripping. The package has no overrides.
# Usage: check-lintian.sh DEB-FOLDER
set -uo pipefail
debs=("$1"/varnel_*.deb)
report=$(lintian -EvIL +pedantic --tag-display-limit 0 --fail-on error,warning "${debs[0]}" 2>&1)
status=$?
printf '%s\n' "$report"
if [ "$status" -ne 0 ]; then
  echo "lintian reports errors or warnings, or could not check the package (above)" >&2
  exit 1
fi
if grep -E '^I: .*(hardening-|binary-has-unneeded-section)' <<<"$report" >/dev/null; then
  echo "the programs lack Debian's hardening or stripping (above)" >&2
  exit 1
fi
