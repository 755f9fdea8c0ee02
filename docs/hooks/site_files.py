"""Build hooks of the documentation site (mkdocs.yml `hooks`).

- The API reference of `tourloom` is read from its type stub: griffe finds a
  stub-only module as the package `tourloom-stubs`, so the stub is copied to
  build/docs-api/tourloom-stubs/__init__.pyi before the pages render (the
  same layout the wheel installs). tourloom.pyi stays the one source.
- The kit's reference page lists one `::: tourloom_kit.<module>` block per
  public module of python/tourloom_kit, found when the site is built, so a
  new module appears without anyone editing the page.
- The benchmark figures and tables live in bench/results, where the
  benchmarks write them; they are added to the site as they are, under
  benchmarks/results/, instead of being copied into docs/.
"""

from __future__ import annotations

import shutil
from pathlib import Path

from mkdocs.plugins import event_priority
from mkdocs.structure.files import File, Files

ROOT = Path(__file__).resolve().parents[2]
RESULTS = ROOT / "bench" / "results"
KIT = ROOT / "python" / "tourloom_kit"
KIT_MODULES = "<!-- kit modules -->"
PUBLISHED = (".png", ".csv")


# Before the plugins' own: mkdocstrings drops search paths that do not
# exist when it reads its configuration.
@event_priority(100)
def on_config(config, **kwargs):
    stubs = ROOT / "build" / "docs-api" / "tourloom-stubs"
    stubs.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(ROOT / "tourloom.pyi", stubs / "__init__.pyi")
    return config


def on_files(files: Files, config, **kwargs) -> Files:
    for path in sorted(RESULTS.iterdir()):
        if path.suffix in PUBLISHED:
            files.append(File.generated(config, "benchmarks/results/" + path.name, abs_src_path=str(path)))
    return files


def on_page_markdown(markdown: str, page, config, files, **kwargs) -> str:
    if KIT_MODULES not in markdown:
        return markdown
    blocks = []
    for path in sorted(KIT.glob("*.py")):
        if path.name.startswith("_"):
            continue
        blocks.append("::: tourloom_kit.%s\n" % path.stem)
    return markdown.replace(KIT_MODULES, "\n".join(blocks))
