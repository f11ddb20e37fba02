#!/usr/bin/env bash
# Fails when the configure step uses a CMake package or pkg-config file whose Debian package
# install-deps.sh neither lists nor pulls in as a dependency, so that a package installed by hand
# on one machine cannot hide a missing install step on a fresh one.
#   scripts/check-packages.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scratch=$(mktemp -d /tmp/velmora-packages.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

# Every file the configure step (CMake and the pkg-config it starts) opened successfully.
strace -f -q -e trace=openat -o "$scratch/trace" \
  cmake -S . -B "$scratch/build" -G Ninja -DVELMORA_BENCH=ON >"$scratch/configure.log" 2>&1 ||
  { cat "$scratch/configure.log"; exit 1; }
# A pkg-config asked for a module that is not there reads every .pc file while it looks: the
# opens of processes that failed are not uses.
awk '$2 == "+++" && $3 == "exited" && $5 != 0 { print $1 }' "$scratch/trace" | sort -u >"$scratch/failed"
grep -v ' = -1 ' "$scratch/trace" | grep -E '^[0-9]+ +openat' |
  awk 'NR == FNR { failed[$1] = 1; next } !($1 in failed)' "$scratch/failed" - |
  grep -oE '"[^"]+\.(cmake|pc)"' | tr -d '"' |
  grep -E '^/usr/' | sort -u >"$scratch/files" || true
if [ ! -s "$scratch/files" ]; then
  echo "Could not tell which files the configure step opened (no openat lines in the trace)."
  exit 1
fi

# The Debian packages those files belong to (files of no package, such as CMake's own
# generated ones, are not a dependency).
{ cat "$scratch/files"; xargs -r realpath -e <"$scratch/files" 2>/dev/null; } | sort -u >"$scratch/paths"
xargs -r dpkg -S <"$scratch/paths" 2>/dev/null | grep -v '^diversion' |
  sed -E 's/^([^:,]+)[^ ]* /\1 /' | sort -u >"$scratch/used" || true

# The packages install-deps.sh names, and everything they depend on among installed packages.
sed -n '/^pkgs=(/,/^)/p' scripts/install-deps.sh | sed '1d;$d' | sed 's/#.*//' | tr -s ' \t' '\n' |
  grep -v '^$' >"$scratch/listed"
dpkg-query -W -f='${Package}\t${Provides}\t${Depends}, ${Pre-Depends}\n' >"$scratch/db"
awk -F'\t' '
  NR == FNR { want[$1] = 1; next }
  {
    pkg = $1; n = split($2, prov, /, */)
    for (i = 1; i <= n; i++) { p = prov[i]; sub(/ .*/, "", p); if (p != "") provider[p] = provider[p] " " pkg }
    deps[pkg] = $3
  }
  END {
    for (p in want) queue[++tail] = p
    head = 1
    while (head <= tail) {
      p = queue[head++]
      if (p in seen) continue
      seen[p] = 1
      if (p in provider) { m = split(provider[p], ps, " "); for (i = 1; i <= m; i++) queue[++tail] = ps[i] }
      n = split(deps[p], alts, /[,|] */)
      for (i = 1; i <= n; i++) {
        d = alts[i]; sub(/^ +/, "", d); sub(/[ (].*/, "", d); sub(/:.*/, "", d)
        if (d != "") queue[++tail] = d
      }
    }
    for (p in seen) print p
  }' "$scratch/listed" "$scratch/db" | sort -u >"$scratch/covered"

missing=$(awk 'NR == FNR { ok[$1] = 1; next } !($1 in ok) { print $1 " (" $2 ")" }' \
  "$scratch/covered" "$scratch/used" | sort -u -k1,1)
if [ -n "$missing" ]; then
  echo "The configure step uses packages that scripts/install-deps.sh does not install:"
  echo "$missing"
  exit 1
fi
echo "Every package the configure step uses ($(cut -d' ' -f1 "$scratch/used" | sort -u | wc -l)) is installed by scripts/install-deps.sh."
