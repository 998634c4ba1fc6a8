#!/usr/bin/env bash
# Writes a case's expected.* files from what the tool does now, running it
# exactly as the test does. Review the result before committing it: a
# blessed mistake is a test that lies.
# Usage: tests/tools/bless_cli_case.sh TOOL CASE_DIR...
set -u
tool=$(realpath "$1")
shift
status=0
for case_dir in "$@"; do
    ONYX_BLESS=1 ONYX_LIMITS= ONYX_VALGRIND= ONYX_XMLCHECK= \
        "$(dirname "$0")/run_cli_case.sh" "$tool" "$case_dir" || status=1
done
exit "$status"
