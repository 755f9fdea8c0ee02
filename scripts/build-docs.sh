#!/usr/bin/env bash
# Build the documentation site into build/site, strictly and offline.
#
#   scripts/build-docs.sh
#
# The tools come from requirements-docs.txt (every package pinned), installed
# from PyPI into build/venv-docs when the pins change; that is the only step
# that uses the network. The build itself then runs with no network at all
# (an empty network namespace, where the machine allows one), in mkdocs'
# strict mode: a broken link, a missing page or anchor, or an API reference
# that cannot be collected fails it. Finally no page may load a script, a
# stylesheet or a font from elsewhere.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
VENV=${DOCS_VENV:-$ROOT/build/venv-docs}
PYTHON=${PYTHON:-python3}

log() { printf '[build-docs] %s\n' "$*"; }

stamp=$VENV/.requirements-docs
if [[ ! -x $VENV/bin/python ]] || ! cmp -s requirements-docs.txt "$stamp"; then
  log "installing the pinned tools into $VENV"
  [[ -x $VENV/bin/python ]] || "$PYTHON" -m venv "$VENV"
  "$VENV/bin/python" -m pip install -q --disable-pip-version-check -r requirements-docs.txt
  cp requirements-docs.txt "$stamp"
fi

# No network: where unshare can make a namespace of its own (root), the
# build cannot reach anything even if something tried.
offline=()
if unshare --net true 2>/dev/null; then
  offline=(unshare --net)
  log "building with no network (unshare --net)"
else
  log "no network namespace available here; building with the network present"
fi
NO_MKDOCS_2_WARNING=1 "${offline[@]}" "$VENV/bin/mkdocs" build --strict --clean --config-file mkdocs.yml

# Everything the pages load must come from the site itself.
external=$(grep -rhoE '<(script|link|img)[^>]+(src|href)="(https?:)?//[^"]+"' build/site --include='*.html' \
           | grep -vE 'rel="(canonical|alternate)"' | sort -u || true)
external_css=$(grep -rhoE '@import url\((https?:)?//[^)]+\)|url\((https?:)?//[^)]+\)' build/site --include='*.css' | sort -u || true)
if [[ -n $external || -n $external_css ]]; then
  echo "build-docs: pages load resources from elsewhere:" >&2
  printf '%s\n' $external $external_css >&2
  exit 1
fi
log "site in build/site ($(find build/site -name index.html | wc -l) pages)"
