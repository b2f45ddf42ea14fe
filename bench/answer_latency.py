#!/usr/bin/env python3
"""Answer latency of the real program under Wine, against the Teams stand-in.

For each run the program is started with an "answercall" URL while the
stand-in's notification window is hidden; once the program logs that it is
waiting, the stand-in shows the notification after a random delay (so the
moment falls anywhere in the program's polling cycle) and records when it
did; it opens the call window as the keys arrive and records when it made it.
From the stand-in's own event clock the script reports, over all runs:

  keys       notification shown -> Shift+Ctrl+S received by the notification
  minimised  notification shown -> SC_MINIMIZE received by the call window
  reaction   call window made   -> SC_MINIMIZE received by the call window

Needs the environment ctest gives the Wine tests (MIRROWCAST_EXE,
MIRROWCAST_STANDIN_EXE, MIRROWCAST_PROBE_EXE, MIRROWCAST_WINE_BASE), e.g.

  MIRROWCAST_EXE=build/windows/VelmorathisMirrowcast.exe ... \\
      python3 bench/answer_latency.py --runs 20
"""

import argparse
import math
import os
import random
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "wine"))

import harness  # noqa: E402
import probe  # noqa: E402
from standin import TeamsStandIn  # noqa: E402
from test_teams import logged_runs  # noqa: E402

URL = "Velmorathis.Mirrowcast:TeamsCall?action=answercall&participant=John%20Smith"
CALL_TITLE = "Call with John Smith"
WAITING = "Waiting for Teams call notification window to popup..."
POLL_SECONDS = 0.25  # the random delay's range: the slowest look of the waits


def percentile(values, fraction):
    """Nearest-rank percentile."""
    ordered = sorted(values)
    rank = max(1, math.ceil(fraction * len(ordered)))
    return ordered[rank - 1]


def one_run(prefix, teams):
    runs_before = len(logged_runs(prefix))
    program = prefix.start(harness.mirrowcast_exe(), [URL])
    deadline = time.monotonic() + 30
    while True:
        runs = logged_runs(prefix)
        if len(runs) > runs_before and WAITING in runs[-1]:
            break
        if time.monotonic() > deadline:
            raise RuntimeError(f"the program never started waiting: {runs[-1:]}")
        time.sleep(0.01)
    time.sleep(random.uniform(0, POLL_SECONDS))
    since = teams.command("show notify")
    shown = teams.wait_event("shown notify", since=since)[0]
    keys = teams.wait_event("keys notify", since=since, timeout=40)[0]
    created = teams.wait_event("created call", since=since, timeout=40)[0]
    minimised = teams.wait_event("syscommand call F020", since=since, timeout=40)[0]
    code = program.wait(timeout=60) & 0xFF
    if code != 0:
        raise RuntimeError(f"exit code {code}")

    # Back to a ringing state for the next run: no call window, notification hidden.
    probe.post_close(prefix, CALL_TITLE)
    teams.wait_event("destroyed call", since=since)
    since = teams.command("hide notify")
    teams.wait_event("hidden notify", since=since)
    return (keys - shown) / 1000.0, (minimised - shown) / 1000.0, (minimised - created) / 1000.0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args()
    random.seed(args.seed)

    keys, minimised, reaction = [], [], []
    with harness.WinePrefix() as prefix, TeamsStandIn(prefix, windows=[
            ("notify", "Microsoft Teams Notification", f"hidden,oncall={CALL_TITLE}"),
            ("main", "Chat | Microsoft Teams", "")]) as teams:
        for run in range(args.runs):
            k, m, r = one_run(prefix, teams)
            keys.append(k)
            minimised.append(m)
            reaction.append(r)
            print(f"run {run + 1:3d}: keys {k:7.1f} ms   minimised {m:7.1f} ms   call window to minimise {r:7.1f} ms",
                  flush=True)

    print(f"\n{args.runs} runs, times from the notification turning visible (the last from the call window's making):")
    for name, values in (("Shift+Ctrl+S received", keys), ("call window minimised", minimised),
                         ("call window made, minimised", reaction)):
        print(f"  {name:24s} median {statistics.median(values):7.1f} ms   "
              f"95th percentile {percentile(values, 0.95):7.1f} ms   "
              f"min {min(values):7.1f}   max {max(values):7.1f}")


if __name__ == "__main__":
    main()
