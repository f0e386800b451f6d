"""Holds ridorez's JSON to docs/json.md: every object in the files given
(one object a line) has exactly the fields of the document's table for its
kind, in that order, and so has each object in it (found, each port).

    python3 json_doc_check.py docs/json.md OUTPUT...
"""
import json
import re
import sys

# The document's tables of fields, each as its list of field names.
tables = []
rows = None
for line in open(sys.argv[1], encoding="utf-8"):
    m = re.match(r"\| `([a-z_]+)` \|", line)
    if m is None:
        rows = None
        continue
    if rows is None:
        rows = []
        tables.append(rows)
    rows.append(m.group(1))


def documented(first, *also):
    """The table that begins with first and has the fields also."""
    for t in tables:
        if t[0] == first and all(a in t for a in also):
            return t
    raise AssertionError("no table in the document begins with %s" % first)


def check(obj, fields, what):
    assert list(obj) == fields, "%s: the program prints %s, the document has %s" % (what, list(obj), fields)


def with_extras(obj, fields):
    """The command's table, with verify's and a stop's fields before seconds."""
    extra = [f for f in obj if f not in fields]
    for name in extra:
        assert name in ("rows_differing", "first_difference", "stopped_by"), "undocumented field " + name
        assert any(name in t for t in tables), name
    at = fields.index("seconds")
    return fields[:at] + extra + fields[at:]


count = 0
for path in sys.argv[2:]:
    for line in open(path, encoding="utf-8"):
        obj = json.loads(line)
        count += 1
        if "summary" in obj:
            check(obj, with_extras(obj, documented("summary")), "bench summary")
        elif "ports" in obj:
            check(obj, documented("ports"), "ports")
            for p in obj["ports"]:
                check(p, documented("name"), "a port of ports")
        elif obj.get("phase") == "result":
            check(obj, with_extras(obj, documented("target", "attempt")), "a bench's result")
        elif "percent" in obj:
            check(obj, documented("port", "percent"), "a bench's progress")
        elif "versions" in obj and "target" not in obj:
            check(obj, documented("port", "versions"), "a bench's probe")
        else:
            check(obj, with_extras(obj, documented("target", "found")), "a command's object")
        if obj.get("found") is not None:
            check(obj["found"], documented("loader_version"), "found")
print(count)
