"""Moved to tourloom_kit.tsplib (installed with tourloom); this name stays for
the benchmark scripts in bench/ that import it from here."""

from tourloom_kit.tsplib import *  # noqa: F401,F403
