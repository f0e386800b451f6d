#!/usr/bin/env python3
"""Fails on a circle of includes between the product's modules.

A module is a header with its source (x.h and x.cpp in one folder): when x's
files include y.h and y's files include x.h, the two call each other and
neither can be read, tested or replaced alone. Prints each circle found.
"""
import os
import re
import sys

FOLDERS = ["core", "serial", "image", "release", "t62", "psoc", "zq3", "uploader", "bench", "app", "cli", "web"]
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def modules(root):
    graph = {}
    for folder in FOLDERS:
        base = os.path.join(root, folder)
        if not os.path.isdir(base):
            continue
        for name in sorted(os.listdir(base)):
            stem, ext = os.path.splitext(name)
            if ext not in (".h", ".cpp"):
                continue
            module = os.path.join(folder, stem)
            edges = graph.setdefault(module, set())
            with open(os.path.join(base, name), encoding="utf-8", errors="replace") as f:
                for used in INCLUDE.findall(f.read()):
                    for path in (used, os.path.join(folder, used)):
                        if os.path.isfile(os.path.join(root, path)):
                            target = os.path.splitext(os.path.normpath(path))[0]
                            if target != module:
                                edges.add(target)
                            break
    return graph


def circles(graph):
    # Tarjan's strongly connected components: any component of two or more
    # modules holds a circle.
    index, low, stack, on_stack, found = {}, {}, [], set(), []
    counter = [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for nxt in sorted(graph.get(node, ())):
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            component = []
            while True:
                top = stack.pop()
                on_stack.discard(top)
                component.append(top)
                if top == node:
                    break
            if len(component) > 1:
                found.append(sorted(component))

    sys.setrecursionlimit(10000)
    for node in sorted(graph):
        if node not in index:
            visit(node)
    return found


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    found = circles(modules(root))
    for component in found:
        print("include circle: " + " <-> ".join(component))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
