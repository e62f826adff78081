#!/usr/bin/env bash
# `qvfleet page` benchmark (not part of CI), with the native Release build it makes in
# build/bench-page, on the two fleets of scripts/bench-fleet.sh:
#   daily: 30 daily reports of 1,000 machines; share: 10,000 reports, one per machine.
# For each it gives the page's size, the time `qvfleet page` takes, and in headless
# Chromium the time from navigation start to a usable page (the overview drawn and the
# drivers filter answering one keystroke) and the time from a keystroke to its rows in
# the drivers and hosts filters, against the budgets: daily 8 MB and 1 s; share 40 MB,
# 3 s and 100 ms a keystroke, `qvfleet page` 10 s.
#
# Usage: scripts/bench-page.sh [WORK]   WORK defaults to /tmp/qvpage-bench; the fleets
# and their indexes are made there once and kept (WORK may be bench-fleet.sh's folder).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-/tmp/qvpage-bench}
source "$root/scripts/bench-lib.sh"
qvfleet=$(bench_build "$root/build/bench-page" qvfleet/qvfleet "${QV_PACKAGES_BROWSER[@]}")
mkdir -p "$work"
cd "$work"

# A fleet and its index are made only when missing: generating and indexing the two
# take minutes, and neither changes with the page.
prepare() {
  local name=$1
  bench_fleet "$@"
  if [[ ! -f $name.db.done ]]; then
    rm -f "$name.db" "$name.db-wal" "$name.db-shm"
    "$qvfleet" index "$name.db" "$name" >/dev/null
    touch "$name.db.done"
  fi
}
prepare daily daily daily --hosts 1000 --days 30
prepare share share share --hosts 10000

echo "load average before: $(cut -d ' ' -f 1-3 /proc/loadavg)"
echo "CPU: $(lscpu | sed -n 's/^Model name: *//p' | head -n 1), $(nproc) cores; $(/usr/bin/chromium --version 2>/dev/null)"
for fleet in daily share; do
  /usr/bin/time -f "%e %M" -o time.txt "$qvfleet" page "$fleet.db" "$fleet.html" >page.out
  read -r seconds kilobytes <time.txt
  printf '== %s: %s\n' "$fleet" "$(cat page.out)"
  printf '%-40s %8.2f s, %.1f MB peak memory\n' "qvfleet page" "$seconds" "$((kilobytes))e-3"
  printf '%-40s %8.1f MB\n' "page size" "$(stat -c %s "$fleet.html")e-6"
  /usr/bin/python3 - "$work/$fleet.html" <<'EOF'
import statistics
import sys
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait

page = sys.argv[1]
# One keystroke after another, as typed, then taken back; each answered in the page's
# own input handler, timed inside the page up to the rows laid out.
TYPE_JS = """
const box = document.getElementById(arguments[0]);
const times = [];
const words = arguments[1];
for (const word of words) {
  for (let n = 1; n <= word.length; n++) times.push(key(word.slice(0, n)));
  for (let n = word.length - 1; n >= 0; n--) times.push(key(word.slice(0, n)));
}
return times;
function key(value) {
  const start = performance.now();
  box.value = value;
  box.dispatchEvent(new Event('input'));
  void document.body.offsetHeight;
  return performance.now() - start;
}
"""
# The same, up to the frame after it drawn: the handler, layout and paint, and the wait
# for the next frame (up to 16 ms at 60 frames a second).
FRAME_JS = """
const [id, words, done] = arguments;
const box = document.getElementById(id);
const values = [];
for (const word of words) {
  for (let n = 1; n <= word.length; n++) values.push(word.slice(0, n));
  for (let n = word.length - 1; n >= 0; n--) values.push(word.slice(0, n));
}
const times = [];
const next = () => {
  if (times.length === values.length) return done(times);
  const start = performance.now();
  box.value = values[times.length];
  box.dispatchEvent(new Event('input'));
  requestAnimationFrame(() => setTimeout(() => { times.push(performance.now() - start); next(); }, 0));
};
next();
"""
# A host chosen by its location, timed to its devices and snapshots laid out: the first
# decodes the devices of every host's details, which the page leaves until then.
HOST_JS = """
const [name, done] = arguments;
const start = performance.now();
window.addEventListener('hashchange', () => {
  void document.body.offsetHeight;
  done([performance.now() - start, document.querySelectorAll('#host-devices tbody tr').length]);
}, { once: true });
location.hash = '#host=' + encodeURIComponent(name);
"""
USABLE_JS = """
const drawn = performance.getEntriesByName('qv-drawn')[0].startTime;
const box = document.getElementById('drivers-filter');
const start = performance.now();
box.value = 'i';
box.dispatchEvent(new Event('input'));
void document.body.offsetHeight;
const answered = performance.now() - start;
box.value = '';
box.dispatchEvent(new Event('input'));
const nav = performance.getEntriesByType('navigation')[0];
return [drawn, answered, nav.responseEnd, start];
"""

options = webdriver.ChromeOptions()
options.binary_location = '/usr/bin/chromium'
for arg in ('--headless=new', '--no-sandbox', '--disable-gpu', '--window-size=1280,900', '--disable-dev-shm-usage'):
    options.add_argument(arg)
browser = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
try:
    usable, drawn_at, read_at, seen_at = [], [], [], []
    for _ in range(5):
        browser.get('about:blank')
        browser.get('file://' + page)
        # The page unpacks its data and draws itself after the document has loaded.
        WebDriverWait(browser, 60).until(lambda _: browser.execute_script('return document.documentElement.dataset.ready'))
        drawn, answered, read, checked = browser.execute_script(USABLE_JS)
        usable.append(drawn + answered)
        drawn_at.append(drawn)
        read_at.append(read)
        seen_at.append(checked)
    line = '{:<40} {:8.0f} ms'
    print(line.format('file read (navigation start to its end)', statistics.median(read_at)))
    print(line.format('overview drawn (from navigation start)', statistics.median(drawn_at)))
    print(line.format('usable: drawn + first keystroke answered', statistics.median(usable)))
    print(line.format('usable as the driver saw it (after load)', statistics.median(seen_at)))
    for box, words in (('drivers-filter', ['intel', 'pci\\ven_8086', '31.0.101']), ('hosts-filter', ['pc-0001', '10.0.22631'])):
        times = browser.execute_script(TYPE_JS, box, words)
        times.sort()
        print('{:<40} {:8.1f} ms median, {:.1f} ms 95th percentile, {:.1f} ms at most ({} keystrokes)'.format(
            f'keystroke to rows, {box}', statistics.median(times), times[int(0.95 * (len(times) - 1))], times[-1], len(times)))
    browser.set_script_timeout(60)
    for box, words in (('drivers-filter', ['intel', 'pci\\ven_8086', '31.0.101']), ('hosts-filter', ['pc-0001', '10.0.22631'])):
        times = sorted(browser.execute_async_script(FRAME_JS, box, words))
        print('{:<40} {:8.1f} ms median, {:.1f} ms 95th percentile, {:.1f} ms at most'.format(
            f'keystroke to next frame, {box}', statistics.median(times), times[int(0.95 * (len(times) - 1))], times[-1]))
    names = browser.execute_script("return [...document.querySelectorAll('#hosts-table tbody th a')].map(a => a.textContent)")
    for label, name in (('first host chosen', names[0]), ('another host chosen', names[-1])):
        took, rows = browser.execute_async_script(HOST_JS, name)
        print('{:<40} {:8.1f} ms ({} device rows drawn)'.format(label, took, rows))
    sort = browser.execute_script("""
        const button = document.querySelectorAll('#hosts-table thead button')[3];
        const start = performance.now(); button.click(); void document.body.offsetHeight;
        return performance.now() - start;""")
    print('{:<40} {:8.1f} ms'.format('hosts sorted by devices', sort))
finally:
    browser.quit()
EOF
done
rm -f time.txt page.out
