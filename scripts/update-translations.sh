#!/usr/bin/env bash
# Brings translations/bench-console_en.ts in step with the sources: new texts
# appear unfinished for a translator, texts no longer used are dropped.
# tst_translations fails until every text has its English.
set -euo pipefail
cd "$(dirname "$0")/.."
lupdate=${LUPDATE:-$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)}
"$lupdate" -no-obsolete -locations none -target-language en src -ts translations/bench-console_en.ts
