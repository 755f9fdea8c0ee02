"""The documentation's example runner (scripts/run-docs-examples.py): which
blocks it runs, which output it expects of them, and that a wrong output,
an exception or a panic fails the page."""

import importlib.util
import sys
import textwrap
from pathlib import Path

import pytest

SCRIPT = Path(__file__).resolve().parents[2] / "scripts" / "run-docs-examples.py"
spec = importlib.util.spec_from_file_location("run_docs_examples", SCRIPT)
runner = importlib.util.module_from_spec(spec)
sys.modules["run_docs_examples"] = runner
spec.loader.exec_module(runner)

P = pytest.param
F = "```"


def page(text):
    return textwrap.dedent(text).replace("'''", F)


@pytest.mark.parametrize("text, expected", [
    P(page("""\
        '''python
        print(1)
        '''

        '''text
        1
        '''
        """), [("python", False, "1\n")], id="output-after-blank-line"),
    P(page("""\
        '''python
        print(1)
        '''
        Some prose.
        '''text
        1
        '''
        """), [("python", False, None)], id="prose-between-is-no-output"),
    P(page("""\
        <!-- skip-example -->
        '''python
        print(1)
        '''
        """), [("python", True, None)], id="skipped"),
    P(page("""\
        <!-- skip-example -->

        '''python
        print(1)
        '''
        """), [("python", False, None)], id="marker-not-directly-before"),
    P(page("""\
        '''text
        a signature
        '''
        '''text
        not output of a text block
        '''
        """), [], id="text-blocks-only"),
])
def test_blocks_and_their_output(text, expected):
    got = [(b.lang, b.skipped, b.expected) for b in runner.blocks_of(text) if b.lang == "python"]
    assert got == expected


def test_indented_and_longer_fences():
    text = page("""\
        !!! note
            '''python
            if True:
                print("inside")
            '''

        ````python
        print('''')
        ````
        """)
    codes = [b.code for b in runner.blocks_of(text)]
    # The admonition's indentation is removed; a four-backtick fence keeps
    # a line of three backticks as code.
    assert codes == ['if True:\n    print("inside")\n', "print(%s)\n" % (F + "'")]


@pytest.mark.parametrize("body, failures", [
    P("'''python\nx = 2\n'''\n\n'''python\nprint(x * 21)   \n'''\n'''text\n42\n'''\n", 0, id="shared-namespace"),
    P("'''python\nprint(41)\n'''\n'''text\n42\n'''\n", 1, id="wrong-output"),
    P("'''python\nraise ValueError('no')\n'''\n", 1, id="exception"),
    P("'''python\nraise SystemExit(3)\n'''\n", 1, id="base-exception"),
    P("<!-- skip-example -->\n'''python\nraise ValueError('never run')\n'''\n", 0, id="skipped-not-run"),
])
def test_run_page(tmp_path, body, failures):
    doc = tmp_path / "page.md"
    doc.write_text(body.replace("'''", F))
    assert len(runner.run_page(doc)) == failures
