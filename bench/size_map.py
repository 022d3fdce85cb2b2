#!/usr/bin/env python3
"""What the Windows library is made of, from the map its link writes (build/ARCH/Toolbar.map).

Usage: size_map.py build/win64/Toolbar.map [TOP]

Prints the bytes each output section kind, each library and each object file contributes (only what
the linker kept), then the largest functions and data, whose sections carry their names since the
library's code is compiled with a section per function, grouped into families (the instantiations
of one template count together).
"""
import collections
import re
import subprocess
import sys

# " .text$name   0xADDRESS   0xSIZE   archive(member)" on one line, or the name alone on one line
# and the rest on the next when the name is long.
ONE_LINE = re.compile(r"^ (\.[^\s]+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
NAME_ONLY = re.compile(r"^ (\.[^\s]+)\s*$")
REST = re.compile(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")


def contributions(path):
    pending = None
    for line in open(path, errors="replace"):
        line = line.rstrip("\n")
        if m := ONE_LINE.match(line):
            section, address, size, source = m.groups()
        elif m := NAME_ONLY.match(line):
            pending = m.group(1)
            continue
        elif pending and (m := REST.match(line)):
            address, size, source = m.groups()
            section, pending = pending, None
        else:
            pending = None
            continue
        size = int(size, 16)
        if int(address, 16) == 0 or size == 0 or section.startswith((".bss", ".debug", ".tbss")):
            continue
        yield section, size, source.strip()


def kind_of(section):
    base = section.split("$")[0]
    for kind in (".text", ".rdata", ".xdata", ".pdata", ".data"):
        if base.startswith(kind):
            return kind
    return base


def demangle(names):
    if not names:
        return []
    out = subprocess.run(["c++filt"], input="\n".join(names), capture_output=True, text=True, check=False).stdout
    return out.split("\n")[: len(names)]


def family(name):
    """A demangled name without its template arguments and parameters: one line per template."""
    depth, result = 0, []
    for c in name:
        if c in "<(":
            depth += 1
            if depth == 1:
                result.append("<>" if c == "<" else "()")
        elif c in ">)":
            depth -= 1
        elif depth == 0:
            result.append(c)
    return "".join(result)


def main():
    path = sys.argv[1]
    top = int(sys.argv[2]) if len(sys.argv) > 2 else 40
    kinds, libraries, objects, functions = (collections.Counter() for _ in range(4))
    for section, size, source in contributions(path):
        kinds[kind_of(section)] += size
        library = source.split("(")[0].rsplit("/", 1)[-1]
        libraries[library] += size
        objects[source.rsplit("/", 1)[-1]] += size
        if "$" in section and kind_of(section) in (".text", ".rdata", ".data"):
            functions[section.split("$", 1)[1]] += size

    def table(title, counter, limit):
        print(f"{title} (KB)")
        for name, size in counter.most_common(limit):
            print(f"  {size / 1024:8.1f}  {name}")
        print()

    print(f"total kept: {sum(kinds.values()) / 1024:.1f} KB\n")
    table("by section kind", kinds, 20)
    table("by library", libraries, 25)
    table("by object file", objects, top)
    names = list(functions)
    readable = dict(zip(names, demangle(names)))
    families = collections.Counter()
    for name, size in functions.items():
        families[family(readable.get(name, name))] += size
    table("by function or template family (code and data with a section of their own)", families, top)


if __name__ == "__main__":
    main()
