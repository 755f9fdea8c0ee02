"""The results of a batch kept on disk as they finish, so that a batch whose
driving process died resumes where it stopped.

A store is a JSON-lines file. Its first line names the batch:

    {"store": "tourloom_kit.solve_many", "version": 1, "fingerprint": "<sha256>",
     "instances": 64, "time_limit": 1}

where the fingerprint is a SHA-256 over every instance's arguments (in
order) and the time limit. Every further line is one finished result as
result_to_dict gives it plus "index", its position in the input. A line
counts as stored once it has been written whole and synced to the disk;
a last line without its newline is a write the writer did not live to
finish, and is dropped (that instance is solved again).
"""

from __future__ import annotations

import hashlib
import json
import os
from typing import Any, Dict, List, Mapping, Optional, Sequence

try:
    import fcntl
except ImportError:  # not a POSIX system: two batches on one store are not detected there
    fcntl = None  # type: ignore[assignment]

_KIND = "tourloom_kit.solve_many"
_VERSION = 1


class StoreError(ValueError):
    """The file given as a store cannot be used by this batch: it belongs to
    other instances or another time limit, is not a store, is damaged
    before its last line, or is in use by another batch. The file is left
    as it was."""


def _plain(value: Any) -> Any:
    """An instance's arguments as JSON values: the values solve reads from
    them. Any sequence becomes a list (a numpy array, a tuple, bytes: solve
    reads each item by item, with the same result), any integer a plain int;
    a string or a float stays what it is (solve refuses both). Keyword
    arguments stay keyed by name, so a positional instance is another
    instance than the same one by keyword."""
    kind = type(value)
    if kind is int or kind is str or kind is float or value is None:
        return value
    if kind is list or kind is tuple:
        # A row of plain ints (most of any instance) is taken as it is.
        return value if set(map(type, value)) <= {int} else [_plain(item) for item in value]
    if isinstance(value, Mapping):
        return {str(key): _plain(item) for key, item in value.items()}
    for plain_kind in (int, str, float):  # True, an IntEnum, a str subclass: the plain value
        if isinstance(value, plain_kind):
            return plain_kind(value)
    tolist = getattr(value, "tolist", None)  # numpy arrays and scalars: all values at once
    if callable(tolist):
        return _plain(tolist())
    try:
        return [_plain(item) for item in value]
    except TypeError:
        return {"repr": repr(value)}


def fingerprint(instances: Sequence[Any], time_limit: Optional[int]) -> str:
    """SHA-256 of the instances' arguments, in order, and the time limit:
    what makes a stored result the answer to this batch."""
    digest = hashlib.sha256(json.dumps({"time_limit": time_limit, "instances": len(instances)}).encode())
    for instance in instances:
        digest.update(b"\n")
        digest.update(json.dumps(_plain(instance), separators=(",", ":"), sort_keys=True).encode())
    return digest.hexdigest()


class ResultStore:
    """An open store of one batch: `results` maps the index of every result
    stored when it was opened to that result; add() stores one more. Holds an exclusive lock on the file
    until close(), so that two batches never write into one store."""

    def __init__(self, path: "os.PathLike[str] | str", instances: Sequence[Any], time_limit: Optional[int]):
        self.path = os.fspath(path)
        header = {"store": _KIND, "version": _VERSION, "fingerprint": fingerprint(instances, time_limit),
                  "instances": len(instances), "time_limit": time_limit}
        created = not os.path.exists(self.path)
        self._fd = os.open(self.path, os.O_RDWR | os.O_CREAT, 0o644)
        try:
            self._lock()
            if created:
                _sync_directory(self.path)
            self.results = self._read(header, len(instances))
        except BaseException:
            os.close(self._fd)
            raise

    def _lock(self) -> None:
        if fcntl is None:
            return
        try:
            fcntl.flock(self._fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except OSError:
            raise StoreError("%s is in use by another batch" % self.path) from None

    def _read(self, header: Dict[str, Any], count: int) -> Dict[int, Dict[str, Any]]:
        data = _read_all(self._fd)
        header_line = _line(header)
        complete = data[:data.rfind(b"\n") + 1]  # a torn last line is not part of the store
        if not complete:
            if not header_line.startswith(data):  # not the start of a header the writer did not finish
                raise StoreError("%s is not a store of solve_many (it does not start with a store's first line)"
                                 % self.path)
            self._truncate(0)
            self._write(header_line)
            return {}
        lines = complete.split(b"\n")[:-1]
        self._check_header(lines[0], header)
        results: Dict[int, Dict[str, Any]] = {}
        for number, line in enumerate(lines[1:], start=2):
            index, result = self._parse_result(number, line, count)
            if index in results:
                raise StoreError("%s: line %d stores instance %d a second time" % (self.path, number, index))
            results[index] = result
        if len(complete) < len(data):
            self._truncate(len(complete))
        return results

    def _check_header(self, line: bytes, header: Dict[str, Any]) -> None:
        try:
            found = json.loads(line)
        except ValueError:
            found = None
        if not isinstance(found, dict) or found.get("store") != _KIND:
            raise StoreError("%s is not a store of solve_many (its first line is not a store's)" % self.path)
        if found.get("version") != _VERSION:
            raise StoreError("%s is a store of version %r; this kit reads version %d"
                             % (self.path, found.get("version"), _VERSION))
        if found.get("fingerprint") != header["fingerprint"]:
            raise StoreError(
                "%s belongs to another batch: it was written for %r instances with time_limit=%r, this batch "
                "has %d instances with time_limit=%r, and their arguments differ (fingerprint %s..., stored %s...); "
                "give this batch a store of its own, or delete that file to start again"
                % (self.path, found.get("instances"), found.get("time_limit"), header["instances"],
                   header["time_limit"], header["fingerprint"][:12], str(found.get("fingerprint"))[:12]))

    def _parse_result(self, number: int, line: bytes, count: int) -> "tuple[int, Dict[str, Any]]":
        try:
            result = json.loads(line)
        except ValueError:
            result = None
        index = result.pop("index", None) if isinstance(result, dict) else None
        if not isinstance(index, int) or isinstance(index, bool) or not 0 <= index < count:
            raise StoreError("%s: line %d is not a stored result of this batch" % (self.path, number))
        return index, result

    def add(self, index: int, result: Mapping[str, Any]) -> None:
        """Store one finished result: the whole line written, then synced to
        the disk, before this returns."""
        self._write(_line({"index": index, **result}))

    def _write(self, line: bytes) -> None:
        view = memoryview(line)
        while view:
            view = view[os.write(self._fd, view):]
        os.fsync(self._fd)

    def _truncate(self, length: int) -> None:
        os.ftruncate(self._fd, length)
        os.lseek(self._fd, length, os.SEEK_SET)

    def close(self) -> None:
        if self._fd >= 0:
            os.close(self._fd)  # releases the lock
            self._fd = -1


def _line(value: Mapping[str, Any]) -> bytes:
    return (json.dumps(value, separators=(",", ":")) + "\n").encode()


def _read_all(fd: int) -> bytes:
    os.lseek(fd, 0, os.SEEK_SET)
    chunks: List[bytes] = []
    while True:
        chunk = os.read(fd, 1 << 20)
        if not chunk:
            return b"".join(chunks)
        chunks.append(chunk)


def _sync_directory(path: str) -> None:
    """Make the new file's name itself durable, not just its contents."""
    try:
        fd = os.open(os.path.dirname(os.path.abspath(path)), os.O_RDONLY)
    except OSError:
        return
    try:
        os.fsync(fd)
    except OSError:
        pass
    finally:
        os.close(fd)


__all__ = ["ResultStore", "StoreError", "fingerprint"]
