#!/usr/bin/python3
"""`qvfleet page` in a real, headless Chromium: the page of a generated fleet against what
`qvfleet hosts`, `drivers`, `behind`, `find`, `changes` and `sql` answer for the same index, its
filters, sorting and locations, and a fleet of hostile reports that must show as text and
run nothing. Debian's selenium belongs to Debian's Python: run with /usr/bin/python3.

Usage: page_browser_test.py QVFLEET FLEET_GENERATE_PY [TEST...]
"""

import base64
import calendar
import collections
import datetime
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import urllib.parse
import zlib

from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

QVFLEET = GENERATOR = WORK = None

# Values a machine of the fleet could put in any text field of its report.
HOSTILE = [
    '<img src=x onerror="window.__pwned=1;alert(1)">',
    '</script><script>window.__pwned=2;alert(2)</script>',
    '"\'><svg onload="window.__pwned=3"> ` \' "',
    'line\u2028separator\u2029paragraph',
    '\u202eexe.thgir-ot-tfel',
    '&lt;b&gt; &amp; &#60;script&#62;',
    '</style><style>body{display:none}</style>',
    '<!--<script>window.__pwned=5</script>-->',
    'javascript:window.__pwned=6',
    '"},{"title":"\\u003cscript\\u003e',
    '<b>' + 'x' * 10000 + '</b>',
]

# Draws every row of a row list (a page at a time, as a user pressing "show more"), then
# reads its cells; a cell that says a value is absent reads as null.
ROWS_JS = """
const table = document.getElementById(arguments[0]);
const list = table.closest('.rowlist');
for (let more = list && list.querySelector('button.more'); more && !more.hidden; ) more.click();
return [...table.tBodies[0].rows].map((tr) => [...tr.cells].map((c) =>
  c.childNodes.length === 1 && c.firstChild.nodeType === 1 && c.firstChild.classList.contains('none')
    ? null : c.textContent));
"""


def qvfleet(*args):
    done = subprocess.run([QVFLEET, *args], capture_output=True, text=True)
    if done.returncode != 0:
        raise AssertionError(f"qvfleet {' '.join(args)} gave {done.returncode}: {done.stderr.strip()}")
    return done.stdout


def tsv(text):
    """The rows of a question's tab-separated answer, header left out; empty fields as ''."""
    return [line.split('\t') for line in text.split('\n')[1:] if line]


def sql_text(value):
    return 'NULL' if value is None else "'" + value.replace("'", "''") + "'"


def set_time(path, when):
    t = calendar.timegm(when.timetuple())
    os.utime(path, (t, t))


def parse_changes(text, descriptions=None):
    """`qvfleet changes` as (newer time, host, kind, instance id) tuples; into `descriptions`,
    the description of each device added or removed, as its lines tell it."""
    out, newer, host = [], None, None
    for line in text.split('\n'):
        word, _, rest = line.partition(' ')
        rest = rest.lstrip(' ')
        if word == 'between':
            _, newer, host = rest.split(' ', 2)
        elif word in ('added', 'removed', 'changed'):
            out.append((newer, host, word, rest))
        elif word in ('old', 'new') and rest.startswith('description=') and descriptions is not None:
            descriptions[out[-1]] = rest[len('description='):]
    return out


def start_browser():
    options = webdriver.ChromeOptions()
    options.binary_location = '/usr/bin/chromium'
    for arg in ('--headless=new', '--no-sandbox', '--disable-gpu', '--window-size=1280,900',
                '--disable-dev-shm-usage'):
        options.add_argument(arg)
    options.set_capability('goog:loggingPrefs', {'browser': 'ALL', 'performance': 'ALL'})
    return webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)


class PageCase(unittest.TestCase):
    """One browser for the class; each test opens the page afresh, and counts the actions a
    user takes on it from there: a link followed, a box typed in, a button pressed."""
    page = None

    @classmethod
    def setUpClass(cls):
        cls.browser = start_browser()

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()

    def open(self, hash_=''):
        url = 'file://' + self.page + hash_
        if self.browser.current_url.split('#')[0] == url.split('#')[0]:
            self.browser.get('about:blank')  # a new hash alone would not load the page again
        # what the page before left in the logs is not this page's
        self.actions = 0
        self.browser.get_log('browser')
        self.browser.get_log('performance')
        self.browser.get(url)
        # the page unpacks its data and draws itself after the document has loaded
        WebDriverWait(self.browser, 30).until(
            lambda _: self.js('return document.documentElement.dataset.ready'), 'the page was never ready')

    def copy_hosts(self, copy_id):
        """Presses the button that copies a host list, and reads the clipboard back by pasting
        it where the test can read it."""
        self.actions += 1
        button = self.js("return document.getElementById(arguments[0]).querySelector('button')", copy_id)
        button.send_keys(Keys.ENTER)
        self.assertIn('Copied', self.js('return arguments[0].nextElementSibling.textContent', button))
        area = self.js("""const a = document.createElement('textarea'); document.body.append(a); a.focus(); return a""")
        area.send_keys(Keys.CONTROL, 'v')
        text = self.js('const a = arguments[0]; a.remove(); return a.value', area)
        self.assertTrue(text.endswith('\n'), 'one host a line')
        return text[:-1].split('\n')

    def js(self, script, *args):
        return self.browser.execute_script(script, *args)

    def rows(self, table_id):
        return self.js(ROWS_JS, table_id)

    def hash(self):
        return urllib.parse.unquote(self.js('return location.hash'))

    def assert_clean(self, what):
        """No error in the browser's log, no request but the page's own file, no dialog."""
        errors = [e['message'] for e in self.browser.get_log('browser') if e['level'] in ('SEVERE', 'WARNING')]
        self.assertEqual(errors, [], f'{what}: the browser logged errors')
        urls = set()
        for entry in self.browser.get_log('performance'):
            message = json.loads(entry['message'])['message']
            if message['method'] == 'Network.requestWillBeSent':
                urls.add(message['params']['request']['url'].split('#')[0])
        self.assertLessEqual(urls, {'file://' + self.page}, f'{what}: the page made requests')
        try:
            text = self.browser.switch_to.alert.text
            self.fail(f'{what}: a dialog opened: {text[:80]!r}')
        except NoAlertPresentException:
            pass
        self.assertIsNone(self.js('return window.__pwned'), f'{what}: an injected script ran')

    def click_link(self, scope_id, text):
        """Chooses the link with exactly this text inside an element, by keyboard."""
        links = [a for a in self.browser.find_element(By.ID, scope_id).find_elements(By.TAG_NAME, 'a')
                 if self.js('return arguments[0].textContent', a) == text]
        self.assertTrue(links, f'no link {text[:60]!r} in #{scope_id}')
        self.follow(links[0])

    def follow(self, link):
        """Presses Enter on a link and waits for the page to take the focus to what it names:
        the page answers a new hash in its own task, after the key's."""
        self.js('arguments[0].scrollIntoView()', link)
        self.actions += 1
        link.send_keys(Keys.ENTER)
        WebDriverWait(self.browser, 5).until(
            lambda _: self.js('return document.activeElement !== arguments[0]', link),
            'the page did not move to what the link names')

    def type_in(self, box_id, text):
        self.actions += 1
        box = self.browser.find_element(By.ID, box_id)
        box.clear()
        self.js("arguments[0].dispatchEvent(new Event('input'))", box)
        box.send_keys(text)


# Hosts last seen this many whole days before the newest snapshot: on each side of every
# boundary of the overview's last-seen buckets.
AGED = tuple((f'OLD-{days}', days) for days in (1, 7, 8, 10, 30, 31, 40))
TWICE = 'PC-00003'


def make_fleet():
    """A daily fleet of 40 hosts over 5 days, with hosts last seen 2 days before the newest
    snapshot and those of AGED, so that every bucket of the overview holds one; TWICE's
    latest report holds its first device's section twice. QV_PAGE_FLEET names an index to
    use instead, such as the benchmark's daily fleet, for the four questions' tests."""
    if 'QV_PAGE_FLEET' in os.environ:
        db = os.path.join(WORK, 'fleet.db')
        shutil.copyfile(os.environ['QV_PAGE_FLEET'], db)
        page = os.path.join(WORK, 'fleet.html')
        qvfleet('page', db, page)
        return db, page
    share = os.path.join(WORK, 'share')
    subprocess.run([sys.executable, GENERATOR, 'daily', share, '--hosts', '40', '--days', '5',
                    '--devices', '120', '--seed', '7'], check=True, capture_output=True)
    for day in ('2026-12-06', '2026-12-07'):
        os.remove(os.path.join(share, 'PC-00002', f'{day}.txt'))
    with open(os.path.join(share, 'PC-00003', '2026-12-03.txt'), encoding='utf-8') as f:
        source = f.read()
    latest = os.path.join(share, TWICE, '2026-12-07.txt')
    with open(latest, encoding='utf-8') as f:
        text = f.read()
    first = text.index('[device]\n')
    with open(latest, 'a', encoding='utf-8', newline='\n') as f:
        f.write(text[first:text.index('[device]\n', first + 1)])
    for name, days in AGED:
        os.makedirs(os.path.join(share, name))
        path = os.path.join(share, name, 'r.txt')
        with open(path, 'w', encoding='utf-8', newline='\n') as f:
            f.write(source.replace('host=PC-00003\n', f'host={name}\n', 1))
        set_time(path, datetime.datetime(2026, 12, 7, 6) - datetime.timedelta(days=days))
    db = os.path.join(WORK, 'fleet.db')
    qvfleet('index', db, share)
    page = os.path.join(WORK, 'fleet.html')
    qvfleet('page', db, page)
    return db, page


def edit_page(page, out, change):
    """A copy of the page with its embedded data changed; the data is no script, so the
    policy's hashes stay right."""
    with open(page, encoding='utf-8') as f:
        text = f.read()
    start = text.index('>', text.index('id="fleet-data"')) + 1
    end = text.index('</script>', start)
    with open(out, 'w', encoding='utf-8') as f:
        f.write(text[:start] + change(text[start:end]) + text[end:])
    return out


def pack(change, packed):
    """The page's data unpacked, changed and packed again as qvfleet packs it."""
    data = json.loads(zlib.decompress(base64.b64decode(packed)))
    change(data)
    return base64.b64encode(zlib.compress(json.dumps(data, separators=(',', ':')).encode(), 6)).decode()


class GeneratedFleet(PageCase):
    @classmethod
    def setUpClass(cls):
        cls.db, cls.page = make_fleet()
        cls.hosts = tsv(qvfleet('hosts', cls.db))
        cls.drivers = tsv(qvfleet('drivers', cls.db))
        cls.descriptions = {}
        cls.changes = parse_changes(qvfleet('changes', cls.db), cls.descriptions)
        super().setUpClass()

    def groups(self, drivers_rows):
        """`qvfleet drivers` rows as {(provider, description): ['version (hosts)']} in its order."""
        out = collections.OrderedDict()
        for provider, description, inf, version, date, hosts in drivers_rows:
            out.setdefault((provider, description), []).append(f'{version} ({hosts})')
        return out

    def page_drivers(self):
        return {(p or '', d if d != '(no description)' else ''): None
                for p, d, *_ in self.rows('drivers-table')}

    def test_totals_and_hosts_agree_with_the_questions(self):
        self.open()
        totals = {r[0]: int(r[1].replace(',', '')) for r in self.js(
            "return [...document.querySelectorAll('#totals tr')].map(r => [r.cells[0].textContent, r.cells[1].textContent])")}
        snapshots = int(tsv(qvfleet('sql', self.db, 'SELECT count(*) FROM snapshot'))[0][0])
        self.assertIn(f'the index\'s {snapshots} snapshots', self.js("return document.querySelector('#overview p').textContent"))
        expected = {'Hosts': len(self.hosts), 'Drivers': len(self.groups(self.drivers)),
                    'Devices without a driver': sum(int(h[6]) for h in self.hosts)}
        self.assertEqual(totals, expected)
        page_hosts = [[c.replace(',', '') for c in r] for r in self.rows('hosts-table')]
        self.assertEqual(page_hosts, [[h[0], h[1], h[2], h[5], h[6]] for h in self.hosts])
        self.assert_clean('the generated fleet')

    def test_driver_bars_agree_with_drivers(self):
        self.open()
        keys = self.page_drivers()
        bars = self.js("""return [...document.querySelectorAll('#drivers-table tbody tr')].map(r =>
            [...r.querySelectorAll('.bar a')].map(a => a.textContent))""")
        self.assertEqual(len(bars), len(keys))
        expected = self.groups(self.drivers)
        for key, versions in expected.items():  # the sixth and older as one part
            if len(versions) > 6:
                hosts = sum(int(v.rsplit(' (', 1)[1][:-1]) for v in versions[5:])
                expected[key] = versions[:5] + [f'{len(versions) - 5} older ({hosts})']
        self.assertEqual(dict(zip(keys, bars)), dict(expected), 'each bar is its driver\'s versions, newest first')
        # the newest version of every driver in one colour, the older ones further along one scale
        colours = self.js("""return [...document.querySelectorAll('#drivers-table tbody .bar')].map(bar =>
            [...bar.children].map(p => Number(/\\bv(\\d)\\b/.exec(p.className)[1])))""")
        for parts in colours:
            self.assertEqual(parts[0], 0, 'the newest version')
            self.assertEqual(parts[1:], [min(k, 5) for k in range(1, len(parts))], 'the older ones')
        # the most versions first, then the most hosts
        counts = [(int(r[2].replace(',', '')), int(r[3].replace(',', ''))) for r in self.rows('drivers-table')]
        self.assertEqual(counts, sorted(counts, reverse=True))
        # each part as wide as its share of the driver's hosts, the parts filling the bar
        bars = self.js("""return [...document.querySelectorAll('#drivers-table tbody .bar')].map(bar =>
            [bar.clientWidth, [...bar.children].map(p => [p.getBoundingClientRect().width,
                                                           parseInt(/\\((\\d+)\\)$/.exec(p.textContent)[1])])])""")
        for width, parts in bars:
            total = sum(n for _, n in parts)
            for got, n in parts:
                # each part is at least 3 px wide, which the others give up
                self.assertAlmostEqual(got, width * n / total, delta=4 + 3 * len(parts), msg=f'a part of {n} of {total} hosts in a bar')

    def test_choosing_a_version_lists_its_hosts(self):
        self.open()
        row = self.js("""const r = [...document.querySelectorAll('#drivers-table tbody tr')].find(r => r.querySelectorAll('.bar a').length > 1);
            return [r.cells[0].textContent, r.cells[1].textContent, r.querySelectorAll('.bar a')[1].textContent]""")
        provider, description, label = row
        version = label.rsplit(' (', 1)[0]
        self.click_link('drivers-table', label)
        self.assertEqual(self.hash(), f'#driver={description}&provider={provider}&version={version}')
        self.assertEqual(self.js('return document.activeElement.id'), 'version-hosts-title')
        listed = self.js("return [...document.querySelectorAll('#version-hosts a')].map(a => a.textContent)")
        query = ('SELECT DISTINCT host FROM latest_device WHERE driver_provider IS {} AND driver_desc = {} '
                 'AND driver_version = {} ORDER BY host').format(
            sql_text(provider), sql_text(description), sql_text(version))
        self.assertEqual(listed, [r[0] for r in tsv(qvfleet('sql', self.db, query))])
        self.assertEqual(f'{version} ({len(listed)})', label)
        # and a host of the list leads to that host, whose devices agree with `find`
        ids = self.js("return [...document.querySelectorAll('#driver-view ul.ids code')].map(c => c.textContent)")
        self.assertTrue(ids, 'the driver shows its matching device ids')
        self.click_link('driver-view', listed[0])
        self.assertEqual(self.hash(), '#host=' + listed[0])
        devices = {tuple(r) for r in self.rows('host-devices')}
        # the ids are the driver's over all its versions: one of them is this host's
        found = [r for id_ in ids for r in tsv(qvfleet('find', self.db, id_)) if r[0] == listed[0]]
        self.assertTrue(found, f'find names {listed[0]} by one of {ids}')
        for host, taken_at, instance_id, description, driver_ver in found:
            self.assertIn((instance_id, description, driver_ver), {d[:3] for d in devices})

    def test_which_hosts_run_an_old_version_of_a_driver(self):
        # the driver with the most hosts behind, as an administrator would look for it by name
        (provider, description), _ = collections.Counter(
            (r[1], r[2]) for r in tsv(qvfleet('behind', self.db))).most_common(1)[0]
        behind = [r for r in tsv(qvfleet('behind', self.db, description))
                  if (r[1], r[2]) == (provider, description)]
        self.assertTrue(behind, 'the driver has hosts behind its newest version')
        self.open()
        self.type_in('drivers-filter', description)  # 1
        row = self.js("""return [...document.querySelectorAll('#drivers-table tbody tr')].find(r =>
            r.cells[0].textContent === arguments[0] && r.cells[1].textContent === arguments[1]).cells[4].textContent""",
                      provider, description)
        self.assertEqual(int(row), len({r[0] for r in behind}), 'the column of hosts behind')
        self.click_link('drivers-table', description)  # 2
        self.assertEqual(self.hash(), f'#driver={description}&provider={provider}&drivers={description}')
        expected = sorted({r[0] for r in behind})
        # a long list is drawn a page at a time; the copy holds all of it
        listed = self.js("return [...document.querySelectorAll('#behind-hosts a')].map(a => a.textContent)")
        self.assertEqual(listed, expected[:len(listed)])
        self.assertEqual(self.copy_hosts('behind-hosts-copy'), expected)  # 3
        self.assertLessEqual(self.actions, 3)
        self.assert_clean('a driver\'s hosts behind')

    def test_which_hosts_stopped_reporting(self):
        newest = datetime.datetime.fromisoformat(max(h[1] for h in self.hosts)[:-1])
        before = (newest - datetime.timedelta(days=30)).date().isoformat()
        stopped = [r[0] for r in tsv(qvfleet('hosts', self.db, '--seen-before', before))]
        self.assertTrue(stopped)
        self.open()
        self.follow(self.browser.find_element(By.CSS_SELECTOR, '#seen a[href="#seen=older"]'))  # 1
        self.assertEqual(sorted(self.copy_hosts('hosts-copy')), sorted(stopped))  # 2
        self.assertLessEqual(self.actions, 3)
        self.assert_clean('the hosts that stopped reporting')

    def test_which_hosts_have_a_device_without_a_driver(self):
        self.open()
        description, hwid, count = self.rows('no-driver-table')[0]
        description = '' if description == '(no description)' else description
        expected = sorted({r[0] for r in tsv(qvfleet('nodriver', self.db))
                           if (r[2], r[3]) == (description, hwid or '')})
        self.assertEqual(int(count), len(expected))
        link = self.browser.find_element(By.CSS_SELECTOR, '#no-driver-table tbody a')
        self.follow(link)  # 1
        self.assertEqual(self.copy_hosts('kind-hosts-copy'), expected)  # 2
        self.assertLessEqual(self.actions, 3)
        self.assert_clean('the hosts of a device without a driver')

    def test_back_forward_and_reload_restore_filter_sort_and_last_seen(self):
        self.open()
        self.type_in('hosts-filter', 'old')
        select = self.browser.find_element(By.ID, 'hosts-seen')
        select.send_keys('1')  # "1 to 7 days ago"
        sort = self.browser.find_elements(By.CSS_SELECTOR, '#hosts-table thead th')[3].find_element(By.TAG_NAME, 'button')
        sort.send_keys(Keys.ENTER)
        newest = datetime.datetime.fromisoformat(max(h[1] for h in self.hosts)[:-1])
        week = [h[0] for h in self.hosts if h[0].startswith('OLD')
                and 1 <= (newest - datetime.datetime.fromisoformat(h[1][:-1])).days <= 7]
        states = [  # (hash, box, last seen, host names in the table)
            ('', '', '', [h[0] for h in self.hosts]),
            ('#hosts=old', 'old', '', [h[0] for h in self.hosts if h[0].startswith('OLD')]),
            ('#seen=week&hosts=old', 'old', 'week', sorted(week)),
            ('#seen=week&hosts=old&hosts-sort=devices.desc', 'old', 'week', None),
        ]
        shown = lambda: (self.hash(), self.js("return document.getElementById('hosts-filter').value"),
                         self.js("return document.getElementById('hosts-seen').value"))
        def check(state):
            self.assertEqual(shown(), state[:3])
            names = [r[0] for r in self.rows('hosts-table')]
            if state[3] is not None:
                self.assertEqual(names, state[3])
            else:
                devices = [int(r[3].replace(',', '')) for r in self.rows('hosts-table')]
                self.assertEqual(devices, sorted(devices, reverse=True))
                self.assertEqual(sorted(names), sorted(week))
        check(states[-1])
        for state in reversed(states[:-1]):
            self.browser.back()
            check(state)
        for state in states[1:]:
            self.browser.forward()
            check(state)
        self.browser.refresh()
        check(states[-1])
        self.assert_clean('back, forward and reload')

    def test_filters_narrow_the_rows(self):
        self.open()
        every = self.groups(self.drivers)
        by_version = lambda text: {k for k, v in every.items() if any(text in label for label in v)}
        cases = [  # (box, typed, the rows it must leave)
            ('drivers-filter', 'intel', set(self.groups(tsv(qvfleet('drivers', self.db, 'intel'))))),
            ('drivers-filter', 'INTEL', set(self.groups(tsv(qvfleet('drivers', self.db, 'intel'))))),
            ('drivers-filter', 'pci\\cc_0', set(self.groups(tsv(qvfleet('drivers', self.db, 'PCI\\CC_0'))))),
            ('drivers-filter', self.drivers[0][3], by_version(self.drivers[0][3])),
            ('drivers-filter', 'no driver has this', set()),
            ('hosts-filter', 'pc-0001', {h[0] for h in self.hosts if 'PC-0001' in h[0]}),
            ('hosts-filter', self.hosts[0][2], {h[0] for h in self.hosts if self.hosts[0][2] in h[2]}),
            ('hosts-filter', 'OLD', {name for name, _ in AGED}),
            # a hardware or compatible id, whole or as a prefix, as `find` finds it
            ('hosts-filter', 'usb\\vid_0bda*', {r[0] for r in tsv(qvfleet('find', self.db, 'USB\\VID_0BDA*'))}),
            ('hosts-filter', 'monitor\\LGD06A5', {r[0] for r in tsv(qvfleet('find', self.db, 'MONITOR\\LGD06A5'))}),
        ]
        for box, typed, expected in cases:
            with self.subTest(box=box, typed=typed):
                self.type_in(box, typed)
                if box == 'drivers-filter':
                    got = set(self.page_drivers())
                else:
                    got = {r[0] for r in self.rows('hosts-table')}
                self.assertEqual(got, expected)
                self.assertLess(len(got), len(every) if box == 'drivers-filter' else len(self.hosts))
                self.type_in(box, '')

    def test_sorting_by_a_header(self):
        self.open()
        cases = [  # (table, column, values as numbers, first order)
            ('hosts-table', 3, True, 'descending'),
            ('hosts-table', 1, False, 'ascending'),
            ('drivers-table', 4, True, 'descending'),
            ('drivers-table', 3, True, 'descending'),
            ('drivers-table', 1, False, 'ascending'),
        ]
        for table, column, numeric, first in cases:
            with self.subTest(table=table, column=column):
                button = self.browser.find_elements(By.CSS_SELECTOR, f'#{table} thead th')[column].find_element(By.TAG_NAME, 'button')
                for order in (first, 'ascending' if first == 'descending' else 'descending'):
                    button.send_keys(Keys.ENTER)
                    values = [r[column] for r in self.rows(table)]
                    if numeric:
                        values = [int(v.replace(',', '')) for v in values]
                    self.assertEqual(values, sorted(values, reverse=order == 'descending'), order)
                    self.assertEqual(self.js('return arguments[0].closest("th").getAttribute("aria-sort")', button), order)

    def test_last_seen_buckets_lead_to_their_hosts(self):
        newest = max(h[1] for h in self.hosts)
        age = lambda t: (datetime.datetime.fromisoformat(newest[:-1]) - datetime.datetime.fromisoformat(t[:-1])).days
        cases = [('today', lambda a: a == 0), ('week', lambda a: 1 <= a <= 7),
                 ('month', lambda a: 8 <= a <= 30), ('older', lambda a: a > 30)]
        self.open()
        counts = [int(a.text) for a in self.browser.find_elements(By.CSS_SELECTOR, '#seen a')]
        self.assertEqual(sum(counts), len(self.hosts), 'each host in one bucket')
        for key, test in cases:
            with self.subTest(bucket=key):
                expected = [h[0] for h in self.hosts if test(age(h[1]))]
                self.assertTrue(expected)
                link = self.browser.find_element(By.CSS_SELECTOR, f'#seen a[href="#seen={key}"]')
                self.assertEqual(link.text, str(len(expected)))
                self.follow(link)
                self.assertEqual(self.hash(), f'#seen={key}')
                self.assertEqual([r[0] for r in self.rows('hosts-table')], expected)
                self.assertEqual(self.js("return document.getElementById('hosts-seen').value"), key)

    def test_changes_agree_with_changes(self):
        self.open()
        per_day = collections.Counter((t[:10], kind) for t, _, kind, _ in self.changes)
        days = self.rows('days-table')
        self.assertTrue(days)
        for day, added, removed, changed in days:
            self.assertEqual((int(added), int(removed), int(changed)),
                             (per_day[day, 'added'], per_day[day, 'removed'], per_day[day, 'changed']), day)
        self.assertEqual(sum(int(n) for d in days for n in d[1:]), len(self.changes))
        # every change, newest first, as `changes` lists them; an added or removed device
        # described as its lines tell it
        latest = self.rows('changes-table')
        self.assertEqual([tuple(r[:4]) for r in latest], self.changes)
        described = [(tuple(r[:4]), r[4]) for r in latest if tuple(r[:4]) in self.descriptions]
        self.assertGreater(len(described), len(latest) // 2)
        self.assertEqual(described, [(c, self.descriptions[c]) for c, _ in described])
        self.assertEqual(self.js("return document.querySelector('#changes-table caption').textContent"),
                         'The changes, newest first')
        # a change leads to its host, whose snapshots hold it
        taken_at, host, kind = latest[0][:3]
        self.click_link('changes-table', host)
        self.assertEqual(self.hash(), '#host=' + host)
        self.assertEqual(self.js("return document.getElementById('host-view-title').textContent"), 'Host ' + host)
        self.assertEqual(self.js('return document.activeElement.id'), 'host-view-title')
        snapshots = {r[0]: r for r in self.rows('host-snapshots')}
        self.assertGreater(int(snapshots[taken_at][1 + ['devices', 'added', 'removed', 'changed'].index(kind)]), 0)

    def test_the_changes_narrow_to_a_day_and_a_host(self):
        day = max(t for t, *_ in self.changes)[:10]
        host = collections.Counter(h for t, h, *_ in self.changes if t.startswith(day)).most_common(1)[0][0]
        self.open()
        self.follow(self.browser.find_element(By.CSS_SELECTOR, f'svg.chart a[href="#day={day}"]'))
        self.assertEqual(self.hash(), f'#day={day}')
        self.assertEqual({r[0][:10] for r in self.rows('changes-table')}, {day})
        self.type_in('changes-filter', host)
        self.assertEqual(self.hash(), f'#changes={host}&day={day}')
        expected = [c for c in self.changes if c[0].startswith(day) and c[1] == host]
        self.assertEqual([tuple(r[:4]) for r in self.rows('changes-table')], expected)
        # an older day, and a host on any day, hold all their changes too
        older = min(t for t, *_ in self.changes)[:10]
        self.assertLess(older, day)
        self.open(f'#day={older}')
        expected = [c for c in self.changes if c[0].startswith(older)]
        self.assertEqual([tuple(r[:4]) for r in self.rows('changes-table')], expected)
        self.open('#changes=' + urllib.parse.quote(host))
        self.assertEqual([tuple(r[:4]) for r in self.rows('changes-table')],
                         parse_changes(qvfleet('changes', self.db, '--host', host)))
        self.assert_clean('the changes of a day and a host')

    def test_a_host_shows_its_devices_and_snapshots(self):
        host = TWICE  # a device of its latest report is listed as often as it stands there
        self.open('#host=' + urllib.parse.quote(host))
        query = ('SELECT instance_id, description, driver_ver, driver_provider, driver_inf, class_guid, copies '
                 'FROM latest_device WHERE host = {} ORDER BY instance_id').format(sql_text(host))
        expected = [[c if c != '' else None for c in r[:6]] for r in tsv(qvfleet('sql', self.db, query))
                    for _ in range(int(r[6]))]
        got = [[c if c != 'no driver' else None for c in r] for r in self.rows('host-devices')]
        self.assertEqual(len(got), int(next(h[5] for h in self.hosts if h[0] == host)))
        self.assertEqual([r[0] for r in got], [r[0] for r in expected])
        self.assertEqual([r[2:] for r in got], [r[2:] for r in expected])
        query = ('SELECT s.taken_at, r.devices FROM snapshot AS s JOIN report AS r USING (report_id) JOIN host AS h '
                 'ON h.host_id = s.host_id WHERE h.name = {} ORDER BY s.mtime_ns DESC').format(sql_text(host))
        pairs = collections.Counter((t, kind) for t, h, kind, _ in self.changes if h == host)
        expected = [[t, n, str(pairs[t, 'added']), str(pairs[t, 'removed']), str(pairs[t, 'changed'])]
                    for t, n in tsv(qvfleet('sql', self.db, query))]
        self.assertEqual(self.rows('host-snapshots'), expected)
        self.open('#host=NO-SUCH-HOST')
        self.assertEqual(self.js("return document.getElementById('host-view-title').textContent"),
                         'No host named NO-SUCH-HOST in this page')
        self.assert_clean('a host chosen')

    def host_changes(self):
        """The host view's changes as `changes --host` prints them."""
        return ''.join(self.js("""return [...document.querySelectorAll('#host-view ol.pairs li')].map(li => {
            const [older, newer] = [...li.querySelectorAll('time')].map(t => t.textContent);
            const pre = li.querySelector('pre');
            return `between   ${older} ${newer} ${arguments[0]}\\n` + (pre ? pre.textContent : 'left out\\n');
          })""", self.js("return document.querySelector('#host-view-title bdi').textContent")))

    def test_what_changed_on_a_host(self):
        host = max(self.hosts, key=lambda h: sum(1 for c in self.changes if c[1] == h[0]))[0]
        self.open()
        self.type_in('hosts-filter', host)  # 1
        self.click_link('hosts-table', host)  # 2
        self.assertLessEqual(self.actions, 3)
        self.assertEqual(self.host_changes(), qvfleet('changes', self.db, '--host', host))
        self.assert_clean('a host\'s changes')

    def lean_page(self, name, change):
        """The page of a fleet over its budget, made from this one: the data is no script, so
        the policy's hashes stay right."""
        return edit_page(self.page, os.path.join(WORK, name), lambda packed: pack(change, packed))

    def test_over_its_budget_the_page_keeps_the_newest_changes_and_says_so(self):
        host = max(self.hosts, key=lambda h: sum(1 for c in self.changes if c[1] == h[0]))[0]
        reason = 'The changes of the oldest 9 pairs of snapshots, up to one taken at 2026-12-05T06:00:00Z, are left out.'
        def change(data):
            for details in data['host_details']:
                for snapshot in details['snapshots']:
                    if snapshot[0] <= '2026-12-05T06:00:00Z':
                        snapshot[5] = snapshot[6] = None
            data['details_left_out'] = reason
        self.page = self.lean_page('budget.html', change)
        self.open('#host=' + urllib.parse.quote(host))
        self.assertIn(reason, self.js("return document.getElementById('left-out').textContent"))
        expected = qvfleet('changes', self.db, '--host', host).split('between   ')
        got = self.host_changes().split('between   ')
        self.assertEqual(len(got), len(expected))
        for pair, wanted in zip(got[1:], expected[1:]):
            newer = pair.split(' ', 2)[1:2]
            self.assertEqual(pair, wanted if newer > ['2026-12-05T06:00:00Z'] else wanted.split('\n')[0] + '\nleft out\n')
        self.assertIn('left out\n', got[-1], 'the oldest pair left out')
        self.assertNotIn('left out\n', got[1], 'the newest pair kept')
        # the changes table holds the kept pairs' changes, and says how far back they go
        kept = [c for c in self.changes if c[0] > '2026-12-05T06:00:00Z']
        self.assertLess(len(kept), len(self.changes))
        self.assertEqual([tuple(r[:4]) for r in self.rows('changes-table')], kept)
        self.assertIn(f'back to the oldest pair this page holds, taken at {kept[-1][0]}',
                      self.js("return document.querySelector('#changes-table caption').textContent"))
        self.assert_clean('a page over its budget')

    def test_a_page_it_cannot_read_says_so_in_a_sentence(self):
        damaged = edit_page(self.page, os.path.join(WORK, 'damaged.html'), lambda packed: packed[:len(packed) // 2])
        cases = [  # (page, a script run before the page's, the sentence)
            (damaged, None, 'The data of this page cannot be read: the file is damaged.'),
            (self.page, 'delete window.DecompressionStream;', 'This browser cannot unpack the data of this page'),
        ]
        for page, before, sentence in cases:
            with self.subTest(sentence=sentence):
                added = before and self.browser.execute_cdp_cmd(
                    'Page.addScriptToEvaluateOnNewDocument', {'source': before})
                try:
                    self.page = page
                    self.open()
                finally:
                    if added:
                        self.browser.execute_cdp_cmd('Page.removeScriptToEvaluateOnNewDocument',
                                                     {'identifier': added['identifier']})
                self.assertEqual(self.js('return document.documentElement.dataset.ready'), 'unreadable')
                self.assertTrue(self.js("return document.getElementById('unreadable').textContent").startswith(sentence))
                self.assertEqual(self.js("return document.querySelectorAll('main, table').length"), 0)
                self.assert_clean('a page it cannot read')

    def test_a_fleet_without_changes_says_so_instead_of_a_chart(self):
        def change(data):  # one snapshot a host: days, and no change on any
            data['days'] = [[d[0], 0, 0, 0] for d in data['days']]
        self.page = self.lean_page('unchanged.html', change)
        self.open()
        self.assertEqual(self.js("return document.querySelectorAll('svg.chart, #days-table').length"), 0)
        self.assertIn('No device changed between two snapshots of a host.',
                      self.js("return document.getElementById('changes').textContent"))
        self.assert_clean('a fleet without changes')

    def test_a_page_without_host_details_says_why(self):
        reason = 'The devices and snapshots of each host would make the page 99 MB.'
        def change(data):
            data['host_details'], data['details_left_out'] = None, reason
        self.page, host = self.lean_page('lean.html', change), self.hosts[1]
        self.open('#host=' + urllib.parse.quote(host[0]))
        self.assertEqual(self.js("return document.getElementById('host-view-title').textContent"), 'Host ' + host[0])
        self.assertIn(reason, self.js("return document.querySelector('#host-view .left-out').textContent"))
        self.assertEqual(self.js("return document.querySelectorAll('#host-devices, #host-snapshots').length"), 0)
        self.assertEqual(self.rows('changes-table'), [])
        self.assertIn('this page holds none', self.js("return document.querySelector('#changes-table caption').textContent"))
        self.assertIn('qvfleet changes --host NAME', self.js("return document.querySelector('#changes-table caption').textContent"))
        self.assert_clean('a page without host details')

    def test_narrow_printed_and_dark_pages_stay_readable(self):
        cut = """return [...document.querySelectorAll('#drivers-table thead th, #hosts-table thead th, #hosts-table tbody th a')]
            .filter(e => e.scrollWidth > e.clientWidth + 1 || e.getClientRects().length > 1).map(e => e.textContent)"""
        emulate = lambda media, scheme: self.browser.execute_cdp_cmd('Emulation.setEmulatedMedia', {
            'media': media, 'features': [{'name': 'prefers-color-scheme', 'value': scheme}]})
        try:
            self.browser.set_window_size(420, 900)
            self.open()
            self.assertEqual(self.js(cut), [], 'headers and host names whole at 420 px')
            # the chart's last day label stands inside the chart
            right = self.js("const t = [...document.querySelectorAll('svg.chart text')].pop(); const b = t.getBBox(); return b.x + b.width")
            self.assertLessEqual(right, 720)
            self.browser.set_window_size(1280, 900)
            emulate('print', 'light')
            part = self.js("""const s = getComputedStyle(document.querySelector('.bar .part'));
                return [s.color, s.backgroundColor]""")
            self.assertEqual(part, ['rgb(0, 0, 0)', 'rgb(255, 255, 255)'], 'printed labels black on white')
            # on paper every table says how many of its rows it shows
            said = self.js("""return [...document.querySelectorAll('.rowlist')].map((l) => {
                const s = l.querySelector('p.status'); return s.getClientRects().length ? s.textContent : ''; })""")
            self.assertTrue(said and all(t.startswith(('Showing ', 'No ')) for t in said), said)
            emulate('screen', 'dark')
            ink, paper = self.js("const s = getComputedStyle(document.body); return [s.color, s.backgroundColor]")
            level = lambda rgb: sum(int(n) for n in rgb[rgb.index('(') + 1:-1].split(',')[:3])
            self.assertGreater(level(ink), level(paper), 'light text on a dark page')
        finally:
            emulate('', '')
            self.browser.set_window_size(1280, 900)
        self.assert_clean('reading')

    def test_tables_and_boxes_are_labelled(self):
        first = self.drivers[0]
        self.open(f'#driver={urllib.parse.quote(first[1])}&provider={urllib.parse.quote(first[0])}&version={first[3]}')
        problems = self.js("""const out = [];
            for (const t of document.querySelectorAll('table')) {
              if (!t.caption || !t.caption.textContent.trim()) out.push('a table without a caption: ' + t.id);
              for (const th of t.querySelectorAll('th')) if (!th.getAttribute('scope')) out.push('a header without scope in ' + t.id);
              if (t.tHead && !t.tHead.querySelector('th')) out.push('no header cells in ' + t.id);
            }
            for (const box of document.querySelectorAll('input, select'))
              if (!document.querySelector(`label[for="${box.id}"]`)) out.push('no label for ' + box.id);
            for (const e of document.querySelectorAll('[onclick], div[role=button], span[role=button]')) out.push('a clickable non-control');
            const chart = document.querySelector('svg.chart');
            if (!chart || chart.getAttribute('role') !== 'img') out.push('no chart image');
            return out""")
        self.assertEqual(problems, [])


class OneMoreDay(PageCase):
    """The links of one day's page, opened in the page of the same fleet a day later."""

    @classmethod
    def setUpClass(cls):
        share, later = os.path.join(WORK, 'days'), os.path.join(WORK, 'days-later')
        subprocess.run([sys.executable, GENERATOR, 'daily', later, '--hosts', '12', '--days', '3',
                        '--devices', '80', '--seed', '11'], check=True, capture_output=True)
        last = max(name for host in os.listdir(later) for name in os.listdir(os.path.join(later, host)))
        shutil.copytree(later, share, ignore=lambda folder, names: [n for n in names if n == last],
                        copy_function=shutil.copy2)
        cls.db = os.path.join(WORK, 'days.db')
        cls.before = os.path.join(WORK, 'days-before.html')
        qvfleet('index', cls.db, share)
        qvfleet('page', cls.db, cls.before)
        cls.after = os.path.join(WORK, 'days-after.html')
        qvfleet('index', cls.db, later)
        qvfleet('page', cls.db, cls.after)
        super().setUpClass()

    def view(self):
        return self.js("""return [...document.querySelectorAll('.panel:not([hidden])')].map(p =>
            [p.querySelector('h3').textContent, p.querySelector('tr.chosen th')?.textContent ?? null])""")

    def test_a_driver_and_a_host_keep_their_links(self):
        self.page = self.before
        self.open()
        links = self.js("""return [document.querySelector('#drivers-table .bar a:last-child'),
            document.querySelector('#hosts-table tbody a')].map(a => a.getAttribute('href'))""")
        views = []
        for link in links:
            self.open(link)
            views.append(self.view())
            self.assertEqual(len(views[-1]), 1, link)
        self.page = self.after
        for link, view in zip(links, views):
            with self.subTest(link=link):
                self.open(link)
                self.assertEqual(self.view(), view)
        self.assert_clean('links a day later')


def hostile_report(value, driver_version, extra):
    lines = ['qvdev1', f'host={value}', f'os={value}', 'arch=amd64', 'server=0',
             '[device]', f'instance_id={value}', f'description={value}', f'hwid={value}', f'cid={value}',
             f'driver_ver=2024-01-02 {driver_version}', f'driver_desc={value}', f'driver_provider={value}',
             f'driver_inf={value}', 'driver_ext=.NTamd64', f'driver_matching_id={value}',
             '[device]', f'instance_id=NODRV\\{value}', f'description={value}', f'hwid={value}']
    if extra:
        lines += ['[device]', f'instance_id=ADDED\\{value}', f'description={value}', 'hwid=USB\\ADDED']
    return '\n'.join(lines) + '\n'


class HostileFleet(PageCase):
    """Every text field of every report holds markup, quotes, separators, an override."""

    @classmethod
    def setUpClass(cls):
        share = os.path.join(WORK, 'hostile')
        for n, value in enumerate(HOSTILE):
            folder = os.path.join(share, str(n))
            os.makedirs(folder)
            for day, version, extra in ((6, '1.0.0.0', False), (7, '1.2.3.4', True)):
                path = os.path.join(folder, f'{day}.txt')
                with open(path, 'w', encoding='utf-8', newline='\n') as f:
                    f.write(hostile_report(value, version, extra))
                set_time(path, datetime.datetime(2026, 12, day, 6))
        cls.db = os.path.join(WORK, 'hostile.db')
        qvfleet('index', cls.db, share)
        cls.page = os.path.join(WORK, 'hostile.html')
        cls.title = HOSTILE[0] + HOSTILE[1]
        qvfleet('page', cls.db, cls.page, '--title', cls.title)
        super().setUpClass()

    def test_the_embedded_data_cannot_end_its_container(self):
        with open(self.page, encoding='utf-8') as f:
            text = f.read()
        self.assertEqual(text.lower().count('</script'), 2, 'only the page\'s own two scripts end')
        self.assertEqual(text.lower().count('<script'), 2)
        self.assertNotIn('\u2028', text)
        self.assertNotIn('\u2029', text)

    def test_every_value_shows_as_text_and_nothing_runs(self):
        self.open()
        self.assertEqual(self.js('return document.title'), self.title)
        self.assertEqual(self.js("return document.querySelector('h1').textContent"), self.title)
        self.assertEqual(self.js('return document.scripts.length'), 2)
        self.assertEqual(self.js("return document.querySelectorAll('img, iframe, object, embed, body style, b, "
                                 "[onerror], [onload], a[href^=javascript]').length"), 0)
        expected = sorted(HOSTILE, key=lambda v: v.encode())
        hosts = self.rows('hosts-table')
        self.assertEqual([r[0] for r in hosts], expected, 'host names')
        self.assertEqual([r[2] for r in hosts], expected, 'OS')
        drivers = sorted(self.rows('drivers-table'), key=lambda r: r[1].encode())
        self.assertEqual([r[:2] for r in drivers], [[v, v] for v in expected], 'provider, description')
        no_driver = self.rows('no-driver-table')
        self.assertEqual(sorted((r[0], r[1]) for r in no_driver if r[1] != 'USB\\ADDED'),
                         sorted((v, v) for v in expected))
        changes = self.rows('changes-table')
        self.assertEqual(sorted({r[1] for r in changes}), sorted(expected), 'the changes\' hosts')
        self.assertEqual({r[4] for r in changes}, set(expected), 'the changes\' descriptions')
        self.assert_clean('the hostile fleet')

    def test_each_host_opens_with_its_values_literally(self):
        self.open()
        for value in HOSTILE:
            with self.subTest(value=value[:40]):
                self.click_link('hosts-table', value)
                self.assertEqual(self.hash(), '#host=' + value)
                self.assertEqual(self.js("return document.getElementById('host-view-title').textContent"), 'Host ' + value)
                devices = self.rows('host-devices')
                self.assertIn([value, value, '2024-01-02 1.2.3.4', value, value, None], devices)
                self.assertIn(['NODRV\\' + value, value, None, None, None, None], devices)
        self.assert_clean('every hostile host opened')

    def test_each_driver_version_opens(self):
        self.open()
        for value in HOSTILE:
            with self.subTest(driver=value[:40]):
                quoted = urllib.parse.quote(value, safe='')
                self.open(f'#driver={quoted}&provider={quoted}&version=1.2.3.4')
                listed = self.js("return [...document.querySelectorAll('#driver-view ul.hostlist a')].map(a => a.textContent)")
                provider = self.js("return document.querySelector('#driver-view-title bdi').textContent")
                self.assertEqual(listed, [provider])
                self.assertEqual(self.rows('driver-versions'), [['1.2.3.4', '2024-01-02', value, '1']], 'version, date, INF')
                self.assertEqual(self.js("return [...document.querySelectorAll('#driver-view ul.ids code')].map(c => c.textContent)"),
                                 [provider])
        self.assert_clean('every hostile driver opened')

    def test_each_kind_without_a_driver_and_its_changes_open(self):
        for value in HOSTILE:
            with self.subTest(kind=value[:40]):
                quoted = urllib.parse.quote(value, safe='')
                self.open(f'#kind={quoted}&hwid={quoted}&changes={quoted}')
                self.assertEqual(self.js("return [...document.querySelectorAll('#kind-hosts a')].map(a => a.textContent)"), [value])
                self.assertEqual(self.js("return document.querySelector('#kind-view-title bdi').textContent"), value)
                self.assertEqual({r[1] for r in self.rows('changes-table')}, {value}, 'the changes of the host named')
        self.assert_clean('every hostile kind opened')


def main():
    global QVFLEET, GENERATOR, WORK
    if len(sys.argv) < 3:
        print(__doc__.strip().split('\n')[-1], file=sys.stderr)
        return 2
    QVFLEET, GENERATOR = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    WORK = tempfile.mkdtemp(prefix='qvfleet-page-')
    try:
        # further arguments name test classes or methods, as unittest takes them
        program = unittest.main(argv=[sys.argv[0], '-v', *sys.argv[3:]], exit=False)
        # Every index the tests wrote, checked as the shell tests check theirs.
        check = subprocess.run([os.path.join(os.path.dirname(QVFLEET), 'qvfleet_check'), WORK],
                               capture_output=True, text=True)
        print('index check: ' + check.stdout.strip(), file=sys.stderr)
        return 0 if program.result.wasSuccessful() and check.returncode == 0 else 1
    finally:
        shutil.rmtree(WORK, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
