#!/usr/bin/env bash
# The layering check: each folder may include only the folders below it in the
# order README.md writes down (its "Layers" section, between the two marker
# comments; a room of a folder, such as devhost/engine, is a layer of its own
# when the order names it), and nothing outside tests/ builds a file of tests/. Prints every
# include that runs upward, with its file and line, and fails on any.
set -euo pipefail
cd "$(dirname "$0")/.."

readme=README.md
order=$(sed -n '/<!-- layers: begin -->/,/<!-- layers: end -->/p' "$readme" | grep -v '<!--' | tr -s ' \n' ' ')
if [ -z "${order// /}" ]; then
  echo "layers.sh: no layer order between <!-- layers: begin --> and <!-- layers: end --> in $readme" >&2
  exit 1
fi

python3 - "$order" <<'EOF'
import os, re, subprocess, sys

order = sys.argv[1].split()
rank = {folder: i for i, folder in enumerate(order)}
# Folders on top of every layer: they may include anything.
top = {"tests", "bench", "fuzz"}
include = re.compile(r'^\s*#\s*include\s*"([^"]+)"')

files = subprocess.run(["git", "ls-files", "-co", "--exclude-standard"], capture_output=True, text=True,
                       check=True).stdout.split()
# Public include folders (`<folder>/include/`), where a header is included by the path below them.
include_roots = sorted({f.split("/include/")[0] + "/include" for f in files if "/include/" in f})

def layer_of(path):
    """The longest entry of the order that holds `path`; else its top folder."""
    best = None
    for layer in order:
        if path.startswith(layer + "/") and (best is None or len(layer) > len(best)):
            best = layer
    return best or path.split("/")[0]

def layer_of_include(path, including):
    candidates = [path, os.path.normpath(os.path.join(os.path.dirname(including), path))]
    candidates += [root + "/" + path for root in include_roots]
    for candidate in candidates:
        if os.path.isfile(candidate):
            return layer_of(candidate)
    return None

faults = []
unknown = set()
for f in files:
    if not f.endswith((".h", ".hpp", ".c", ".cpp")) or not os.path.isfile(f):
        continue
    folder = layer_of(f)
    if folder in top:
        continue
    if folder not in rank:
        if "/" in f:
            unknown.add(folder)
        continue
    with open(f, encoding="utf-8", errors="replace") as source:
        for number, line in enumerate(source, 1):
            m = include.match(line)
            if not m:
                continue
            target = layer_of_include(m.group(1), f)
            if target is None or target == folder:
                continue
            if target in top:
                faults.append(f"{f}:{number}: includes {m.group(1)} ({target}/ is above every layer)")
            elif target in rank and rank[target] > rank[folder]:
                faults.append(f"{f}:{number}: includes {m.group(1)} ({target}/ is above {folder}/)")

# Nothing outside tests/ builds a source of tests/.
for f in files:
    if f.startswith("tests/") or not (f.endswith("CMakeLists.txt") or f.endswith(".cmake")):
        continue
    with open(f, encoding="utf-8") as build:
        for number, line in enumerate(build, 1):
            if re.search(r'(^|[/{}\s])tests/[^\s)]*\.(cpp|c|h)\b', line) and not line.lstrip().startswith("#"):
                faults.append(f"{f}:{number}: builds a file of tests/")

for fault in faults:
    print(fault)
if unknown:
    print("layers.sh: folders with sources that the order does not name: " + ", ".join(sorted(unknown)))
    sys.exit(1)
if faults:
    print(f"layering check: {len(faults)} include(s) run upward (order: {' < '.join(order)})")
    sys.exit(1)
print(f"layering check: {len(order)} layers, no include runs upward")
EOF
