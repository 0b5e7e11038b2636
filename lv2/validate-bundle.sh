#!/usr/bin/env bash
# Checks a built LV2 bundle the way hosts read it:
#   - serdi parses every .ttl (lv2_validate only prints syntax errors; serdi fails on them);
#   - lv2_validate (sord_validate against the LV2 vocabularies) finds 0 errors;
#   - lilv (lv2info) loads every plugin from a plugin path holding only this bundle, with no error,
#     and lists at least two presets for each.
#   validate-bundle.sh BUNDLE_DIR
set -euo pipefail
bundle=$(cd "$1" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

shopt -s nullglob
ttl=("$bundle"/*.ttl)
[ ${#ttl[@]} -gt 1 ] || fail "$bundle holds no Turtle"
for file in "${ttl[@]}"; do
  serdi -i turtle "$file" >/dev/null 2>"$work/serdi.log" || fail "serdi cannot parse $file: $(cat "$work/serdi.log")"
done

lv2_validate "${ttl[@]}" >"$work/validate.log" 2>&1 || true
grep -q '^Found 0 errors' "$work/validate.log" || { cat "$work/validate.log"; fail "lv2_validate reports errors"; }

mkdir "$work/path"
ln -s "$bundle" "$work/path/$(basename "$bundle")"
uris=$(sed -n 's/^<\(urn:[^>#]*\)>$/\1/p' "$bundle/manifest.ttl")
[ -n "$uris" ] || fail "the manifest names no plugin"
for uri in $uris; do
  LV2_PATH="$work/path" lv2info "$uri" >"$work/info.log" 2>"$work/info.err" || fail "lv2info $uri failed: $(cat "$work/info.err")"
  [ ! -s "$work/info.err" ] || fail "lv2info $uri: $(cat "$work/info.err")"
  grep -q "^$uri\$" "$work/info.log" || fail "lv2info does not know $uri"
  presets=$(awk '/Presets:/ { listing = 1; next } listing && NF == 0 { exit } listing { n++ } END { print n + 0 }' "$work/info.log")
  [ "$presets" -ge 2 ] || fail "lv2info lists $presets presets for $uri, not at least 2"
done
echo "LV2 bundle valid: ${#ttl[@]} Turtle files, $(wc -w <<<"$uris") plugins"
