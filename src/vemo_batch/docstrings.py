"""Writes vemo_batch's C docstrings from its type stub, so that help() and
the stub say the same thing and the text is written once, in __init__.pyi.

    python3 docstrings.py __init__.pyi docstrings.hpp

Each function, method and property with a docstring in the stub becomes a
macro VEMO_DOC_<Class>_<name> (VEMO_DOC_<name> at module level, VEMO_DOC_<Class>
for a class), holding the text signature CPython reads (`name(params)` then
`--`; properties have none) and the docstring.
"""
import ast
import json
import sys


def text_signature(name: str, args: ast.arguments, method: bool) -> str:
    """name(...) in CPython's text-signature form: annotations dropped, the
    receiver as $self and positional-only before '/'."""
    parts = []
    positional = args.posonlyargs + args.args
    defaults = [None] * (len(positional) - len(args.defaults)) + list(args.defaults)
    for i, (a, d) in enumerate(zip(positional, defaults)):
        text = "$self" if method and i == 0 else a.arg
        parts.append(text if d is None else f"{text}={ast.unparse(d)}")
        if i + 1 == len(args.posonlyargs) or (method and i == 0 and not args.posonlyargs):
            parts.append("/")
    if args.vararg:
        parts.append(f"*{args.vararg.arg}")
    elif args.kwonlyargs:
        parts.append("*")
    for a, d in zip(args.kwonlyargs, args.kw_defaults):
        parts.append(a.arg if d is None else f"{a.arg}={ast.unparse(d)}")
    if args.kwarg:
        parts.append(f"**{args.kwarg.arg}")
    return f"{name}({', '.join(parts)})"


def entries(tree: ast.Module):
    for node in tree.body:
        if isinstance(node, ast.FunctionDef) and ast.get_docstring(node):
            yield node.name, f"{text_signature(node.name, node.args, False)}\n--\n\n{ast.get_docstring(node)}"
        elif isinstance(node, ast.ClassDef):
            init = next((n for n in node.body if isinstance(n, ast.FunctionDef) and n.name == "__init__"), None)
            args = init.args if init else ast.arguments([], [ast.arg("self")], None, [], [], None, [])
            signature = text_signature(node.name, args, True).replace("($self, /, ", "(").replace("($self, /)", "()")
            yield node.name, f"{signature}\n--\n\n{ast.get_docstring(node)}"
            for m in node.body:
                if not (isinstance(m, ast.FunctionDef) and ast.get_docstring(m)):
                    continue
                if any(isinstance(d, ast.Name) and d.id == "property" for d in m.decorator_list):
                    yield f"{node.name}_{m.name}", ast.get_docstring(m)
                else:
                    yield f"{node.name}_{m.name}", f"{text_signature(m.name, m.args, True)}\n--\n\n{ast.get_docstring(m)}"


def main() -> None:
    source, out = sys.argv[1:]
    with open(source, encoding="utf-8") as f:
        tree = ast.parse(f.read())
    lines = ["// Written by docstrings.py from __init__.pyi: edit the stub, not this file.", "#pragma once", ""]
    for name, text in entries(tree):
        # A JSON string is a valid C string literal for this ASCII text.
        assert text.isascii(), name
        lines.append(f"#define VEMO_DOC_{name} {json.dumps(text)}")
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
