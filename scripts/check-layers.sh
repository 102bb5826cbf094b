#!/usr/bin/env bash
# Fails when a file under src/ includes a header of a layer above its own, or of
# a sibling layer. Layers, bottom to top (folders on one line are siblings and
# must not include each other):
#
#   util
#   image
#   volume
#   fs            (the files of src/fs itself: the common parser base)
#   fs/<each folder of src/fs but factory> (one per file system, found here)
#   fs/factory
#   browse raw
#   app
#   ui cli        (ui/qt belongs to ui)
#
# The layer of a file is that of its folder; the layer of an included "..." path
# is that of the folder it names (relative to src/, or to the including file's
# folder when it has none). Includes in <...> and folders outside the table are
# not looked at. Usage: scripts/check-layers.sh [source-root]
set -euo pipefail

root=${1:-"$(cd "$(dirname "$0")/.." && pwd)"}
cd "$root/src"

# Every folder of src/fs except factory is a file system's layer.
parsers=$(for d in fs/*/; do d=${d%/}; [ "$d" = fs/factory ] || printf '%s ' "$d"; done)

{ grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' --include='*.h' --include='*.hpp' \
    --include='*.cpp' --include='*.cc' . || true; } |
awk -v parsers="$parsers" '
BEGIN {
    # folder -> rank; the rank orders the layers, equal ranks are siblings
    n = split("util:0 image:1 volume:2 fs:3 fs/factory:5 browse:6 raw:6 app:7 ui:8 cli:8", rows, " ")
    for (i = 1; i <= n; i++) {
        split(rows[i], kv, ":")
        rank[kv[1]] = kv[2]
    }
    n = split(parsers, folders, " ")
    for (i = 1; i <= n; i++) rank[folders[i]] = 4
    bad = 0
}
# The table folder a path lies in: the longest folder of the table that is a
# prefix of it ("fs/ntfs/x" is in fs/ntfs, "fs/x" in fs); "" when none.
function layerOf(folder,    f) {
    f = folder
    while (f != "") {
        if (f in rank) return f
        if (index(f, "/") == 0) return ""
        sub(/\/[^\/]*$/, "", f)
    }
    return ""
}
# Folder part of a path ("a/b/c.h" -> "a/b"; "c.h" -> "").
function dirOf(path) {
    if (index(path, "/") == 0) return ""
    sub(/\/[^\/]*$/, "", path)
    return path
}
# Resolves "." and ".." in a relative path.
function normal(path,    parts, m, i, out, k, j) {
    m = split(path, parts, "/")
    k = 0
    for (i = 1; i <= m; i++) {
        if (parts[i] == "" || parts[i] == ".") continue
        if (parts[i] == "..") { if (k > 0) k--; continue }
        out[++k] = parts[i]
    }
    path = ""
    for (j = 1; j <= k; j++) path = path (j > 1 ? "/" : "") out[j]
    return path
}
{
    # ./fs/ntfs/ntfs.h:12:#include "fs/Parser.h"
    colon = index($0, ":")
    file = substr($0, 3, colon - 3)
    rest = substr($0, colon + 1)
    line = substr(rest, 1, index(rest, ":") - 1)
    included = rest
    sub(/^[^"]*"/, "", included)
    sub(/".*$/, "", included)

    from = layerOf(dirOf(file))
    if (from == "") next
    if (index(included, "/") == 0 || included ~ /^\.\.?\//) {
        target = normal(dirOf(file) "/" included)
    } else {
        target = normal(included)
    }
    to = layerOf(dirOf(target))
    if (to == "" || to == from) next
    if (rank[to] > rank[from]) {
        printf "src/%s:%s: layer %s includes \"%s\" of the higher layer %s\n", file, line, from, included, to
        bad = 1
    } else if (rank[to] == rank[from]) {
        printf "src/%s:%s: layer %s includes \"%s\" of the sibling layer %s\n", file, line, from, included, to
        bad = 1
    }
}
END { exit bad }
' && echo "check-layers: every include of src/ points to its own or a lower layer"
