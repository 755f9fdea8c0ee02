"""Check the built documentation site in a real browser.

    build/venv-docs/bin/python scripts/check-docs-browser.py [--site build/site] [--shots build/docs-screenshots]

Serves the site on 127.0.0.1 (a free port), opens it in Debian's Chromium,
headless, driven by Selenium through Debian's chromedriver (nothing is
downloaded), and:
- visits every page of the navigation (the links of the site's own
  navigation, which must be as many as the pages mkdocs.yml's nav names);
- fails on any console error of a page (a script error, a resource that
  does not load) and on an image that does not load;
- follows every internal link of every page: the target must exist, and a
  link to an anchor needs that anchor on the target page;
- types `time_windows` into the search box and expects a hit;
- saves screenshots of the landing page, the search and the API pages.

Exits non-zero with every failure listed.
"""

from __future__ import annotations

import argparse
import functools
import http.server
import re
import sys
import threading
import time
import urllib.error
import urllib.parse
import urllib.request
from pathlib import Path
from typing import Dict, List, Set

import yaml
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

ROOT = Path(__file__).resolve().parents[1]
SEARCH_TERM = "time_windows"
# The pages photographed besides the landing page and the search.
SHOTS = {"api-tourloom": "reference/tourloom/", "api-pyoutput": "reference/tourloom/#tourloom.PyOutput",
         "api-kit": "reference/kit/", "api-kit-lateness": "reference/kit/#tourloom_kit.lateness.explain_lateness",
         "guide-lateness": "guides/lateness/"}


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass


class QuietServer(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        # The link check closes a response once it knows the status.
        if not isinstance(sys.exc_info()[1], (BrokenPipeError, ConnectionResetError)):
            super().handle_error(request, client_address)


def serve(site: Path) -> http.server.ThreadingHTTPServer:
    server = QuietServer(("127.0.0.1", 0), functools.partial(QuietHandler, directory=str(site)))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def browser() -> webdriver.Chrome:
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                 "--window-size=1280,1000", "--no-first-run", "--disable-extensions"):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(options=options, service=Service(executable_path="/usr/bin/chromedriver"))


def nav_pages(config: Path) -> int:
    """How many pages mkdocs.yml's nav names."""

    def count(items) -> int:
        total = 0
        for item in items:
            value = next(iter(item.values())) if isinstance(item, dict) else item
            total += count(value) if isinstance(value, list) else 1
        return total

    # mkdocs.yml may carry tags of mkdocs' own loader; the nav needs none.
    class Loader(yaml.SafeLoader):
        pass

    Loader.add_multi_constructor("", lambda loader, suffix, node: None)
    return count(yaml.load(config.read_text(), Loader=Loader)["nav"])


class Checker:
    def __init__(self, base: str, driver: webdriver.Chrome):
        self.base = base
        self.driver = driver
        self.failures: List[str] = []
        self.anchors: Dict[str, Set[str]] = {}

    def fail(self, message: str) -> None:
        self.failures.append(message)
        print("   FAIL  " + message)

    def open(self, url: str) -> None:
        self.driver.get(url)
        WebDriverWait(self.driver, 20).until(lambda d: d.execute_script("return document.readyState") == "complete")

    def console_errors(self, page: str) -> None:
        for entry in self.driver.get_log("browser"):
            if entry.get("level") == "SEVERE":
                self.fail("%s: console error: %s" % (page, entry.get("message")))

    def ids_of(self, url: str) -> Set[str]:
        """The anchors a page offers (ids and names), read from its HTML."""
        if url not in self.anchors:
            with urllib.request.urlopen(url, timeout=10) as response:
                html = response.read().decode("utf-8", "replace")
            self.anchors[url] = set(re.findall(r'\b(?:id|name)="([^"]+)"', html))
        return self.anchors[url]

    def check_links(self, page: str) -> int:
        hrefs = self.driver.execute_script(
            "return Array.from(document.querySelectorAll('a[href]'), a => a.href)")
        internal = sorted({href for href in hrefs if href.startswith(self.base)})
        for href in internal:
            target, _, fragment = href.partition("#")
            try:
                urllib.request.urlopen(target, timeout=10).close()
            except urllib.error.HTTPError as error:
                self.fail("%s: broken link %s (%d)" % (page, href[len(self.base):], error.code))
                continue
            fragment = urllib.parse.unquote(fragment)
            if fragment and target.endswith("/") or fragment and target.endswith(".html"):
                if fragment not in self.ids_of(target):
                    self.fail("%s: link %s: no anchor '%s' there" % (page, href[len(self.base):], fragment))
        return len(internal)

    def check_images(self, page: str) -> None:
        broken = self.driver.execute_script(
            "return Array.from(document.images).filter(i => !i.complete || i.naturalWidth === 0).map(i => i.src)")
        for src in broken:
            self.fail("%s: image does not load: %s" % (page, src))

    def search(self, shots: Path) -> None:
        self.open(self.base)
        box = self.driver.find_element(By.CSS_SELECTOR, "input.md-search__input")
        # On a wide window the box is in the header; on a narrow one a
        # button opens it.
        if not box.is_displayed():
            self.driver.find_element(By.CSS_SELECTOR, "label.md-header__button[for='__search']").click()
        box.click()
        box.send_keys(SEARCH_TERM)
        try:
            WebDriverWait(self.driver, 20).until(
                lambda d: d.find_elements(By.CSS_SELECTOR, ".md-search-result__item"))
        except Exception:
            self.fail("search: no result for %r" % SEARCH_TERM)
            return
        results = self.driver.find_elements(By.CSS_SELECTOR, ".md-search-result__item")
        if not any(SEARCH_TERM in item.text for item in results):
            self.fail("search: %d results for %r, none showing it" % (len(results), SEARCH_TERM))
        else:
            print("   ok    search %r: %d results" % (SEARCH_TERM, len(results)))
        self.driver.save_screenshot(str(shots / "search.png"))
        self.console_errors("search")


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--site", type=Path, default=ROOT / "build" / "site")
    parser.add_argument("--shots", type=Path, default=ROOT / "build" / "docs-screenshots")
    args = parser.parse_args(argv)
    if not (args.site / "index.html").exists():
        print("check-docs-browser: no site in %s; run scripts/build-docs.sh first" % args.site, file=sys.stderr)
        return 2
    args.shots.mkdir(parents=True, exist_ok=True)
    server = serve(args.site)
    base = "http://127.0.0.1:%d/" % server.server_address[1]
    driver = browser()
    try:
        check = Checker(base, driver)
        check.open(base)
        pages = []
        for href in driver.execute_script(
                "return Array.from(document.querySelectorAll('nav.md-nav--primary a.md-nav__link[href]'), a => a.href)"):
            page = href.partition("#")[0]
            if page.startswith(base) and page not in pages:
                pages.append(page)
        expected = nav_pages(ROOT / "mkdocs.yml")
        if len(pages) != expected:
            check.fail("the site's navigation links %d pages, mkdocs.yml names %d" % (len(pages), expected))
        for url in pages:
            page = "/" + url[len(base):]
            check.open(url)
            if not driver.find_elements(By.CSS_SELECTOR, "article h1"):
                check.fail("%s: no heading" % page)
            check.console_errors(page)
            check.check_images(page)
            links = check.check_links(page)
            print("   ok    %-34s %3d internal links" % (page, links))
        check.open(base)
        driver.save_screenshot(str(args.shots / "landing.png"))
        for name, path in SHOTS.items():
            check.open(base + path)
            time.sleep(0.5)  # the header's title fades when a page opens scrolled
            driver.save_screenshot(str(args.shots / ("%s.png" % name)))
        check.search(args.shots)
    finally:
        driver.quit()
        server.shutdown()
    for failure in check.failures:
        print(failure, file=sys.stderr)
    print("docs browser check: %d pages, %s; screenshots in %s"
          % (len(pages), "%d failures" % len(check.failures) if check.failures else "no failures", args.shots))
    return 1 if check.failures else 0


if __name__ == "__main__":
    sys.exit(main())
