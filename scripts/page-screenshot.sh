#!/usr/bin/env bash
# Makes docs/fleet-page.png, the picture of `qvfleet page` in docs/fleet.md and the README:
# the page of a demo fleet drawn by headless Chromium in a window of 1280 by 1400 pixels;
# beside it fleet-page-driver.png, the driver with the most hosts behind its newest
# version chosen, and fleet-page-host.png, a host's changes.
# The demo fleet is scripts/fleet_generate.py's daily fleet of 60 machines over 40 days
# (seed 3, 120 devices each), of which three stopped reporting 3, 12 and 35 days before
# the last day, so that the overview shows every age of "last seen".
#
# Usage: scripts/page-screenshot.sh [OUT.png]   (default docs/fleet-page.png)
# QVFLEET=path/to/qvfleet takes that program instead of building one.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs/fleet-page.png}
source "$root/scripts/bench-lib.sh"
qvfleet=${QVFLEET:-$(bench_build "$root/build/bench-page" qvfleet/qvfleet "${QV_PACKAGES_BROWSER[@]}")}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$root/scripts/fleet_generate.py" daily "$work/share" --hosts 60 --days 40 --devices 120 --seed 3 2>/dev/null
# Machines that stopped reporting: their last reports taken away.
for gone in PC-00007:3 PC-00023:12 PC-00041:35; do
  host=${gone%:*}
  for ((day = 0; day < ${gone#*:}; day++)); do
    rm "$work/share/$host/$(date -u -d "2026-12-07 - $day days" +%F).txt"
  done
done
"$qvfleet" index "$work/fleet.db" "$work/share" >/dev/null
"$qvfleet" page "$work/fleet.db" "$work/fleet.html" --title "Demo fleet"

/usr/bin/python3 - "$work/fleet.html" "$out" <<'EOF'
import sys
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait

page, out = sys.argv[1], sys.argv[2]
options = webdriver.ChromeOptions()
options.binary_location = '/usr/bin/chromium'
for arg in ('--headless=new', '--no-sandbox', '--disable-gpu', '--hide-scrollbars',
            '--window-size=1280,1400', '--force-device-scale-factor=1'):
    options.add_argument(arg)
browser = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
# The page unpacks its data and draws itself after the document has loaded.
ready = lambda: WebDriverWait(browser, 30).until(
    lambda _: browser.execute_script('return document.documentElement.dataset.ready'))
try:
    browser.set_window_size(1280, 1400)
    browser.get('file://' + page)
    ready()
    if not browser.save_screenshot(out):
        sys.exit(f"Couldn't write the screenshot {out}.")
    # The driver with the most hosts behind, and a host's changes, each at its view.
    behind = browser.execute_script("""return [...document.querySelectorAll('#drivers-table tbody tr')]
        .sort((a, b) => Number(b.cells[4].textContent.replace(/,/g, '')) - Number(a.cells[4].textContent.replace(/,/g, '')))[0]
        .querySelector('th a').getAttribute('href')""")
    for view, scroll_to, name in ((behind, 'behind-hosts-title', 'driver'), ('#host=PC-00001', 'host-changes-title', 'host')):
        browser.get('about:blank')
        browser.get('file://' + page + view)
        ready()
        browser.execute_script('document.getElementById(arguments[0]).scrollIntoView()', scroll_to)
        shot = out[:-len('.png')] + f'-{name}.png'
        if not browser.save_screenshot(shot):
            sys.exit(f"Couldn't write the screenshot {shot}.")
finally:
    browser.quit()
EOF
echo "wrote $out and its -driver and -host pictures"
