#!/usr/bin/env python3
"""Summarise valgrind memcheck XML logs of runs that load the extension
module, and decide.

    scripts/memcheck-report.py LOG.xml...

Fails (exit 1) on any definitely lost block, and on any memory error with a
frame in the module (its shared object, or a function of the tourloom
namespaces). Memory errors without such a frame belong to the interpreter
(Debian's 3.11 reads uninitialised digits in int.from_bytes at every
start-up, for one); they are counted and their first frames shown, but do
not fail the run.
"""

import collections
import sys
import xml.etree.ElementTree as ET


def frames(stacks):
    """(function, file:line or object, object) of every frame of `stacks`."""
    out = []
    for frame in (f for stack in stacks for f in stack.findall("frame")):
        fn = frame.findtext("fn") or "?"
        where = frame.findtext("file")
        where = "%s:%s" % (where, frame.findtext("line")) if where else frame.findtext("obj") or "?"
        out.append((fn, where, frame.findtext("obj") or ""))
    return out


def in_module(frame):
    fn, _, obj = frame
    return "tourloom::" in fn or obj.rsplit("/", 1)[-1].startswith("tourloom")


def main(paths):
    failed = False
    for path in paths:
        root = ET.parse(path).getroot()
        counts = {p.findtext("unique"): int(p.findtext("count")) for p in root.findall("./errorcounts/pair")}
        foreign = collections.Counter()
        definite_bytes = definite_blocks = 0
        print("== %s" % path)
        for error in root.findall("error"):
            kind = error.findtext("kind")
            # With --track-origins, a second stack: where an uninitialised
            # value came from.
            main, *origins = error.findall("stack")
            stack = frames([main] + origins)
            if kind.startswith("Leak_"):
                if kind == "Leak_DefinitelyLost":
                    definite_bytes += int(error.findtext("./xwhat/leakedbytes"))
                    definite_blocks += int(error.findtext("./xwhat/leakedblocks"))
                    failed = True
                    print("   DEFINITELY LOST: %s" % error.findtext("./xwhat/text"))
                    for fn, where, _ in stack[:25]:
                        print("      %s (%s)" % (fn, where))
                continue
            times = counts.get(error.findtext("unique"), 1)
            if any(in_module(f) for f in stack):
                failed = True
                print("   MODULE ERROR (%d times): %s" % (times, error.findtext("what")))
                for fn, where, _ in stack[:25]:
                    print("      %s (%s)" % (fn, where))
            else:
                # Named by the first frame that is not an inline helper, and
                # by the first frame of the origin below the allocator.
                here = frames([main])
                top = next((f for f in here if not f[0].startswith(("Py_", "_Py_"))), here[0])
                origin = [f[0] for f in frames(origins) if not f[0].startswith(("malloc", "_PyMem", "PyObject_Malloc"))]
                foreign["%s in %s (%s)%s" % (kind, top[0], top[1], ", value from " + origin[0] if origin else "")] += times
        print("   definitely lost: %d bytes in %d blocks" % (definite_bytes, definite_blocks))
        if foreign:
            print("   errors without a frame in the module (the interpreter's own): %d" % sum(foreign.values()))
            for what, n in foreign.most_common(8):
                print("      %5d  %s" % (n, what))
        else:
            print("   no memory errors")
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1:]))
