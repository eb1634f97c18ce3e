#!/usr/bin/env bash
# The page's start screen in Lighthouse 12 (from npm, run with Debian's
# Chromium), desktop preset, served on loopback with no throttling: the four
# scores, the figures behind Performance, and each audit that did not pass.
# Lighthouse goes into build/lighthouse the first time (npm, about 30 s).
#   bench/lighthouse.sh [SITE]    SITE: the built page (default build-web/site)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
case "${1:-}" in
-h | --help)
  sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
  ;;
esac
site=${1:-$root/build-web/site}
if [ ! -f "$site/index.html" ]; then
  echo "lighthouse: no page at $site (./test or ./run web builds it)" >&2
  exit 1
fi
for tool in node npm /usr/bin/chromium; do
  if ! command -v "$tool" >/dev/null; then
    echo "lighthouse: $tool is missing (./test installs Chromium; node and npm come from Debian)" >&2
    exit 1
  fi
done
tools=$root/build/lighthouse
if [ ! -x "$tools/node_modules/.bin/lighthouse" ]; then
  echo "lighthouse: installing Lighthouse 12 into $tools" >&2
  npm install --prefix "$tools" --no-audit --no-fund --loglevel=error lighthouse@12 >&2
fi
work=$(mktemp -d)
port=$((30000 + $$ % 20000))
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site" >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 1 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.05
done
CHROME_PATH=/usr/bin/chromium "$tools/node_modules/.bin/lighthouse" \
  "http://127.0.0.1:$port/index.html" --preset=desktop --throttling-method=provided \
  --chrome-flags="--headless=new --no-sandbox --use-gl=angle --use-angle=swiftshader --enable-unsafe-swiftshader" \
  --output=json --output-path="$work/report.json" --quiet
[ -n "${VEMU_LIGHTHOUSE_REPORT:-}" ] && cp "$work/report.json" "$VEMU_LIGHTHOUSE_REPORT"
node -e '
const r = require(process.argv[1]);
const score = (c) => r.categories[c].score.toFixed(2);
console.log("Lighthouse " + r.lighthouseVersion + ", desktop, loopback, no throttling: " +
  "Performance " + score("performance") + ", Accessibility " + score("accessibility") +
  ", Best practices " + score("best-practices") + ", SEO " + score("seo"));
const a = r.audits;
const ms = (id) => a[id] && a[id].numericValue !== undefined ? Math.round(a[id].numericValue) + " ms" : "?";
console.log("  first contentful paint " + ms("first-contentful-paint") + ", largest " +
  ms("largest-contentful-paint") + ", total blocking time " + ms("total-blocking-time") +
  ", max potential first input delay " + ms("max-potential-fid") + ", " +
  (a["total-byte-weight"].numericValue / 1e6).toFixed(2) + " MB moved");
for (const c of Object.values(r.categories)) {
  for (const ref of c.auditRefs) {
    const audit = a[ref.id];
    if (ref.weight > 0 && audit.score !== null && audit.score < 0.9) {
      console.log("  " + c.title + ": " + audit.title + " (" + audit.score.toFixed(2) +
        (audit.displayValue ? ", " + audit.displayValue : "") + ")");
    }
  }
}' "$work/report.json"
