'use strict';
// The fleet page draws itself from the JSON that qvfleet embeds beside this script.
// Every value comes from report files any machine could have written, so text reaches
// the document only as text nodes and attributes, never as markup.
(async () => {
  // The JSON comes compressed in zlib's format, in base64: a fleet's changes repeat
  // themselves, and packed they take a sixth of the room. Blob, Response and
  // DecompressionStream read it from memory, which the page's policy allows.
  async function fleetData() {
    const text = atob(document.getElementById('fleet-data').textContent);
    const bytes = new Uint8Array(text.length);
    for (let i = 0; i < text.length; i++) bytes[i] = text.charCodeAt(i);
    const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate'));
    return JSON.parse(await new Response(stream).text());
  }
  let DATA;
  try {
    DATA = await fleetData();
  } catch {
    // A plain sentence rather than a blank page; it is the page's own text.
    const p = document.createElement('p');
    p.id = 'unreadable';
    p.textContent = typeof DecompressionStream === 'undefined'
      ? 'This browser cannot unpack the data of this page: open it in a recent Chrome, Edge, Firefox or Safari.'
      : 'The data of this page cannot be read: the file is damaged. Make it again with qvfleet page.';
    document.body.append(p);
    document.documentElement.dataset.ready = 'unreadable';
    return;
  }
  // Long tables are drawn a page at a time: every keystroke in a filter draws its rows
  // anew, and laying out 200 rows of drivers, each bar a part per version, took 50 to
  // 190 ms on a 2-core machine.
  const PAGE_ROWS = 100;
  const DRIVER_ROWS = 50;
  const SVG_NS = 'http://www.w3.org/2000/svg';
  const hosts = DATA.hosts;
  const drivers = DATA.drivers;
  // Lists of ascending numbers come as the first and then each one's distance from the
  // one before, which takes half the room in a large fleet's page.
  const rising = (list) => {
    let n = 0;
    return list.map((step) => (n += step));
  };
  for (const d of drivers) for (const v of d[2]) v[4] = rising(v[4]);
  for (const kind of DATA.no_driver) kind[2] = rising(kind[2]);
  // The devices of the hosts' details, decoded when a host is first chosen: each
  // instance id comes as how much it shares with the one before and the rest, its other
  // texts (version, provider, INF, class) as places in DATA.texts (-1: none).
  let deviceRows = null;
  function devicesOf(details) {
    if (deviceRows === null) {
      const texts = DATA.texts;
      let before = '';
      const text = (n) => (n < 0 ? null : texts[n]);
      deviceRows = DATA.states.map(([shared, rest, description, ...others]) => {
        before = before.slice(0, shared) + rest;
        return [before, texts[description], ...others.slice(0, 4).map(text)];
      });
    }
    return rising(details.devices);
  }
  const hostByName = new Map(hosts.map((h, i) => [h[0], i]));
  // Text sorts as qvfleet sorts it, by code, so the page and the questions agree.
  const byCode = (a, b) => (a < b ? -1 : a > b ? 1 : 0);

  // One formatter for the whole page: toLocaleString makes a new one at every call.
  const fmt = new Intl.NumberFormat('en-US').format;
  const plural = (n, one, many) => `${fmt(n)} ${n === 1 ? one : many}`;
  const hostLink = (h) => `#host=${encodeURIComponent(hosts[h][0])}`;
  // A report may name no host; its link still needs text to be seen and chosen.
  const hostName = (h) => (hosts[h][0] === '' ? '(no name)' : hosts[h][0]);

  function append(parent, ...kids) {
    for (const kid of kids) {
      if (kid === null || kid === undefined || kid === false) continue;
      if (Array.isArray(kid)) append(parent, ...kid);
      else parent.appendChild(typeof kid === 'object' ? kid : document.createTextNode(String(kid)));
    }
  }

  // Attributes are set one by one from a fixed list of names in this file; none is an
  // event handler.
  function el(tag, attrs, ...kids) {
    const e = document.createElement(tag);
    for (const [k, v] of Object.entries(attrs || {})) {
      if (v === null || v === undefined || v === false) continue;
      e.setAttribute(k, v === true ? '' : String(v));
    }
    append(e, ...kids);
    return e;
  }

  function svg(tag, attrs, ...kids) {
    const e = document.createElementNS(SVG_NS, tag);
    for (const [k, v] of Object.entries(attrs || {})) e.setAttribute(k, String(v));
    append(e, ...kids);
    return e;
  }

  // A value shown inside running text keeps its own direction: a right-to-left
  // override in a host name must not turn the sentence around it.
  const bdi = (text) => el('bdi', null, text);
  const orNone = (v) => (v === null ? el('span', { class: 'none' }, 'none') : v);

  const slug = (label) => label.toLowerCase().replace(/[^a-z0-9]+/g, '-');

  // A sortable, filterable table of many rows, drawn a page of rows at a time.
  class RowList {
    constructor({ id, caption, noun, columns, items, row, filter, pageRows = PAGE_ROWS, onSort }) {
      Object.assign(this, { id, noun, columns, items, row, filter, pageRows, onSort });
      this.sortColumn = -1; // -1: the order the data came in
      this.descending = false;
      this.shown = pageRows;
      this.view = items;
      this.tbody = el('tbody');
      this.headers = columns.map((c, i) => this.header(c, i));
      this.table = el('table', { id },
        el('caption', null, caption),
        el('thead', null, el('tr', null, this.headers)),
        this.tbody);
      this.status = el('p', { class: 'status', 'aria-live': 'polite', id: `${id}-status` });
      this.more = el('button', { type: 'button', class: 'more' });
      this.more.addEventListener('click', () => { this.shown += this.pageRows; this.draw(false); });
      this.element = el('div', { class: 'rowlist' }, el('div', { class: 'scroll' }, this.table),
        el('div', { class: 'under' }, this.status, this.more));
      this.update();
    }

    header(column, i) {
      const th = el('th', { scope: 'col', class: column.num ? 'num' : null });
      if (!column.key) {
        append(th, column.label);
        return th;
      }
      const button = el('button', { type: 'button', class: 'sort' }, column.label,
        el('span', { class: 'arrow', 'aria-hidden': 'true' }));
      button.addEventListener('click', () => this.sortBy(i));
      th.appendChild(button);
      return th;
    }

    sortBy(i) {
      if (this.sortColumn === i) this.descending = !this.descending;
      else {
        this.sortColumn = i;
        this.descending = Boolean(this.columns[i].num);
      }
      this.showSort();
      this.update();
      if (this.onSort) this.onSort();
    }

    showSort() {
      this.headers.forEach((th, j) => {
        const arrow = th.querySelector('.arrow');
        if (j === this.sortColumn) th.setAttribute('aria-sort', this.descending ? 'descending' : 'ascending');
        else th.removeAttribute('aria-sort');
        if (arrow) arrow.textContent = j === this.sortColumn ? (this.descending ? ' ▼' : ' ▲') : '';
      });
    }

    // The sort as the address names it, "devices.desc"; none for the data's own order.
    get sortText() {
      if (this.sortColumn < 0) return undefined;
      return `${slug(this.columns[this.sortColumn].label)}.${this.descending ? 'desc' : 'asc'}`;
    }

    // Takes the address's sort without drawing; the caller updates.
    set sortText(text) {
      const at = (text ?? '').lastIndexOf('.');
      const name = text?.slice(0, at);
      this.sortColumn = at < 0 ? -1 : this.columns.findIndex((c) => c.key && slug(c.label) === name);
      this.descending = this.sortColumn >= 0 && text.slice(at + 1) === 'desc';
      this.showSort();
    }

    // Filters and sorts again; called on every keystroke, so it does only what it must.
    update() {
      let view = this.filter ? this.items.filter(this.filter) : this.items.slice();
      if (this.sortColumn >= 0) {
        const { key, num } = this.columns[this.sortColumn];
        const sign = this.descending ? -1 : 1;
        const cmp = num ? (a, b) => key(a) - key(b) : (a, b) => byCode(key(a) ?? '', key(b) ?? '');
        view = view.map((item, order) => ({ item, order }));
        view.sort((a, b) => sign * cmp(a.item, b.item) || a.order - b.order);
        view = view.map((e) => e.item);
      }
      this.view = view;
      this.shown = this.pageRows;
      this.draw(true);
    }

    // Anew after a filter or a sort; else only the rows that "show more" adds.
    draw(anew) {
      const count = Math.min(this.shown, this.view.length);
      const rows = document.createDocumentFragment();
      for (let i = anew ? 0 : this.tbody.rows.length; i < count; i++) rows.appendChild(this.row(this.view[i]));
      if (anew) this.tbody.replaceChildren(rows);
      else this.tbody.appendChild(rows);
      const of = this.view.length === this.items.length ? '' : ` (of ${fmt(this.items.length)})`;
      this.status.textContent = this.view.length === 0
        ? `No ${this.noun[1]}${of}.`
        : `Showing ${fmt(count)} of ${plural(this.view.length, ...this.noun)}${of}.`;
      const left = this.view.length - count;
      this.more.hidden = left <= 0;
      this.more.textContent = `Show ${fmt(Math.min(left, this.pageRows))} more`;
    }
  }

  // The first keystroke in a box makes a new entry in the history, the next ones
  // change it, so that Back undoes the typing as a whole.
  function filterBox(id, label, placeholder, onText) {
    const input = el('input', { type: 'search', id, autocomplete: 'off', spellcheck: 'false', placeholder });
    input.addEventListener('input', () => {
      onText(input.value.toLowerCase());
      if (record(typingIn === id ? 'replace' : 'push')) typingIn = id;
    });
    const set = (text) => {
      input.value = text;
      onText(text.toLowerCase());
    };
    return { input, set, element: el('p', { class: 'filter' }, el('label', { for: id }, label), ' ', input) };
  }

  function section(id, title, ...kids) {
    return el('section', { id, 'aria-labelledby': `${id}-title` },
      el('h2', { id: `${id}-title`, tabindex: '-1' }, title), kids);
  }

  // A view that the location's hash opens: a heading to move the focus to, and a body.
  function panel(id) {
    const heading = el('h3', { id: `${id}-title`, tabindex: '-1' });
    const body = el('div');
    const element = el('section', { id, class: 'panel', 'aria-labelledby': `${id}-title`, hidden: true }, heading, body);
    return { element, heading, body };
  }

  // --- overview -------------------------------------------------------------------

  const SEEN = [
    ['today', 'Today', (a) => a === 0],
    ['week', '1 to 7 days ago', (a) => a >= 1 && a <= 7],
    ['month', '8 to 30 days ago', (a) => a >= 8 && a <= 30],
    ['older', 'More than 30 days ago', (a) => a > 30],
  ];

  function overview() {
    const t = DATA.totals;
    const totals = el('table', { id: 'totals' }, el('caption', null, 'The fleet in its latest snapshots'),
      el('tbody', null, [
        ['Hosts', t.hosts], ['Drivers', t.drivers], ['Devices without a driver', t.no_driver],
      ].map(([label, n]) => el('tr', null, el('th', { scope: 'row' }, label), el('td', { class: 'num' }, fmt(n))))));
    const seen = el('table', { id: 'seen' },
      el('caption', null, 'Hosts by when they were last seen'),
      el('thead', null, el('tr', null, el('th', { scope: 'col' }, 'Last seen'), el('th', { scope: 'col', class: 'num' }, 'Hosts'))),
      el('tbody', null, SEEN.map(([key, label, test]) => {
        const n = hosts.reduce((sum, h) => sum + (test(h[5]) ? 1 : 0), 0);
        return el('tr', null, el('th', { scope: 'row' }, label),
          el('td', { class: 'num' }, el('a', { href: `#seen=${key}`, 'aria-label': `${fmt(n)} hosts last seen ${label.toLowerCase()}` }, fmt(n))));
      })));
    const when = DATA.newest === null
      ? 'The index holds no snapshot yet.'
      : ['As of ', el('time', null, DATA.newest), `, the newest of the index's ${plural(t.snapshots, 'snapshot', 'snapshots')}.`];
    const leftOut = DATA.details_left_out === null ? null : el('p', { class: 'left-out', id: 'left-out' }, DATA.details_left_out,
      ' The index answers for all of it: qvfleet changes --host NAME.');
    return section('overview', 'Overview', el('p', null, when), leftOut, el('div', { class: 'pair' }, totals, seen));
  }

  // --- drivers --------------------------------------------------------------------

  // Each driver as [provider, description, versions, matching ids], a version as
  // [version, date, INF, behind the newest (1) or not (0), hosts].
  // The distinct hosts of some of a driver's versions: a host may run two at once.
  function distinctHosts(versions) {
    const seen = new Set();
    for (const v of versions) for (const h of v[4]) seen.add(h);
    return [...seen].sort((a, b) => a - b);
  }
  const driverHosts = drivers.map((d) => distinctHosts(d[2]).length);
  const behindOf = (i) => distinctHosts(drivers[i][2].filter((v) => v[3]));
  const behindCount = drivers.map((_, i) => behindOf(i).length);
  const driverText = drivers.map((d) =>
    [d[0] ?? '', d[1], ...d[2].map((v) => `${v[0]}\n${v[2] ?? ''}`), ...d[3]].join('\n').toLowerCase());
  // A driver is named by its text, so that a link stays valid when more reports are
  // indexed; a driver without a provider has no provider part.
  const driverKey = (provider, description) => JSON.stringify([provider, description]);
  const driverByKey = new Map(drivers.map((d, i) => [driverKey(d[0], d[1]), i]));
  const driverHash = (i, k) => {
    const d = drivers[i];
    return `#driver=${encodeURIComponent(d[1])}${d[0] === null ? '' : `&provider=${encodeURIComponent(d[0])}`}` +
      (k === undefined ? '' : `&version=${encodeURIComponent(d[2][k][0])}`);
  };
  // The newest version that hosts run has one colour on every row; older ones go
  // along one scale by their place behind it.
  const versionClass = (v, k) => `part v${v[3] ? Math.min(k, 5) : 0}`;

  // A bar shows the newest versions each as a part and the older ones together: a
  // driver may have hundreds, and laying out 50 rows of them took 300 ms a keystroke.
  // Its view lists them all.
  const BAR_PARTS = 6;

  function versionBar(i) {
    const versions = drivers[i][2];
    const total = versions.reduce((sum, v) => sum + v[4].length, 0);
    const bar = el('div', { class: 'bar', role: 'group', 'aria-label': `Versions of ${drivers[i][1]}` });
    const part = (href, className, title, label, hosts) => {
      const a = el('a', { href, class: className, title }, label);
      a.style.width = `${(100 * hosts) / total}%`;
      bar.appendChild(a);
    };
    const shown = versions.length > BAR_PARTS ? BAR_PARTS - 1 : versions.length;
    versions.slice(0, shown).forEach((v, k) => part(driverHash(i, k), versionClass(v, k),
      `${v[0]}${v[1] ? `, ${v[1]}` : ''}: ${plural(v[4].length, 'host', 'hosts')}`, `${v[0]} (${fmt(v[4].length)})`, v[4].length));
    if (shown < versions.length) {
      const older = versions.slice(shown);
      const hosts = older.reduce((sum, v) => sum + v[4].length, 0);
      part(driverHash(i), `part v${BAR_PARTS - 1}`, `${older.length} older versions, from ${older[0][0]} to ${older[older.length - 1][0]}`,
        `${fmt(older.length)} older (${fmt(hosts)})`, hosts);
    }
    return bar;
  }

  let driverNeedle = '';
  const driverList = new RowList({
    id: 'drivers-table',
    caption: 'Drivers by provider and description, with the hosts that run each version, newest version first',
    noun: ['driver', 'drivers'],
    pageRows: DRIVER_ROWS,
    onSort: () => sorted(),
    items: drivers.map((_, i) => i),
    filter: (i) => driverNeedle === '' || driverText[i].includes(driverNeedle),
    columns: [
      { label: 'Provider', key: (i) => drivers[i][0] },
      { label: 'Description', key: (i) => drivers[i][1] },
      { label: 'Versions', key: (i) => drivers[i][2].length, num: true },
      { label: 'Hosts', key: (i) => driverHosts[i], num: true },
      { label: 'Behind', key: (i) => behindCount[i], num: true },
      { label: 'Hosts by version, newest first' },
    ],
    row: (i) => {
      const d = drivers[i];
      return el('tr', null,
        el('td', null, orNone(d[0])),
        el('th', { scope: 'row' }, el('a', { href: driverHash(i) }, d[1] === '' ? '(no description)' : d[1])),
        el('td', { class: 'num' }, fmt(d[2].length)),
        el('td', { class: 'num' }, fmt(driverHosts[i])),
        el('td', { class: 'num' }, fmt(behindCount[i])),
        el('td', { class: 'bars' }, versionBar(i)));
    },
  });
  const driverPanel = panel('driver-view');

  // A list of hosts taken out as text, one name a line, in one click: by the
  // document's own copy command, which a page opened from a file may use on a click
  // where the clipboard's API asks for a permission.
  function copyHosts(id, label, list) {
    const note = el('span', { class: 'copied', 'aria-live': 'polite' });
    const button = el('button', { type: 'button', class: 'copy' }, label);
    button.addEventListener('click', () => {
      const names = list();
      const area = el('textarea', { readonly: true, class: 'copying', 'aria-hidden': 'true' });
      area.value = names.map((h) => `${hosts[h][0]}\n`).join('');
      document.body.appendChild(area);
      area.select();
      const copied = document.execCommand('copy');
      area.remove();
      button.focus();
      note.textContent = copied ? ` Copied ${plural(names.length, 'host name', 'host names')}, one a line.`
        : ' This browser did not let the page copy.';
    });
    return el('span', { class: 'copy', id }, button, note);
  }

  function hostListItems(list) {
    return list.map((h) => el('li', null, el('a', { href: hostLink(h) }, hostName(h))));
  }

  // A list of hosts that may run to thousands: drawn a page at a time, like the tables.
  function hostList(list, label, id) {
    const ul = el('ul', { class: 'hostlist', id, 'aria-label': label });
    let shown = 0;
    const more = el('button', { type: 'button', class: 'more' });
    const draw = () => {
      const next = Math.min(list.length, shown + PAGE_ROWS);
      append(ul, hostListItems(list.slice(shown, next)));
      shown = next;
      more.hidden = shown >= list.length;
      more.textContent = `Show ${fmt(Math.min(PAGE_ROWS, list.length - shown))} more of ${fmt(list.length)}`;
    };
    more.addEventListener('click', draw);
    draw();
    return [copyHosts(id && `${id}-copy`, `Copy the ${plural(list.length, 'host name', 'host names')}`, () => list), ul, more];
  }

  function showDriver(i, k) {
    const d = drivers[i];
    const { heading, body } = driverPanel;
    body.replaceChildren();
    if (d === undefined) {
      heading.textContent = 'No such driver in this page';
      return;
    }
    heading.replaceChildren('Driver ', bdi(d[1]), ' by ', d[0] === null ? 'no provider' : bdi(d[0]));
    const versions = el('table', { id: 'driver-versions' }, el('caption', null, 'Its versions, newest first'),
      el('thead', null, el('tr', null, ['Version', 'Date', 'INF', 'Hosts'].map((t, j) => el('th', { scope: 'col', class: j === 3 ? 'num' : null }, t)))),
      el('tbody', null, d[2].map((v, j) => el('tr', { class: j === k ? 'chosen' : null },
        el('th', { scope: 'row' }, el('a', { href: driverHash(i, j), 'aria-current': j === k ? 'true' : null }, v[0])),
        el('td', null, orNone(v[1])), el('td', null, orNone(v[2])), el('td', { class: 'num' }, fmt(v[4].length))))));
    append(body, el('div', { class: 'scroll' }, versions));
    if (d[3].length) {
      append(body, el('p', null, 'Matching device ids: '),
        el('ul', { class: 'ids' }, d[3].map((id) => el('li', null, el('code', null, id)))));
    }
    const v = d[2][k];
    if (v) {
      append(body, el('h4', { id: 'version-hosts-title', tabindex: '-1' }, 'Hosts running version ', bdi(v[0]),
        v[1] ? ` of ${v[1]}` : '', `: ${fmt(v[4].length)}`),
      hostList(v[4], `Hosts running version ${v[0]}`, 'version-hosts'));
    } else if (k !== undefined) {
      append(body, el('p', null, 'This driver has no such version.'));
    }
    const behind = behindOf(i);
    append(body, el('h4', { id: 'behind-hosts-title', tabindex: '-1' }, 'Hosts behind its newest version, ',
      bdi(d[2][0][0]), `: ${fmt(behind.length)}`),
    behind.length ? hostList(behind, `Hosts behind version ${d[2][0][0]}`, 'behind-hosts') : null);
  }

  const driverBox = filterBox('drivers-filter', 'Filter drivers', 'provider, description, version, INF or device id',
    (text) => { driverNeedle = text; driverList.update(); });

  function drivers_() {
    const box = driverBox;
    return section('drivers', 'Drivers',
      el('p', null, 'Drivers with the most versions and the most hosts come first; a header sorts by its column. ' +
        'Each bar is split by version, each part as wide as its share of the hosts; choose one to list its hosts.'),
      driverPanel.element, box.element, driverList.element);
  }

  // --- hosts ----------------------------------------------------------------------

  let hostNeedle = '';
  let seenTest = null;
  const hostText = hosts.map((h) => `${h[0]}\n${h[2]}`.toLowerCase());
  // The hosts with a device of a hardware or compatible id, as `find` finds them: the
  // whole id without regard to ASCII case, or its beginning before a final '*'.
  const asciiLower = (text) => text.replace(/[A-Z]+/g, (c) => c.toLowerCase());
  let idsLower = null;
  let hostDevices = null;
  let idHosts = { needle: null, hosts: new Set() };
  function hostsWithId(needle) {
    if (idHosts.needle === needle) return idHosts.hosts;
    const found = new Set();
    idHosts = { needle, hosts: found };
    const prefix = needle.endsWith('*') ? needle.slice(0, -1) : null;
    if (!DATA.host_details || needle === '' || prefix === '') return found;
    idsLower ??= DATA.ids.map(asciiLower);
    const ids = new Set();
    idsLower.forEach((id, n) => { if (prefix === null ? id === needle : id.startsWith(prefix)) ids.add(n); });
    if (ids.size === 0) return found;
    const states = new Set();
    DATA.states.forEach((state, n) => { if (rising(state[7]).some((id) => ids.has(id))) states.add(n); });
    hostDevices ??= DATA.host_details.map((details) => rising(details.devices));
    hostDevices.forEach((devices, h) => { if (devices.some((d) => states.has(d))) found.add(h); });
    return found;
  }
  const hostList_ = new RowList({
    id: 'hosts-table',
    caption: 'Hosts and their latest snapshot',
    noun: ['host', 'hosts'],
    onSort: () => sorted(),
    items: hosts.map((_, i) => i),
    filter: (i) => (seenTest === null || seenTest(hosts[i][5])) &&
      (hostNeedle === '' || hostText[i].includes(hostNeedle) || hostsWithId(hostNeedle).has(i)),
    columns: [
      { label: 'Host', key: (i) => hosts[i][0] },
      { label: 'Last seen', key: (i) => hosts[i][1] },
      { label: 'OS', key: (i) => hosts[i][2] },
      { label: 'Devices', key: (i) => hosts[i][3], num: true },
      { label: 'Without a driver', key: (i) => hosts[i][4], num: true },
    ],
    row: (i) => {
      const h = hosts[i];
      return el('tr', null,
        el('th', { scope: 'row' }, el('a', { href: hostLink(i) }, hostName(i))),
        el('td', null, h[1]), el('td', null, h[2]),
        el('td', { class: 'num' }, fmt(h[3])), el('td', { class: 'num' }, fmt(h[4])));
    },
  });
  const seenSelect = el('select', { id: 'hosts-seen' }, el('option', { value: '' }, 'any time'),
    SEEN.map(([key, label]) => el('option', { value: key }, label.toLowerCase())));
  function setSeen(key) {
    const entry = SEEN.find((s) => s[0] === key);
    seenSelect.value = entry ? key : '';
    seenTest = entry ? entry[2] : null;
    hostList_.update();
  }
  seenSelect.addEventListener('change', () => {
    setSeen(seenSelect.value);
    typingIn = null;
    record('push');
  });
  const hostPanel = panel('host-view');

  function showHost(name) {
    const i = hostByName.get(name);
    const { heading, body } = hostPanel;
    body.replaceChildren();
    if (i === undefined) {
      heading.replaceChildren('No host named ', bdi(name), ' in this page');
      return;
    }
    const h = hosts[i];
    heading.replaceChildren('Host ', bdi(h[0]));
    append(body, el('p', null, `Last seen ${h[1]}`, h[5] ? ` (${plural(h[5], 'day', 'days')} before the newest snapshot)` : '',
      ', OS ', bdi(h[2]), `, ${plural(h[3], 'device', 'devices')}, ${fmt(h[4])} without a driver.`));
    const details = DATA.host_details && DATA.host_details[i];
    if (!details) {
      append(body, el('p', { class: 'left-out' },
        DATA.details_left_out ?? 'This page was made without the devices and snapshots of each host.',
        ' The index answers for them: qvfleet changes, and qvfleet sql on the view latest_device.'));
      return;
    }
    const devices = new RowList({
      id: 'host-devices',
      caption: 'Devices of its latest snapshot',
      noun: ['device', 'devices'],
      items: devicesOf(details),
      columns: [
        { label: 'Instance id', key: (s) => deviceRows[s][0] },
        { label: 'Description', key: (s) => deviceRows[s][1] },
        { label: 'Driver version', key: (s) => deviceRows[s][2] },
        { label: 'Provider', key: (s) => deviceRows[s][3] },
        { label: 'INF', key: (s) => deviceRows[s][4] },
        { label: 'Class', key: (s) => deviceRows[s][5] },
      ],
      row: (s) => {
        const d = deviceRows[s];
        return el('tr', null, el('th', { scope: 'row' }, el('code', null, d[0])), el('td', null, d[1]),
          el('td', null, d[2] === null ? el('span', { class: 'none' }, 'no driver') : d[2]), el('td', null, orNone(d[3])),
          el('td', null, orNone(d[4])), el('td', null, d[5] === null ? orNone(d[5]) : el('code', null, d[5])));
      },
    });
    const snapshots = el('table', { id: 'host-snapshots' }, el('caption', null, 'Its snapshots, newest first, with the devices changed since the one before'),
      el('thead', null, el('tr', null, ['Taken at', 'Devices', 'Added', 'Removed', 'Changed'].map((t, j) =>
        el('th', { scope: 'col', class: j ? 'num' : null }, t)))),
      el('tbody', null, details.snapshots.slice().reverse().map((s) => el('tr', null,
        el('th', { scope: 'row' }, s[0]), s.slice(1, 5).map((n) => el('td', { class: 'num' }, fmt(n)))))));
    append(body, devices.element, snapshots, hostChanges(details.snapshots));
  }

  // Each pair of the host's snapshots, newest first, with what changed in qvdiff's words.
  function hostChanges(snapshots) {
    const pairs = [];
    for (let n = snapshots.length - 1; n > 0; n--) {
      const [older, newer] = [snapshots[n - 1], snapshots[n]];
      const changed = newer[2] + newer[3] + newer[4];
      if (changed === 0) continue;
      pairs.push(el('li', null, el('h5', null, 'Between ', el('time', null, older[0]), ' and ', el('time', null, newer[0])),
        newer[5] === null
          ? el('p', { class: 'left-out' }, `${plural(changed, 'device changed', 'devices changed')}; their changes are left out of this page (see the overview).`)
          : el('pre', { class: 'diff' }, newer[5])));
    }
    return [el('h4', { id: 'host-changes-title' }, 'Its changes, newest first, as qvdiff tells them'),
      pairs.length ? el('ol', { class: 'pairs', 'aria-labelledby': 'host-changes-title' }, pairs)
        : el('p', null, 'No device changed between two of its snapshots.')];
  }

  const hostBox = filterBox('hosts-filter', 'Filter hosts', 'host, OS, or a hardware or compatible id (ID* for a prefix)', (text) => { hostNeedle = text; hostList_.update(); });

  function hosts_() {
    const box = hostBox;
    append(box.element, ' ', el('label', { for: 'hosts-seen' }, 'last seen'), ' ', seenSelect);
    append(box.element, ' ', copyHosts('hosts-copy', 'Copy the names of these hosts', () => hostList_.view));
    return section('hosts', 'Hosts', hostPanel.element, box.element, hostList_.element);
  }

  // --- changes --------------------------------------------------------------------

  const KINDS = ['added', 'removed', 'changed'];

  function chart(days) {
    // `right` leaves room for half the last day's label, which stands centred on its bar.
    const width = 720, height = 180, top = 16, bottom = 28, left = 44, right = 24;
    const max = Math.max(1, ...days.map((d) => d[1] + d[2] + d[3]));
    const step = (width - left - right) / Math.max(days.length, 1);
    const scale = (n) => (n * (height - top - bottom)) / max;
    const image = svg('svg', { viewBox: `0 0 ${width} ${height}`, class: 'chart', role: 'img', 'aria-labelledby': 'chart-title' },
      svg('title', { id: 'chart-title' }, 'Devices added, removed and changed per day; the numbers are in the table below.'),
      svg('line', { x1: left, x2: width - right, y1: height - bottom, y2: height - bottom, class: 'axis' }),
      svg('text', { x: left - 6, y: top + 4, class: 'tick', 'text-anchor': 'end' }, fmt(max)),
      svg('text', { x: left - 6, y: height - bottom, class: 'tick', 'text-anchor': 'end' }, '0'));
    const every = Math.ceil(days.length / 10);
    days.forEach((d, n) => {
      let y = height - bottom;
      const x = left + n * step + step * 0.15;
      // A day's bar leads to its changes in the table below.
      const link = image.appendChild(svg('a', { href: `#day=${d[0]}`, 'aria-label': `Changes of ${d[0]}` }));
      KINDS.forEach((kind, k) => {
        const h = scale(d[k + 1]);
        if (h <= 0) return;
        y -= h;
        link.appendChild(svg('rect', { x, y, width: step * 0.7, height: h, class: kind },
          svg('title', null, `${d[0]}: ${fmt(d[k + 1])} ${kind}`)));
      });
      if (n % every === 0 || n === days.length - 1) {
        image.appendChild(svg('text', { x: x + step * 0.35, y: height - 10, class: 'tick', 'text-anchor': 'middle' }, d[0].slice(5)));
      }
    });
    return image;
  }

  // Every change of the pairs whose differences the page holds, read from their
  // headings, as [taken at, host, kind, instance id, description]: the pairs newest
  // first, as `qvfleet changes` lists them, each pair's changes in its own order.
  // Each snapshot's seventh element holds the places in DATA.texts of the
  // descriptions of the devices its differences head, in their order (-1: none).
  // A heading is a whole line, as qvfleet reads it: one regular expression over a pair's
  // text finds the 72,000 of a 1,000-host month in less than half the time a loop over
  // its lines takes (50 against 135 ms).
  const HEADING = /(?:^|\n)(added     |removed   |changed   )([^\n]*)/g;
  const KIND_OF = { a: 'added', r: 'removed', c: 'changed' };
  function changeRows() {
    const pairs = [];
    (DATA.host_details ?? []).forEach((details, h) => details.snapshots.forEach((s, k) => {
      if (s[5] !== null && s[5] !== '') pairs.push([s, h, k]);
    }));
    pairs.sort((a, b) => byCode(b[0][0], a[0][0]) || a[1] - b[1] || b[2] - a[2]);
    const rows = [];
    const texts = DATA.texts;
    for (const [s, h] of pairs) {
      const places = s[6];
      let n = 0;
      HEADING.lastIndex = 0;
      for (let m = HEADING.exec(s[5]); m !== null; m = HEADING.exec(s[5])) {
        const place = places[n++];
        rows.push([s[0], h, KIND_OF[m[1][0]], m[2], place >= 0 ? texts[place] : '']);
      }
    }
    return { rows, oldest: pairs.length ? pairs[pairs.length - 1][0][0] : null };
  }
  // Read once, at start, for the table's first page and its count: the 71,900 changes
  // of a 1,000-host month take about 70 ms on a busy 2-core machine.
  const changeData = changeRows();
  // Whether the budget left out the changes of some pair: a snapshot with changes and none of their lines.
  const changesLeftOut = (DATA.host_details ?? []).some((details) =>
    details.snapshots.some((s, k) => k > 0 && s[5] === null && s[2] + s[3] + s[4] > 0));
  // The overview says what the budget left out; the caption, how far back the table goes.
  const changesCaption = DATA.host_details === null || (changesLeftOut && changeData.oldest === null)
    ? 'Changes: this page holds none, as the overview says; qvfleet changes --host NAME lists a host\'s'
    : changesLeftOut
      ? `The changes, newest first, back to the oldest pair this page holds, taken at ${changeData.oldest}; the older ones are left out (see the overview)`
      : 'The changes, newest first';
  // What narrows the changes, taken from the boxes once a keystroke rather than once a row.
  let changeHosts = null; // by host: whether its name holds the text typed; null: any host
  let changeDay = '';
  const daySelect = el('select', { id: 'changes-day' }, el('option', { value: '' }, 'any day'),
    DATA.days.slice().reverse().map((d) => el('option', { value: d[0] }, d[0])));
  const changeList = new RowList({
    id: 'changes-table',
    caption: changesCaption,
    noun: ['change', 'changes'],
    items: changeData.rows,
    filter: (c) => (changeHosts === null || changeHosts[c[1]]) &&
      (changeDay === '' || c[0].startsWith(changeDay)),
    columns: [
      { label: 'Taken at' }, { label: 'Host' }, { label: 'Change' }, { label: 'Instance id' }, { label: 'Description' },
    ],
    row: (c) => el('tr', { class: c[2] }, el('td', null, c[0]),
      el('th', { scope: 'row' }, el('a', { href: hostLink(c[1]) }, hostName(c[1]))),
      el('td', null, c[2]), el('td', null, el('code', null, c[3])), el('td', null, c[4])),
  });
  const hostNamesLower = hosts.map((h) => h[0].toLowerCase());
  const changeBox = filterBox('changes-filter', 'Changes of hosts named', 'host', (text) => {
    changeHosts = text === '' ? null : hostNamesLower.map((name) => name.includes(text));
    changeDay = daySelect.value;
    changeList.update();
  });
  daySelect.addEventListener('change', () => {
    changeDay = daySelect.value;
    changeList.update();
    typingIn = null;
    record('push');
  });

  function changes() {
    const days = DATA.days;
    const legend = el('p', { class: 'legend', 'aria-hidden': 'true' },
      KINDS.map((k) => [el('span', { class: `swatch ${k}` }), ` ${k} `]));
    const table = el('table', { id: 'days-table' }, el('caption', null, 'Devices added, removed and changed per day, across the fleet'),
      el('thead', null, el('tr', null, ['Day', 'Added', 'Removed', 'Changed'].map((t, j) => el('th', { scope: 'col', class: j ? 'num' : null }, t)))),
      el('tbody', null, days.map((d) => el('tr', null, el('th', { scope: 'row' }, el('a', { href: `#day=${d[0]}` }, d[0])),
        d.slice(1).map((n) => el('td', { class: 'num' }, fmt(n)))))));
    // A fleet of one snapshot per host has days, and no change between two of them.
    const drawn = days.some((d) => d[1] + d[2] + d[3] > 0)
      ? [legend, el('div', { class: 'scroll' }, chart(days)), el('div', { class: 'scroll' }, table)]
      : el('p', null, 'No device changed between two snapshots of a host.');
    append(changeBox.element, ' ', el('label', { for: 'changes-day' }, 'on'), ' ', daySelect);
    return section('changes', 'Changes', drawn, changeBox.element, changeList.element);
  }

  // --- devices without a driver ----------------------------------------------------

  // A kind of device without a driver is named by its description and first hardware id.
  const kindHash = (r) => `#kind=${encodeURIComponent(r[0])}${r[1] === null ? '' : `&hwid=${encodeURIComponent(r[1])}`}`;
  const kindPanel = panel('kind-view');

  function showKind(description, hwid) {
    const r = DATA.no_driver.find((k) => k[0] === description && k[1] === hwid);
    const { heading, body } = kindPanel;
    body.replaceChildren();
    if (r === undefined) {
      heading.textContent = 'No such kind of device without a driver in this page';
      return;
    }
    heading.replaceChildren('Hosts with ', bdi(r[0] === '' ? '(no description)' : r[0]), ' without a driver',
      r[1] === null ? '' : [' (', el('code', null, r[1]), ')'], `: ${fmt(r[2].length)}`);
    append(body, hostList(r[2], `Hosts with ${r[0]} without a driver`, 'kind-hosts'));
  }

  function noDriver() {
    const list = new RowList({
      id: 'no-driver-table',
      caption: 'Devices without a driver in the latest snapshots, by description and first hardware id',
      noun: ['kind of device', 'kinds of device'],
      items: DATA.no_driver,
      columns: [
        { label: 'Description', key: (r) => r[0] },
        { label: 'Hardware id', key: (r) => r[1] },
        { label: 'Hosts', key: (r) => r[2].length, num: true },
      ],
      row: (r) => el('tr', null, el('th', { scope: 'row' }, r[0] === '' ? '(no description)' : r[0]),
        el('td', null, r[1] === null ? el('span', { class: 'none' }, 'none') : el('code', null, r[1])),
        el('td', { class: 'num' }, el('a', { href: kindHash(r), 'aria-label': `${plural(r[2].length, 'host', 'hosts')} with ${r[0]}` }, fmt(r[2].length)))),
    });
    return section('no-driver', 'Devices without a driver',
      el('p', null, 'Each kind leads to its hosts.'), kindPanel.element, list.element);
  }

  // The address names what is open and how the tables are filtered and sorted, in
  // this order: #host=NAME, #driver=DESCRIPTION&provider=PROVIDER&version=VERSION,
  // #kind=DESCRIPTION&hwid=ID (a kind of device without a driver),
  // then seen=BUCKET, drivers=TEXT, hosts=TEXT, drivers-sort=COLUMN.asc|desc,
  // hosts-sort=..., changes=HOST TEXT, day=YYYY-MM-DD. Back, Forward and reload give
  // back all of it.
  const VIEW_KEYS = ['host', 'driver', 'provider', 'version', 'kind', 'hwid'];
  const KEYS = [...VIEW_KEYS, 'seen', 'drivers', 'hosts', 'drivers-sort', 'hosts-sort', 'changes', 'day'];
  let typingIn = null; // the box whose typing the current history entry holds
  let routed = null; // the hash the page shows

  function parseParams(text) {
    const out = {};
    for (const part of text.split('&')) {
      const at = part.indexOf('=');
      if (at < 0) continue;
      try {
        out[part.slice(0, at)] = decodeURIComponent(part.slice(at + 1));
      } catch {
        // a hash typed by hand that is not percent-encoding: no view
      }
    }
    return out;
  }
  const parseHash = () => parseParams(location.hash.slice(1));

  function hashOf(p) {
    const parts = KEYS.filter((k) => p[k] !== undefined).map((k) => `${k}=${encodeURIComponent(p[k])}`);
    return parts.length ? `#${parts.join('&')}` : '';
  }

  // The view the address names, with the tables' state as the page shows it.
  function pageState(view) {
    const p = {};
    for (const k of VIEW_KEYS) if (k in view) p[k] = view[k];
    const or = (text) => (text === '' ? undefined : text);
    Object.assign(p, {
      seen: or(seenSelect.value), drivers: or(driverBox.input.value), hosts: or(hostBox.input.value),
      'drivers-sort': driverList.sortText, 'hosts-sort': hostList_.sortText,
      changes: or(changeBox.input.value), day: or(daySelect.value),
    });
    return p;
  }

  // Writes the state into the address; false when it was there already.
  function record(how, p = pageState(parseHash())) {
    const hash = hashOf(p);
    if (hash === location.hash) return false;
    const url = hash === '' ? location.href.split('#')[0] : hash;
    if (how === 'push') history.pushState(null, '', url);
    else history.replaceState(null, '', url);
    routed = location.hash;
    return true;
  }

  function sorted() {
    typingIn = null;
    record('push');
  }

  function reveal(target) {
    target.scrollIntoView({ block: 'start' });
    target.focus({ preventScroll: true });
  }

  // Shows what the address names; `moveFocus` takes the focus to it.
  function route(moveFocus) {
    routed = location.hash;
    const p = parseHash();
    // A table is drawn again only when its state changed: a link in it stays where it was.
    const seen = SEEN.some((b) => b[0] === p.seen) ? p.seen : '';
    if (seen !== seenSelect.value || (p.hosts ?? '') !== hostBox.input.value || p['hosts-sort'] !== hostList_.sortText) {
      seenSelect.value = seen;
      seenTest = SEEN.find((b) => b[0] === seen)?.[2] ?? null;
      hostList_.sortText = p['hosts-sort'];
      hostBox.set(p.hosts ?? '');
    }
    if ((p.drivers ?? '') !== driverBox.input.value || p['drivers-sort'] !== driverList.sortText) {
      driverList.sortText = p['drivers-sort'];
      driverBox.set(p.drivers ?? '');
    }
    if ((p.changes ?? '') !== changeBox.input.value || (p.day ?? '') !== daySelect.value) {
      daySelect.value = p.day ?? '';
      changeBox.set(p.changes ?? '');
    }
    const hasHost = 'host' in p;
    const hasDriver = 'driver' in p;
    hostPanel.element.hidden = !hasHost;
    driverPanel.element.hidden = !hasDriver;
    if (hasHost) showHost(p.host);
    if (hasDriver) {
      const i = driverByKey.get(driverKey(p.provider ?? null, p.driver));
      // -1: a version this driver does not have, which the view says
      const k = i === undefined || p.version === undefined ? undefined : drivers[i][2].findIndex((v) => v[0] === p.version);
      showDriver(i, k);
    }
    const hasKind = 'kind' in p;
    kindPanel.element.hidden = !hasKind;
    if (hasKind) showKind(p.kind, p.hwid ?? null);
    if (!moveFocus) return;
    if (hasHost) reveal(hostPanel.heading);
    else if (hasKind) reveal(kindPanel.heading);
    else if (hasDriver) reveal(document.getElementById('version-hosts-title') ?? driverPanel.heading);
    else if ('seen' in p || 'hosts' in p) reveal(document.getElementById('hosts-title'));
    else if ('drivers' in p) reveal(document.getElementById('drivers-title'));
  }

  const nav = el('nav', { 'aria-label': 'Sections' }, el('ul', null,
    [['overview', 'Overview'], ['drivers', 'Drivers'], ['hosts', 'Hosts'], ['changes', 'Changes'], ['no-driver', 'Without a driver']]
      .map(([id, label]) => el('li', null, el('a', { href: `#${id}` }, label)))));
  const main = el('main', null, overview(), drivers_(), hosts_(), changes(), noDriver());
  document.body.append(el('header', null, el('h1', null, DATA.title), nav), main);

  // Back and Forward restore what the entry holds where the user left it; a hash
  // typed or pasted into the address bar leads to what it names.
  window.addEventListener('popstate', () => {
    typingIn = null;
    route(false);
  });
  window.addEventListener('hashchange', () => {
    if (location.hash !== routed) route(true);
  });
  // A link within the page opens its view and keeps the tables' state; a section's
  // link only moves there, so that the address keeps what it holds.
  document.addEventListener('click', (event) => {
    const a = event.target instanceof Element ? event.target.closest('a[href^="#"]') : null;
    if (!a || event.button !== 0 || event.ctrlKey || event.metaKey || event.shiftKey || event.altKey) return;
    event.preventDefault();
    const href = a.getAttribute('href');
    if (!href.includes('=')) {
      const heading = document.getElementById(`${href.slice(1)}-title`);
      if (heading) reveal(heading);
      return;
    }
    const link = parseParams(href.slice(1));
    const view = VIEW_KEYS.some((k) => k in link) ? {} : parseHash();
    const p = pageState(view);
    Object.assign(p, link);
    typingIn = null;
    record('push', p);
    route(!('day' in link));
    if ('day' in link) reveal(document.getElementById('changes-title'));
  });
  route(location.hash.length > 1);
  performance.mark('qv-drawn');
  // Drawn, and every handler set: the page opens in a task of its own after the
  // document has loaded, and the tests and the benchmark wait for this mark.
  document.documentElement.dataset.ready = 'yes';
})();
