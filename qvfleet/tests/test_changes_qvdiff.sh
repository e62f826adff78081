#!/usr/bin/env bash
# `qvfleet changes` against qvdiff itself: pairs of reports made from generated
# ones by what happens to real reports (sections reordered, the file copied with
# CR LF line ends or a byte-order mark, devices that share an instance id and
# swap places, sections written twice, drivers updated, devices added, removed
# and edited, header facts changed), each pair the two snapshots of a host of
# its own. For every pair, `changes` prints nothing for the host when qvdiff
# prints nothing, and otherwise one heading and then qvdiff's lines, byte for
# byte.
# Usage: test_changes_qvdiff.sh QVFLEET QVDIFF GENERATOR
set -uo pipefail
qvfleet=${1:?usage: test_changes_qvdiff.sh QVFLEET QVDIFF GENERATOR}
qvdiff=${2:?usage: test_changes_qvdiff.sh QVFLEET QVDIFF GENERATOR}
generator=${3:?usage: test_changes_qvdiff.sh QVFLEET QVDIFF GENERATOR}
qvfleet=$(realpath "$qvfleet") qvdiff=$(realpath "$qvdiff") generator=$(realpath "$generator")
work=$(mktemp -d "${TMPDIR:-/tmp}/qvfleet-changes.XXXXXX")
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/check_indexes.sh"
cd "$work" || exit 1

python3 "$generator" share base --hosts 12 --devices 40 --seed 11 >/dev/null 2>&1 || exit 1

python3 - "$qvfleet" "$qvdiff" <<'PYTHON'
import os
import random
import subprocess
import sys

qvfleet, qvdiff = sys.argv[1], sys.argv[2]
rng = random.Random(20261207)
DAY1 = 1796536800  # 2026-12-06T06:00:00Z
DAY2 = DAY1 + 86400


def read_base():
    reports = []
    for host in sorted(os.listdir("base")):
        for name in sorted(os.listdir(os.path.join("base", host))):
            with open(os.path.join("base", host, name), "rb") as f:
                text = f.read().decode()
            head, *sections = text.split("[device]\n")
            reports.append((head.splitlines(), [s.splitlines() for s in sections]))
    return reports


def field(section, key):
    for line in section:
        if line.startswith(key + "="):
            return line[len(key) + 1:]
    return None


def with_field(section, key, value):
    return [key + "=" + value if line.startswith(key + "=") else line for line in section]


def plain_device(instance_id, description, hwids=(), driver=None, guid=None):
    lines = ["instance_id=" + instance_id, "description=" + description]
    if guid:
        lines.append("class_guid=" + guid)
    lines += ["hwid=" + h for h in hwids]
    if driver:
        lines += ["driver_ver=" + driver, "driver_desc=Generic", "driver_provider=Test"]
    return lines


# Each mutation takes and gives a list of sections; a few change the header.
def reorder(sections):
    sections = sections[:]
    rng.shuffle(sections)
    return sections


def update_driver(sections):
    sections = [s[:] for s in sections]
    for s in rng.sample(sections, min(3, len(sections))):
        if field(s, "driver_ver"):
            date, version = field(s, "driver_ver").split(" ")
            parts = version.split(".")
            parts[-1] = str(int(parts[-1]) + rng.randint(1, 9))
            s[:] = with_field(s, "driver_ver", date + " " + ".".join(parts))
    return sections


def remove_some(sections):
    keep = sections[:]
    for _ in range(rng.randint(1, 3)):
        if keep:
            keep.pop(rng.randrange(len(keep)))
    return keep


def add_some(sections):
    sections = sections[:]
    for _ in range(rng.randint(1, 3)):
        n = rng.randint(0, 99999)
        device = plain_device("USB\\VID_%04X\\%d" % (n % 65536, n), "Added %d" % n,
                              ["USB\\VID_%04X" % (n % 65536)], rng.choice([None, "2024-01-02 1.0.0.%d" % (n % 60000)]))
        sections.insert(rng.randrange(len(sections) + 1), device)
    return sections


def edit_some(sections):
    sections = [s[:] for s in sections]
    for s in rng.sample(sections, min(2, len(sections))):
        what = rng.randrange(3)
        if what == 0:
            s[:] = with_field(s, "description", field(s, "description") + " (renamed)")
        elif what == 1:
            hwids = [line for line in s if line.startswith("hwid=")]
            if len(hwids) > 1:  # the same ids in another order
                rest = [line for line in s if not line.startswith("hwid=")]
                at = next(i for i, line in enumerate(s) if line.startswith("hwid="))
                s[:] = rest[:at] + hwids[::-1] + rest[at:]
        elif field(s, "class_guid"):
            s[:] = with_field(s, "class_guid", "{00000000-0000-0000-0000-00000000000%d}" % rng.randrange(10))
    return sections


def repeat_ids(sections, count):
    """Devices that share one instance id, inserted where they may fall."""
    sections = sections[:]
    shared = "ROOT\\SHARED\\%04d" % rng.randrange(10000)
    for i in range(count):
        device = plain_device(shared, "Twin %d" % rng.randrange(4), ["ROOT\\SHARED"],
                              rng.choice([None, "2024-01-02 1.0.0.%d" % i]))
        sections.insert(rng.randrange(len(sections) + 1), device)
    return sections


def swap_twins(sections):
    """Two devices of one id change places, or one of them changes."""
    at = [i for i, s in enumerate(sections) if field(s, "instance_id").startswith("ROOT\\SHARED")]
    sections = [s[:] for s in sections]
    if len(at) >= 2:
        i, j = rng.sample(at, 2)
        if rng.random() < 0.7:
            sections[i], sections[j] = sections[j], sections[i]
        else:
            sections[i] = with_field(sections[i], "description", "Twin changed")
    return sections


def duplicate(sections):
    sections = sections[:]
    s = rng.choice(sections)
    for _ in range(rng.randint(1, 2)):
        sections.insert(rng.randrange(len(sections) + 1), s)
    return sections


def drop_duplicate(sections):
    seen, out, dropped = set(), [], False
    for s in sections:
        key = tuple(s)
        if key in seen and not dropped and rng.random() < 0.8:
            dropped = True
            continue
        seen.add(key)
        out.append(s)
    return out


def many_removed(sections):
    """More devices of one id removed than std::sort sorts by insertion."""
    return [s for s in sections if not field(s, "instance_id").startswith("ROOT\\SHARED")]


def text_of(head, sections, crlf=False, bom=False):
    lines = head[:]
    for s in sections:
        lines += ["[device]"] + s
    end = "\r\n" if crlf else "\n"
    return ("\ufeff" if bom else "") + end.join(lines) + end


KINDS = ["reorder", "crlf", "bom", "driver", "remove", "add", "edit", "twins", "duplicate",
         "undup", "many", "header", "same", "mixed"]


def make_pair(kind, head, sections):
    old = sections
    if kind in ("twins", "mixed"):
        old = repeat_ids(old, rng.randint(2, 4))
    if kind in ("duplicate", "undup"):
        old = duplicate(old)
    if kind == "many":
        old = repeat_ids(old, rng.randint(17, 24))
    new_head = head
    crlf = bom = False
    if kind == "reorder":
        new = reorder(old)
    elif kind == "crlf":
        new, crlf = reorder(old) if rng.random() < 0.5 else old, True
    elif kind == "bom":
        new, bom, crlf = old, True, rng.random() < 0.5
    elif kind == "driver":
        new = update_driver(old)
    elif kind == "remove":
        new = remove_some(old)
    elif kind == "add":
        new = add_some(old)
    elif kind == "edit":
        new = edit_some(old)
    elif kind == "twins":
        new = swap_twins(old)
    elif kind == "duplicate":
        new = duplicate(old)
    elif kind == "undup":
        new = drop_duplicate(old)
    elif kind == "many":
        new = many_removed(old)
    elif kind == "header":
        new = old
        new_head = [line if not line.startswith("os=") else "os=10.0.99999.1" for line in head]
    elif kind == "same":
        new = old
    else:
        new = old
        for step in rng.sample([reorder, update_driver, remove_some, add_some, edit_some,
                                swap_twins, duplicate, drop_duplicate], rng.randint(2, 4)):
            new = step(new)
        crlf = rng.random() < 0.3
    if rng.random() < 0.5:
        old, new, head, new_head = new, old, new_head, head  # the change the other way round
    return text_of(head, old), text_of(new_head, new, crlf, bom)


base = read_base()
pairs = []
for n in range(420):
    head, sections = base[n % len(base)]
    kind = KINDS[n % len(KINDS)]
    host = "H-%04d-%s" % (n, kind)
    head = ["host=" + host if line.startswith("host=") else line for line in head]
    old, new = make_pair(kind, head, [s[:] for s in sections])
    folder = os.path.join("share", host)
    os.makedirs(folder)
    # Indexed newest first by name, so that the order of indexing is not the order in time.
    paths = (os.path.join(folder, "b.txt"), os.path.join(folder, "a.txt"))
    for path, text, moment in zip(paths, (old, new), (DAY1, DAY2)):
        with open(path, "wb") as f:
            f.write(text.encode())
        os.utime(path, (moment, moment))
    pairs.append((host, paths))

indexed = subprocess.run([qvfleet, "index", "fleet.db", "share"], capture_output=True)
if indexed.returncode != 0:
    print("FAIL: index: status %d: %s" % (indexed.returncode, indexed.stderr.decode()))
    sys.exit(1)
run = subprocess.run([qvfleet, "changes", "fleet.db"], capture_output=True)
if run.returncode != 0:
    print("FAIL: changes: status %d: %s" % (run.returncode, run.stderr.decode()))
    sys.exit(1)

heading = b"between   2026-12-06T06:00:00Z 2026-12-07T06:00:00Z "
blocks = {}
host = None
for line in run.stdout.splitlines(keepends=True):
    if line.startswith(heading):
        host = line[len(heading):-1].decode()
        if host in blocks:
            print("FAIL: %s: two headings" % host)
        blocks[host] = b""
    elif host is None:
        print("FAIL: a line before any heading: %r" % line)
    else:
        blocks[host] += line

failures = 0
differing = 0
for host, (old, new) in pairs:
    expected = subprocess.run([qvdiff, old, new], capture_output=True)
    if expected.returncode not in (0, 1) or (expected.returncode == 1) != bool(expected.stdout):
        print("FAIL: %s: qvdiff status %d" % (host, expected.returncode))
        failures += 1
        continue
    differing += expected.returncode
    if host not in blocks and not expected.stdout:
        continue
    got = blocks.get(host)
    if got != expected.stdout:
        failures += 1
        if failures <= 5:
            print("FAIL: %s\n--- qvdiff\n%s--- changes\n%s" %
                  (host, expected.stdout.decode(), "(no heading)\n" if got is None else got.decode()))
print("%d pairs, %d that qvdiff tells apart, %d unlike qvdiff" % (len(pairs), differing, failures))
sys.exit(1 if failures else 0)
PYTHON
status=$?
check_indexes "$work" || status=1
exit $status
