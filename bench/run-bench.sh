#!/usr/bin/env bash
# Times orvelle-cli's check beside jdupes, rdfind, fdupes and rmlint (exact
# mode) or findimagedupes and a djpeg decode pass (fuzzy modes) on one corpus
# made by make-corpus.py, checks that the groups agree, and prints the table.
#   run-bench.sh CORPUS_DIR --mode exact|fuzzy-size|fuzzy-ignore [--runs 5] [--quick]
#                [--orvelle PATH] [--cache-mib N] [--json FILE]
# The work is in run_bench.py beside this script; python3 --help-style usage: -h.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
if ! command -v python3 >/dev/null; then
    echo "run-bench: python3 is missing; run scripts/setup.sh --bench" >&2
    exit 1
fi
exec python3 "$here/run_bench.py" "$@"
