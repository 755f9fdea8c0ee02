"""Optional dependencies: imported when a function first needs one, so that
the kit itself imports with nothing but tourloom installed."""

from __future__ import annotations

import importlib
from types import ModuleType


class MissingExtra(ImportError):
    """A function needs a package that is not installed; the message names
    the package and the extra of tourloom that brings it."""


def require(module: str, extra: str) -> ModuleType:
    try:
        return importlib.import_module(module)
    except ImportError as e:
        package = module.split(".")[0]
        raise MissingExtra("this needs %s, which is not installed: pip install 'tourloom[%s]' (or pip install %s)"
                           % (package, extra, package), name=package) from e
