"""Many runs of the real program writing the day's log at once, under Wine.

Every protocol URL starts a process of its own, so runs overlap; each entry
opens the day's file exclusively, appends and closes it, and a run that finds
the file held waits for it a moment. Here eight runs of "/debuginfo" list the
two hundred windows of a Teams stand-in at the same time, 407 entries each,
while another process keeps taking the file for short moments: every entry
must arrive, whole, and each run's entries in that run's order."""

import collections
import os
import re
import subprocess
import sys
import threading
import time
import unittest

import harness
from standin import TeamsStandIn

WORKERS = 8
WINDOWS = 200
BANNER = harness.banner()
LISTED = re.compile(r"Window [0-9A-F]{8} main:0 callnotify:0 visible:1, minimized:0 \[Call (\d{3}) with Ann\]\n")
# Then /debuginfo's line for each window of a Teams process, whatever its class.
PROCESS = re.compile(r"Window [0-9A-F]{8} class:\[[^]]*\] image:\[Teams\.exe\] visible:[01], minimized:[01] \[.*\]\n")


def entries(text):
    """The entries of a file in which every text ends with a line break: a
    bare line break stands alone, every other line starts with a prefix. A
    torn or merged entry shows up as a line that is neither."""
    found = []
    for line in text.splitlines(keepends=True):
        if line == "\n":
            found.append("\n")
            continue
        match = harness.LOG_STAMP.match(line)
        if not match or not line.endswith("\n"):
            raise AssertionError(f"not a whole entry: {line!r}")
        found.append(line[match.end():])
    return found


class Concurrency(unittest.TestCase):
    def test_runs_at_once_keep_every_entry_whole_and_in_order(self):
        windows = [(f"w{i:03d}", f"Call {i:03d} with Ann", "") for i in range(WINDOWS)]
        with harness.WinePrefix() as prefix, TeamsStandIn(prefix, windows=windows):
            exe = harness.mirrowcast_exe()
            os.makedirs(prefix.log_folder, exist_ok=True)
            # The log names its file after the UTC weekday: find it by running once.
            self.assertEqual(prefix.run(exe, ["/help"])[0], 0)
            (name,) = os.listdir(prefix.log_folder)
            path = os.path.join(prefix.log_folder, name)
            os.remove(path)

            # Another process takes the file for 20 ms every 60 ms, about 24 s long.
            holder = prefix.start(harness.probe_exe(), ["hold", prefix.winpath(path), "20", "400", "40"],
                                  stdout=subprocess.PIPE)
            codes = []
            started = time.monotonic()

            def worker():
                codes.append(prefix.run(exe, ["/debuginfo"], timeout=300)[0])

            threads = [threading.Thread(target=worker) for _ in range(WORKERS)]
            for t in threads:
                t.start()
            for t in threads:
                t.join()
            elapsed = time.monotonic() - started
            held = holder.communicate(timeout=120)[0].decode(errors="replace").strip()

            with open(path, "rb") as f:
                raw = f.read()
        self.assertEqual(codes, [0] * WORKERS)
        self.assertEqual(len(raw) % 2, 0, "UTF-16 code units only")
        found = entries(raw.decode("utf-16-le"))

        # The order each run writes in; the first time each entry appears
        # follows it, since a run writes its entries one after the other.
        order = list(dict.fromkeys(found))
        self.assertEqual(order[:3], ["\n", BANNER, harness.text("enumerating")])
        listed = [LISTED.fullmatch(e) for e in order[3:3 + WINDOWS]]
        self.assertTrue(all(listed), order[3:6])
        self.assertTrue(all(PROCESS.fullmatch(e) for e in order[3 + WINDOWS:-4]), order[3 + WINDOWS:3 + WINDOWS + 3])
        self.assertEqual(order[-4:], [harness.FOLDER_IN_USE, *harness.FOLDER_REPORT])
        self.assertEqual([int(m.group(1)) for m in listed], list(range(WINDOWS)), "z-order, top first")
        per_run = len(order)

        # Every entry of every run is there, once per run ...
        counts = collections.Counter(found)
        self.assertEqual(set(counts.values()), {WORKERS}, "no entry lost or doubled")
        self.assertEqual(len(found), WORKERS * per_run)
        # ... and the file splits into the runs, each in its order: no entry
        # is ever seen more often than the one a run writes before it.
        position = {e: i for i, e in enumerate(order)}
        seen = [0] * per_run
        for e in found:
            i = position[e]
            seen[i] += 1
            if i > 0:
                self.assertLessEqual(seen[i], seen[i - 1], f"{e!r} came before its run's previous entry")
        print(f"\n{WORKERS} runs x {per_run} entries = {len(found)} entries in {elapsed:.1f} s "
              f"({len(found) / elapsed:.0f} entries/s); other process {held}", file=sys.stderr)


if __name__ == "__main__":
    unittest.main()
