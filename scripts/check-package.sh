#!/usr/bin/env bash
# Builds the Debian package from the normal build, checks it with lintian (no errors allowed),
# unpacks it into a scratch root and runs the unpacked kestrova-cli there: on a real game file
# when ../shared/realdata is present, and over the unpacked plug-ins, so that a package that lost a
# file fails.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

cmake --build "$build" --target package
deb=$(ls -t "$build"/kestrova_*.deb | head -n 1)
echo "Package: $deb ($(du -k "$deb" | cut -f1) KiB)"

lint=$(lintian --fail-on none "$deb" 2>&1 | grep -v 'running with root privileges' || true)
[[ -n $lint ]] && echo "$lint"
if grep -q '^E:' <<<"$lint"; then
  echo "lintian reports errors" >&2
  exit 1
fi

root=$build/package-root
rm -rf "$root"
dpkg -x "$deb" "$root"
cli=$root/usr/bin/kestrova-cli
plugins=$root/usr/lib/kestrova/Plugins

# Every plug-in that the build made is in the package, loads, and has the five entry points every
# plug-in must have (SetPluginContext is optional).
expected=$(cd "$build/run/Plugins" && find . -name '*.plg' | sort)
packaged=$(cd "$plugins" && find . -name '*.plg' | sort)
if [[ $expected != "$packaged" ]]; then
  echo "The package's plug-ins differ from the run folder's:" >&2
  diff <(echo "$expected") <(echo "$packaged") >&2 || true
  exit 1
fi
"$cli" plugins --dir "$plugins" --json >"$build/package-plugins.json"
python3 - "$build/package-plugins.json" <<'PY'
import json, sys
table = json.load(open(sys.argv[1]))
required = ("GetData", "AssetChanged", "CreatePluginDialog", "ExportData", "ImportData")
bad = [p["descriptor"] for p in table
       if not p["loaded"] or not all(p["entryPoints"].get(name) for name in required)]
if bad:
    sys.exit("plug-ins that do not load whole from the package: " + ", ".join(bad))
print(f"{len(table)} plug-ins load from the package")
PY

# The unpacked editor runs as an installed one, started as its menu entry starts it (by its bare
# name through PATH, from some other folder): in the user's folder, with the installed plug-ins
# linked in, and it comes up, shows its window and closes normally.
home=$(mktemp -d)
bin=$(cd "$root/usr/bin" && pwd)
mkdir "$home/elsewhere"
(cd "$home/elsewhere" && PATH=$bin:$PATH XDG_DATA_HOME=$home QT_QPA_PLATFORM=offscreen \
  KESTROVA_SCREENSHOT=$home/shot.png kestrova >/dev/null 2>&1)
for made in shot.png kestrova/preferences kestrova/Plugins/installed; do
  if [[ ! -e $home/$made ]]; then
    echo "The unpacked editor did not make $made in its user folder" >&2
    exit 1
  fi
done
if [[ -n $(ls -A "$home/elsewhere") ]]; then
  echo "The unpacked editor wrote into the folder it was started from" >&2
  exit 1
fi
echo "The unpacked editor ran in its user folder with the installed plug-ins linked in"
rm -rf "$home"

real=../shared/realdata/ld24_Ludum_Data_resources.assets
if [[ -f $real ]]; then
  "$cli" list "$real" | head -n 3
  # The unpacked tool finds the unpacked plug-ins by itself, also when started by its bare name.
  out=$(mktemp -d)
  real=$(realpath "$real")
  (cd "$out" && PATH=$bin:$PATH kestrova-cli export "$real" --all --type Texture2D --as png -d png) |
    tail -n 1
  rm -rf "$out"
else
  echo "No real files: the unpacked kestrova-cli lists its plug-ins only."
fi
