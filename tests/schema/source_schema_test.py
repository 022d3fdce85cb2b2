#!/usr/bin/env python3
"""The toolbar source's schema against a real validator and against `tbtool build`.

Usage: source_schema_test.py TBTOOL SOURCE_ROOT

- The schema is a valid draft 2020-12 schema, and every field in it has a description, a type and a
  default (or "x-default" saying in words what the toolbar does without it), since editors take
  all three from it.
- Every source in docs/ builds and lints clean, and the handbook lists every option.
- The sample, every source in docs/ and every source written in the tools' tests pass the schema
  exactly when `tbtool build` finds nothing wrong with their shape. The build also refuses things no
  schema can see (a missing file, a duplicate name, a character outside the code page, nesting
  deeper than 16); those sources are not compared.
- A table of wrong sources, each refused by both.
"""
import json
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

import jsonschema

TBTOOL = sys.argv[1]
ROOT = pathlib.Path(sys.argv[2])
SCHEMA = json.loads((ROOT / "docs/toolbar-source.schema.json").read_text())
VALIDATOR = jsonschema.Draft202012Validator(SCHEMA)
SAMPLE = ROOT / "samples/sample-bar"
TOP_FIELDS = set(SCHEMA["properties"])

# Build refusals about a source's shape: the schema must refuse each of these too. Every other
# refusal is about content that the schema cannot see.
SHAPE_MESSAGES = ("unknown field", "expected ", "out of range", "is not one of", "not a valid component name",
                  "needs a URL holding", "must be greater than 0", "write the option as", "reads no such option",
                  "needs a \"value\"", "holds no value", "unknown kind", "is not a bare file name",
                  "a key of the item's section is a bare name", "cannot hold a search selector",
                  "needs a name", "a point is")

failures = []
checked = 0
cases = 0


def fail(text):
    failures.append(text)
    print("FAIL:", text)


def schema_errors(source):
    """The validator's findings, the most telling first (the one inside a "oneOf" that came closest)."""
    errors = list(VALIDATOR.iter_errors(source))
    best = jsonschema.exceptions.best_match(errors)
    return [f"{e.json_path}: {e.message}" for e in ([best] if best else []) + errors]


def build(source, folder):
    """Runs `tbtool build` on the source in a folder holding the sample's icons; (exit, message)."""
    src = folder / "source.json"
    src.write_text(json.dumps(source, ensure_ascii=False))
    run = subprocess.run([TBTOOL, "build", str(src), str(folder / "out")], capture_output=True, text=True)
    return run.returncode, (run.stderr + run.stdout).strip()


def check_fields(node, where):
    """Every field of the schema tells an editor what it is, what it holds and what it defaults to."""
    global checked
    for name, field in node.get("properties", {}).items():
        checked += 1
        place = f"{where}.{name}"
        if "description" not in field:
            fail(f"schema {place}: no description")
        if not any(k in field for k in ("type", "enum", "const", "$ref", "oneOf")):
            fail(f"schema {place}: no type")
        if "default" not in field and "x-default" not in field and "$ref" not in field:
            fail(f"schema {place}: no default")
        check_fields(field, place)
    for name, sub in node.get("$defs", {}).items():
        check_fields(sub, f"$defs.{name}")


def new_toolbar():
    """The source `tbtool new` writes, with accents in its name."""
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run([TBTOOL, "new", "Météo Bar", tmp + "/bar"], check=True, capture_output=True)
        return json.loads(pathlib.Path(tmp, "bar/MeteoBar.json").read_text())


def sources_in_docs():
    for md in sorted((ROOT / "docs").glob("*.md")):
        for n, block in enumerate(re.findall(r"```json\n(.*?)```", md.read_text(), re.S)):
            yield f"{md.name} example {n + 1}", json.loads(block)


def sources_in_tests():
    """The JSON objects written as raw strings in the tools' tests that are toolbar sources."""
    for cpp in sorted((ROOT / "tests/tools").glob("*_test.cpp")):
        for n, text in enumerate(re.findall(r'R"\((.*?)\)"', cpp.read_text(), re.S)):
            try:
                value = json.loads(text)
            except ValueError:
                continue  # a fragment joined to others in the test, or not JSON at all
            if isinstance(value, dict) and value and set(value) <= TOP_FIELDS:
                yield f"{cpp.name} raw string {n + 1}", value


# Sources the build refuses for their shape, each one fault: the schema refuses them too.
WRONG = [
    ("option of the wrong type", {"options": {"About Width": "wide"}}),
    ("option the toolbar does not read", {"options": {"Toolbar Colour": "red"}}),
    ("option in another letter case", {"options": {"toolbar name": "Bar"}}),
    ("unknown field at the top", {"itmes": []}),
    ("unknown field of an item", {"items": [{"caption": "A", "link": "http://a.example/"}]}),
    ("caption that is a number", {"items": [{"caption": 5}]}),
    ("visible as text", {"items": [{"caption": "A", "visible": "yes"}]}),
    ("unknown item type", {"items": [{"type": "button"}]}),
    ("separator with a caption", {"items": [{"type": "separator", "caption": "x"}]}),
    ("engine without [SEARCH]", {"items": [{"type": "search", "engines": [{"url": "http://s.example/"}]}]}),
    ("engine numbered 0", {"items": [{"type": "search", "engines": [{"url": "http://s/?q=[SEARCH]", "tag": 0}]}]}),
    ("icon size too large", {"icon_size": 512}),
    ("tag beyond 32 bits", {"items": [{"caption": "A", "tag": 4294967296}]}),
    ("component name with a blank", {"items": [{"name": "mi Home"}]}),
    ("key value of an unknown kind", {"keys": {"\\A\\B": {"kind": "colour", "value": 1}}}),
    ("integer key without a value", {"keys": {"\\A\\B": {"kind": "integer"}}}),
    ("item key with a path", {"items": [{"caption": "A", "keys": {"X\\Y": 1}}]}),
    ("name with a folder", {"name": "../Bar"}),
    ("items that are not a list", {"items": {"caption": "A"}}),
]


def main():
    global cases
    check_fields(SCHEMA, "")
    try:
        jsonschema.Draft202012Validator.check_schema(SCHEMA)
    except jsonschema.SchemaError as e:
        fail(f"the schema is not a valid draft 2020-12 schema: {e.message}")

    sample = json.loads((SAMPLE / "sample-bar.json").read_text())
    if sample.get("$schema") is None:
        fail("the sample names no $schema")
    sources = [("the sample", sample), ("tbtool new", new_toolbar())] + list(sources_in_docs()) + list(sources_in_tests())
    examples = list(sources_in_docs())
    if not examples:
        fail("no source found in docs/")
    handbook = (ROOT / "docs/making-a-toolbar.md").read_text()
    for option in SCHEMA["properties"]["options"]["properties"]:
        cases += 1
        if f"| `{option}` |" not in handbook:
            fail(f"the option {option} is not in the handbook's table")

    with tempfile.TemporaryDirectory() as tmp:
        folder = pathlib.Path(tmp)
        shutil.copytree(SAMPLE / "icons", folder / "icons")
        shutil.copy(SAMPLE / "logo.png", folder / "logo.png")
        # Every example of the handbook builds, and lints without a finding.
        for name, source in examples:
            cases += 1
            code, message = build(source, folder)
            if code != 0 or "warning" in message or "error" in message:
                fail(f"{name} does not build clean: exit {code}: {message}")
        compared = 0
        for name, source in sources:
            errors = schema_errors(source)
            code, message = build(source, folder)
            shape_refused = code != 0 and any(m in message for m in SHAPE_MESSAGES)
            if code != 0 and not shape_refused:
                continue  # refused for content the schema cannot see
            compared += 1
            cases += 1
            if bool(errors) != shape_refused:
                fail(f"{name}: schema {'refuses' if errors else 'accepts'} ({errors[:1]}), "
                     f"build {'refuses' if shape_refused else 'accepts'} ({message[:200]})")
        print(f"{compared} sources from the sample, docs/ and the tests: schema and build agree")

        for name, source in WRONG:
            cases += 1
            errors = schema_errors(source)
            code, message = build(source, folder)
            if not errors or code == 0:
                fail(f"{name}: schema {errors[:1] or 'accepts'}; build exit {code}: {message}")
            else:
                print(f"{name}:\n  schema: {errors[0]}\n  build:  {message.splitlines()[0]}")

    print(f"{checked} schema fields described")
    total = cases + 2  # and the two checks of the schema itself
    print(f"{total - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


sys.exit(main())
