#!/usr/bin/env python3
"""Checks that each fact of the model record has one owner.

1. No field of the model record is declared again in another record header (src/record/),
   as a field of the record or of a struct held there, unless it is a reference or pointer
   to the fact the first one owns.
2. No working copy of a card that no code reads: every `m.copy = m.card;` of the run
   parameters is read somewhere in src/ outside its own assignment.
3. No source file in src/ is longer than 800 lines.

Prints what it finds and exits 1 when any list is not empty.
usage: check_record.py [--only fields|copies|lengths]... [source root]
"""
import os
import re
import sys

MAX_LINES = 800

args = sys.argv[1:]
only = set()
while len(args) >= 2 and args[0] == "--only":
    only.add(args[1])
    args = args[2:]
root = args[0] if args else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
src = os.path.join(root, "src")
record = os.path.join(src, "record")


def code_of(path):
    """The file's text without comments and string literals."""
    text = open(path, encoding="utf-8").read()
    text = re.sub(r'"(\\.|[^"\\\n])*"', '""', text)
    text = re.sub(r"//[^\n]*", "", text)
    return re.sub(r"/\*.*?\*/", "", text, flags=re.S)


# A data member: a type, a name, then an initialiser, an array extent or the end of the line.
FIELD = re.compile(
    r"^\s*(?!return\b|using\b|typedef\b|friend\b|static_assert\b|namespace\b|struct\b|enum\b|class\b)"
    r"(?:const\s+)?(?:static\s+)?(?:constexpr\s+)?"
    r"(?P<type>[A-Za-z_][\w:]*(?:\s*<[^;{}()]*>)?(?:\s*const)?\s*[*&]*)\s+"
    r"(?P<name>[A-Za-z_]\w*)\s*(?:\[[^\]]*\]\s*)*(?:=[^;]*|\{[^;]*\})?;",
    re.M)


def member_lists():
    """The X-macro lists of the record headers: {macro name: [member names]}."""
    lists = {}
    for name in os.listdir(record):
        text = code_of(os.path.join(record, name)).replace("\\\n", " ")
        for macro, body in re.findall(r"#define\s+(\w+)\(X\)([^\n]*)", text):
            lists[macro] = re.findall(r"\bX\((\w+)\)", body)
    return lists


def struct_fields(path, lists):
    """{struct name: [(field, is_reference)]} for the data members of each struct of the header."""
    text = re.sub(r"#define[^\n]*(\\\n[^\n]*)*", "", code_of(path))
    structs = {}
    scopes = []  # the struct name, or None for any other brace
    pos = 0
    for match in re.finditer(r"[{};]", text):
        ch = match.group()
        stmt = text[pos:match.start()]
        pos = match.end()
        if ch == "{":
            head = re.search(r"\b(?:struct|class|union)\s+(\w+)[^;()]*$", stmt)
            scopes.append(head.group(1) if head else None)
            if head:
                structs.setdefault(head.group(1), [])
        elif ch == "}":
            if scopes:
                scopes.pop()
        elif scopes and scopes[-1]:
            for macro in re.findall(r"\b(\w+)\(\w+\)", stmt):
                structs[scopes[-1]].extend((field, False) for field in lists.get(macro, []))
            stmt = re.sub(r"\b\w+\(\w+\)", "", stmt)
            if "(" in stmt.split("=")[0]:
                continue
            m = FIELD.match(stmt.strip("\n") + ";")
            if m:
                structs[scopes[-1]].append((m.group("name"), "*" in m.group("type") or "&" in m.group("type")))
    return structs


def record_parts():
    """The structs the model record is composed of, with their bases."""
    text = code_of(os.path.join(record, "model_state.hpp"))
    bases = re.search(r"struct\s+model_state\s*:([^{]*)\{", text).group(1)
    parts = set(re.findall(r"\w+", bases))
    for name in os.listdir(record):
        for more in re.findall(r"struct\s+(\w+)\s*:([^{;]*)\{", code_of(os.path.join(record, name))):
            if more[0] in parts:
                parts.update(re.findall(r"\w+", more[1]))
    return parts


def twice_declared():
    """A record field (a member of one of the record's parts) whose name is declared again in
    another state header, as a record field or as a member of a struct held there."""
    parts = record_parts()
    headers = {}
    lists = member_lists()
    for name in sorted(os.listdir(record)):
        if name.endswith(".hpp"):
            headers[name] = struct_fields(os.path.join(record, name), lists)
    owner = {}
    for header, structs in headers.items():
        for struct, fields in structs.items():
            if struct in parts:
                for field, by_reference in fields:
                    if not by_reference:
                        owner.setdefault(field, header)
    found = set()
    for header, structs in headers.items():
        for struct, fields in structs.items():
            for field, by_reference in fields:
                if field in owner and owner[field] != header and not by_reference:
                    found.add(f"{field}: {owner[field]} and {header} ({struct})")
    return sorted(found)


def source_files():
    for dirpath, _, names in os.walk(src):
        for name in sorted(names):
            if name.endswith((".cpp", ".hpp")):
                yield os.path.join(dirpath, name)


def unread_copies():
    params = os.path.join(src, "input", "run_parameters.cpp")
    copies = re.findall(r"\bm\.(\w+)\s*=\s*m\.\w+;", code_of(params))
    texts = {path: code_of(path) for path in source_files() if not path.startswith(record + os.sep)}
    found = []
    for copy in sorted(set(copies)):
        uses = 0
        written = re.compile(r"\b%s\s*=[^=]" % re.escape(copy))
        for text in texts.values():
            for hit in re.finditer(r"\b%s\b" % re.escape(copy), text):
                if not written.match(text, hit.start()):
                    uses += 1
        if uses == 0:
            found.append(copy)
    return found


def long_files():
    found = []
    for path in source_files():
        with open(path, encoding="utf-8") as f:
            lines = sum(1 for _ in f)
        if lines > MAX_LINES:
            found.append(f"{os.path.relpath(path, root)}: {lines} lines")
    return found


failed = False
for key, title, check in (("fields", "fields declared in two state headers", twice_declared),
                          ("copies", "working copies of cards that no code reads", unread_copies),
                          ("lengths", f"files in src/ over {MAX_LINES} lines", long_files)):
    if only and key not in only:
        continue
    items = check()
    print(f"{title}: {len(items)}")
    for item in items:
        print("  " + item)
    failed = failed or bool(items)
sys.exit(1 if failed else 0)
