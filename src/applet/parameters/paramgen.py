#!/usr/bin/env python3
"""paramgen: turns the declaration of the applet's parameters (parameters.toml) into what the
build and the users need, so that each fact about a parameter is written once:

    paramgen.py parameters.toml --header OUT.h     public C header: identifiers, enumeration
                                                   values, type codes
                --tables OUT.inc                   the applet's C++ tables (parameter table, tree
                                                   rows, defaults, file keys, access groups)
                --errors OUT.inc                   the applet's error codes as C++ constants
                --doc OUT.md                       the reference of all parameters
                --check-doc docs/parameters.md     exits 1 when that file is not what --doc writes

Runs on the build machine with Python 3.11 or later (tomllib), also for the Windows cross
build. Any inconsistency in the declaration (a duplicate identifier, a parameter missing from
an order list, an entry symbol with two values...) stops the build with a message naming it.
"""

import argparse
import sys
import tomllib

TYPES = {
    "integer": "Integer",
    "enumeration": "Enumeration",
    "double": "Double",
    "string": "String",
    "lut-field": "LutField",
    "host": "HostDefined",
}
ACCESS = {"read-write": "ReadWrite", "read-only": "ReadOnly", "host": "HostServed"}
NODE_KIND = {
    "integer": "Integer",
    "double": "Double",
    "enumeration": "Enumeration",
    "string": "String",
    "lut-field": "Field",
}
FILE_FORMS = {
    "number": ("Number", False),
    "double": ("Double", False),
    "double-from-getter": ("Double", True),
    "text": ("Text", False),
}
EPSILON = 2.0**-52


class DeclarationError(Exception):
    pass


def fail(message):
    raise DeclarationError(message)


def expand(decl):
    """The parameters in registration order, families expanded. A run of consecutive family
    entries of one group is expanded index-major: every member for the first index, then for
    the next. Returns (parameters, templates), templates mapping a family name to its names."""
    rows = decl.get("parameter", [])
    out, templates = [], {}
    i = 0
    while i < len(rows):
        row = rows[i]
        if "index" not in row:
            out.append(single(row))
            i += 1
            continue
        group = row.get("group")
        run = [row]
        j = i + 1
        while group is not None and j < len(rows) and rows[j].get("group") == group:
            run.append(rows[j])
            j += 1
        indices = row["index"]
        for member in run:
            if member["index"] != indices:
                fail(f"{member['name']}: index differs from the rest of group {group}")
            templates[member["name"]] = []
        for position, index in enumerate(indices):
            for member in run:
                p = instance(member, position, index)
                templates[member["name"]].append(p["name"])
                out.append(p)
        i = j
    return out, templates


def pick(value, position, index, what):
    if isinstance(value, list):
        if position >= len(value):
            fail(f"{what}: list shorter than the family's index")
        return value[position]
    if isinstance(value, str):
        return value.replace("{i}", str(index))
    return value


def instance(row, position, index):
    name = row["name"]
    if "{i}" not in name:
        fail(f"{name}: a family's name needs {{i}}")
    p = {}
    for key, value in row.items():
        if key in ("index", "group", "id_step"):
            continue
        if key == "node":
            p["node"] = {k: pick(v, position, index, f"{name}.node.{k}") for k, v in value.items()}
        elif key == "groups":
            p["groups"] = value
        elif key == "writes":
            # One list for every index ({i} replaced), or a list of lists, one per index.
            if all(isinstance(w, list) for w in value):
                p["writes"] = pick(value, position, index, f"{name}.writes")
            else:
                p["writes"] = [w.replace("{i}", str(index)) for w in value]
        else:
            p[key] = pick(value, position, index, f"{name}.{key}")
    if isinstance(row["id"], int):
        p["id"] = row["id"] + position * row.get("id_step", 0)
        if "id_step" not in row:
            fail(f"{name}: a family needs an id list or id_step")
    p["family"] = (name, index)
    return p


def single(row):
    p = dict(row)
    p["family"] = None
    return p


def order(decl, key, byname, templates):
    """An order list, family names expanded; a run of one group's family names index-major."""
    names = decl["order"][key]
    out = []
    i = 0
    while i < len(names):
        name = names[i]
        if name not in templates:
            if name not in byname:
                fail(f"order.{key}: no parameter {name}")
            out.append(name)
            i += 1
            continue
        first = byname[templates[name][0]]
        run = [name]
        j = i + 1
        group = first.get("group_of")
        while (
            j < len(names)
            and names[j] in templates
            and group is not None
            and byname[templates[names[j]][0]].get("group_of") == group
        ):
            run.append(names[j])
            j += 1
        for position in range(len(templates[name])):
            for template in run:
                out.append(templates[template][position])
        i = j
    if len(set(out)) != len(out):
        fail(f"order.{key}: a parameter is listed twice")
    return out


def load(path):
    with open(path, "rb") as f:
        decl = tomllib.load(f)
    params, templates = expand(decl)
    groups_of = {r["name"]: r.get("group") for r in decl.get("parameter", []) if "index" in r}
    for p in params:
        if p["family"] is not None:
            p["group_of"] = groups_of[p["family"][0]]
    byname, byid = {}, {}
    for p in params:
        for key in ("name", "id", "type", "access"):
            if key not in p:
                fail(f"{p.get('name', '?')}: no {key}")
        if p["name"] in byname:
            fail(f"{p['name']}: declared twice")
        if p["id"] in byid:
            fail(f"{p['name']}: identifier {p['id']} is also {byid[p['id']]['name']}")
        if p["type"] not in TYPES:
            fail(f"{p['name']}: unknown type {p['type']}")
        if p["access"] not in ACCESS:
            fail(f"{p['name']}: unknown access {p['access']}")
        if "file" in p and p["file"] not in FILE_FORMS:
            fail(f"{p['name']}: unknown file form {p['file']}")
        byname[p["name"]] = p
        byid[p["id"]] = p
    entries = decl.get("entries", {})
    symbols = {}
    for set_name, entry_set in entries.items():
        for symbol, e in entry_set.items():
            if symbols.setdefault(symbol, e["value"]) != e["value"]:
                fail(f"entry symbol {symbol} has two values")
    for p in params:
        node = p.get("node")
        if node is None:
            continue
        if p["type"] not in NODE_KIND:
            fail(f"{p['name']}: a {p['type']} parameter has no information node")
        if p["type"] == "enumeration" and node.get("entries") not in entries:
            fail(f"{p['name']}: unknown entries {node.get('entries')}")
    tree = order(decl, "tree", byname, templates)
    startup = order(decl, "startup", byname, templates)
    save = order(decl, "save", byname, templates)
    if set(tree) != {p["name"] for p in params if "node" in p}:
        fail("order.tree must list exactly the parameters with a node")
    if set(startup) != {p["name"] for p in params if "default" in p}:
        fail("order.startup must list exactly the parameters with a default")
    if set(save) != {p["name"] for p in params if "file" in p}:
        fail("order.save must list exactly the parameters with a file form")
    return {
        "decl": decl,
        "params": params,
        "byname": byname,
        "entries": entries,
        "tree": tree,
        "startup": startup,
        "save": save,
        "groups": decl.get("groups", {}),
        "type_codes": decl.get("type_codes", {}),
        "errors": decl.get("errors", {}),
        "identifiers": decl.get("identifiers", {}),
    }


# ---------------------------------------------------------------------------------------------
# Text helpers


def c_string(text):
    """A C string literal of `text` in Latin-1 (the bytes the information tree carries)."""
    out = ['"']
    for byte in text.encode("latin-1"):
        ch = chr(byte)
        if ch in '"\\':
            out.append("\\" + ch)
        elif 32 <= byte < 127:
            if out[-1].startswith("\\x") and ch in "0123456789abcdefABCDEF":
                out.append('" "')  # a hex escape would swallow the digit
            out.append(ch)
        else:
            out.append(f"\\x{byte:02X}")
    out.append('"')
    return "".join(out)


def c_double(value):
    if value == EPSILON:
        return "0x1p-52"
    text = repr(float(value))
    return text if ("." in text or "e" in text or "inf" in text) else text + ".0"


def node_number(value):
    return EPSILON if value == "epsilon" else value


def heading(generator_line):
    return generator_line


# ---------------------------------------------------------------------------------------------
# The public C header


def write_header(model):
    params = model["params"]
    lines = [
        "/* Pellvane: identifiers of the applet's parameters and the values of their enumerations,",
        "   for acquisition programs in C and C++. Generated from the applet's parameter",
        "   declaration; do not edit.",
        "",
        "   Every identifier goes to Fg_setParameterWithType / Fg_getParameterWithType together with",
        "   a type code (PV_TYPE_*) that tells the width of the value; docs/parameters.md describes",
        "   every parameter. */",
        "#ifndef PELLVANE_PARAMETERS_H",
        "#define PELLVANE_PARAMETERS_H",
        "",
        "/* Type codes of a value passed to the parameter functions. */",
    ]
    for name, t in model["type_codes"].items():
        lines.append(f"#define {name} {t['code']} /* {t['meaning']} */")
    lines += ["", "/* Error codes the applet's calls answer and keep as the last error. */"]
    for name, e in model["errors"].items():
        code = e["code"]
        lines.append(f"#define PV_ERR_{name} {f'({code})' if code < 0 else code} /* {e['meaning']} */")
    lines += ["", "/* Identifiers beyond the parameters. */"]
    for name, e in model["identifiers"].items():
        lines.append(f"#define PV_{name} {e['id']} /* {e['meaning']} */")
    lines += ["", "/* Parameter identifiers, in the applet's registration order. */"]
    width = max(len(p["name"]) for p in params)
    for p in params:
        lines.append(f"#define {p['name'].ljust(width)} {p['id']}")
    lines += ["", "/* Values of the enumeration parameters. */"]
    seen = set()
    for set_name, entry_set in model["entries"].items():
        users = [p["name"] for p in params if p.get("node", {}).get("entries") == set_name]
        lines.append(f"/* {', '.join(users)} */")
        for symbol, e in entry_set.items():
            if symbol in seen:
                continue
            seen.add(symbol)
            lines.append(f"#define {symbol} {e['value']}")
    lines += ["", "#endif /* PELLVANE_PARAMETERS_H */", ""]
    return "\n".join(lines)


# ---------------------------------------------------------------------------------------------
# The applet's C++ tables


def camel(name):
    return "k" + "".join(part.capitalize() for part in name.lower().split("_"))


def write_errors(model):
    out = [
        "// The applet's error codes and its identifiers beyond the parameters, generated by",
        "// paramgen.py from parameters.toml; do not edit.",
        "// Included by host/ErrorCodes.h inside namespace pellvane.",
    ]
    for name, e in model["errors"].items():
        out.append(f"inline constexpr int32_t {camel(name)} = {e['code']}; // {e['meaning']}")
    for name, e in model["identifiers"].items():
        out.append(f"inline constexpr int32_t {camel(name)} = {e['id']}; // {e['meaning']}")
    return "\n".join(out) + "\n"


def write_tables(model):
    params, byname, entries = model["params"], model["byname"], model["entries"]
    out = [
        "// The applet's parameter tables, generated by paramgen.py from parameters.toml; do not",
        "// edit. Included by parameters/ParameterTable.h inside namespace pellvane; the types are",
        "// declared there.",
        "",
    ]
    w = out.append

    w("inline constexpr std::array<ParameterDef, kParameterCount> kParameters = {{")
    for p in params:
        w(
            f"    {{{c_string(p['name'])}, {p['id']}, ValueType::{TYPES[p['type']]}, "
            f"Access::{ACCESS[p['access']]}, {c_string(p.get('description', ''))}}},"
        )
    w("}};")
    w(f"static_assert({len(params)} == kParameterCount);")
    w("")

    for set_name, entry_set in entries.items():
        w(f"inline constexpr EntryDef kEntries_{set_name}[] = {{")
        for symbol, e in entry_set.items():
            w(f"    {{{c_string(e['display'])}, {e['value']}, {c_string(symbol)}}},")
        w("};")
    w("")

    w("inline constexpr NodeRow kNodeRows[] = {")
    for name in model["tree"]:
        p = byname[name]
        n = p["node"]
        kind = NODE_KIND[p["type"]]
        unit = c_string(n["unit"]) if "unit" in n else "nullptr"
        lo = node_number(n.get("min", 0))
        hi = node_number(n.get("max", 0))
        inc = node_number(n.get("inc", 0))
        if kind == "Enumeration":
            ents = f"kEntries_{n['entries']}"
            count = f"static_cast<int32_t>(std::size({ents}))"
        else:
            ents, count = "nullptr", str(n.get("elements", 0))
        pattern = c_string(n["pattern"]) if "pattern" in n else "nullptr"
        w(
            f"    {{RowKind::{kind}, {c_string(n['category'])}, {p['id']}, {c_string(name)}, "
            f"{c_string(n['display'])}, {c_double(lo)}, {c_double(hi)}, {c_double(inc)}, "
            f"{n['access']}, {n['level']}, {unit}, {ents}, {count}, {pattern}}},"
        )
    w("};")
    w("")

    w("inline constexpr DefaultValue kDefaults[] = {")
    for name in model["startup"]:
        p = byname[name]
        w(f"    {{{p['id']}, {c_double(p['default'])}}}, // {name}")
    w("};")
    w("")

    w("inline constexpr ConfigKey kConfigKeys[] = {")
    for name in model["save"]:
        p = byname[name]
        form, from_getter = FILE_FORMS[p["file"]]
        w(
            f"    {{{c_string(name)}, {p['id']}, FileForm::{form}, "
            f"{'true' if from_getter else 'false'}}},"
        )
    w("};")
    w("")

    for group, meaning in model["groups"].items():
        members = [p for p in params if group in p.get("groups", [])]
        if not members:
            fail(f"access group {group} has no member")
        ident = "".join(part.capitalize() for part in group.split("-"))
        w(f"// {meaning}")
        w(f"inline constexpr int32_t kGroup{ident}[] = {{")
        for p in members:
            w(f"    {p['id']}, // {p['name']}")
        w("};")
    for p in params:
        for group in p.get("groups", []):
            if group not in model["groups"]:
                fail(f"{p['name']}: unknown access group {group}")
    w("")
    return "\n".join(out)


# ---------------------------------------------------------------------------------------------
# The reference document


def md_value(value):
    if isinstance(value, float):
        if value == EPSILON:
            return "2^-52"
        if value == int(value) and abs(value) < 1e15:
            return str(int(value))
        return repr(value)
    return str(value)


def write_doc(model):
    params, entries = model["params"], model["entries"]
    lines = [
        "# Parameters",
        "",
        "The applet's 130 parameters, in the order the applet registers them (`Fg_getParameterName`",
        "enumerates them so). Generated from `src/applet/parameters/parameters.toml` by",
        "`paramgen.py`; `make parameters-doc` rewrites this file and a test fails while it is stale.",
        "",
        "C and C++ programs take the identifiers and the enumeration values from",
        "`<pellvane/parameters.h>`, together with the type code of the value:",
        "",
        "| type | type code | value |",
        "| --- | --- | --- |",
    ]
    for name, t in model["type_codes"].items():
        lines.append(f"| `{name}` | {t['code']} | {t['meaning']} |")
    lines += [
        "",
        "Access: *read-write*; *read-only* parameters answer -12 to a set; *host* parameters are",
        "served by the host library, which defines their type. Limits are those of the parameter's",
        "information node at start-up (some follow other parameters at run time, noted in the",
        "text); *default* is the value start-up applies; *file* says how a configuration file",
        "keeps the value. *Setting it writes* names the design registers a set writes (both",
        "buffer banks, a register and its polarity, ...).",
        "",
    ]
    category = None
    for p in params:
        lines.append(f"## {p['name']}")
        lines.append("")
        desc = p.get("description") or "(no description)"
        lines.append(desc)
        lines.append("")
        node = p.get("node", {})
        facts = [
            ("identifier", str(p["id"])),
            ("type", p["type"]),
            ("access", p["access"]),
        ]
        if node:
            facts.append(("tree", f"{node['category']} / \"{node['display']}\""))
            if p["type"] in ("integer", "double", "lut-field"):
                lo, hi = node_number(node.get("min", 0)), node_number(node.get("max", 0))
                facts.append(("limits", f"{md_value(lo)} … {md_value(hi)}"))
                if "inc" in node:
                    facts.append(("increment", md_value(node_number(node["inc"]))))
            if "elements" in node:
                facts.append(("elements", str(node["elements"])))
            if "unit" in node:
                facts.append(("unit", node["unit"]))
        if "default" in p:
            facts.append(("default", md_value(p["default"])))
        if "file" in p:
            facts.append(("file", p["file"]))
        lines.append(" · ".join(f"{k}: {v}" for k, v in facts))
        lines.append("")
        if "writes" in p:
            names = [f"`{w}`" if " " not in w else w for w in p["writes"]]
            lines.append("Setting it writes " + ", ".join(names) + ".")
            lines.append("")
        if p["type"] == "enumeration" and node:
            lines.append("| value | symbol | shown as |")
            lines.append("| --- | --- | --- |")
            for symbol, e in entries[node["entries"]].items():
                lines.append(f"| {e['value']} | `{symbol}` | {e['display']} |")
            lines.append("")
    return "\n".join(lines)


def main():
    ap = argparse.ArgumentParser(description="Generates the parameter tables, header and doc.")
    ap.add_argument("declaration")
    ap.add_argument("--header")
    ap.add_argument("--tables")
    ap.add_argument("--errors")
    ap.add_argument("--doc")
    ap.add_argument("--check-doc")
    args = ap.parse_args()
    try:
        model = load(args.declaration)
        outputs = {
            args.header: write_header,
            args.tables: write_tables,
            args.errors: write_errors,
            args.doc: write_doc,
        }
        for path, writer in outputs.items():
            if path is None:
                continue
            text = writer(model)
            try:
                with open(path, encoding="utf-8") as f:
                    if f.read() == text:
                        continue  # unchanged: keep the time stamp, nothing rebuilds
            except FileNotFoundError:
                pass
            with open(path, "w", encoding="utf-8", newline="\n") as f:
                f.write(text)
        if args.check_doc:
            with open(args.check_doc, encoding="utf-8") as f:
                if f.read() != write_doc(model):
                    print(
                        f"{args.check_doc} is not what {args.declaration} says: "
                        "run `make parameters-doc` and commit the result",
                        file=sys.stderr,
                    )
                    return 1
    except DeclarationError as e:
        print(f"{args.declaration}: {e}", file=sys.stderr)
        return 1
    except tomllib.TOMLDecodeError as e:
        print(f"{args.declaration}: not valid TOML: {e}", file=sys.stderr)
        return 1
    except (OSError, KeyError, TypeError, ValueError) as e:
        print(f"{args.declaration}: {type(e).__name__}: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
