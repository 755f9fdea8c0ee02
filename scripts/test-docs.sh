#!/usr/bin/env bash
# The documentation leg: build the site strictly and offline
# (scripts/build-docs.sh), check that every name of the stub and the kit
# has its reference entry (scripts/check-docs-reference.py), test those
# tools (tests/docs), run every Python example of its pages and compare what
# they print (scripts/run-docs-examples.py, in the interpreter the examples
# use: scripts/module-python.sh), then check the built site in headless
# Chromium (scripts/check-docs-browser.py: every page of the navigation,
# console errors, internal links and anchors, the search; screenshots into
# build/docs-screenshots).
#
#   scripts/test-docs.sh
#
# Chromium and its driver come from scripts/install-deps.sh docs.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

if ! command -v chromium >/dev/null 2>&1 || ! command -v chromedriver >/dev/null 2>&1; then
  bash scripts/install-deps.sh docs
fi
bash scripts/build-docs.sh
echo "== every API name has its reference entry"
python3 scripts/check-docs-reference.py

# shellcheck source=module-python.sh
source "$ROOT/scripts/module-python.sh"
echo "== the docs tools' own tests"
(cd tests/docs && "$py" -m pytest -q -p no:cacheprovider .)
echo "== docs examples ($py)"
"$py" scripts/run-docs-examples.py

echo "== docs in the browser"
"${DOCS_VENV:-$ROOT/build/venv-docs}/bin/python" scripts/check-docs-browser.py
