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

once on a desktop that holds only the stand-in, and once beside another
program with 1,000 hidden top-level windows (the busy desktop). Each run
answers a queue call of its own ("KVX Queue <n>"): the same caller again so
soon would be a repeated URL, which the program does not answer.

Then the CPU of one wait each on five desktops: the program's user and
system time (getrusage of the `wine` child that is the program) and the
prefix's wineserver's (utime + stime from /proc), for a run of
`wine VelmorathisMirrowcast.exe <answercall URL>` from start to end:

  no Teams window                     a stand-in that shows no window; 30 s
  Teams in the notification area      pop-up, main window and five helpers hidden; 30 s
  the same, main window shown         the main window shown 1.5 s in; 30 s
  a call window naming nobody         the pop-up rings, its call window never names the caller; 30 s
  1,000 other windows                 1,000 hidden windows of another program, the pop-up shown 3 s in

Needs the environment ctest gives the Wine tests (MIRROWCAST_EXE,
MIRROWCAST_STANDIN_EXE, MIRROWCAST_PROBE_EXE, MIRROWCAST_WINE_BASE), e.g.

  MIRROWCAST_EXE=build/windows/VelmorathisMirrowcast.exe ... \\
      python3 bench/answer_latency.py --runs 20
"""

import argparse
import math
import os
import random
import resource
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "wine"))

import harness  # noqa: E402
import probe  # noqa: E402
from standin import TeamsStandIn  # noqa: E402
from test_teams import logged_runs  # noqa: E402

URL = "Velmorathis.Mirrowcast:TeamsCall?action=answercall&participant="
CALL_TITLE = "Call with John Smith"
WAITING = "Waiting for Teams call notification window to popup..."
POLL_SECONDS = 0.25  # the random delay's range: the slowest look of the waits


def percentile(values, fraction):
    """Nearest-rank percentile."""
    ordered = sorted(values)
    rank = max(1, math.ceil(fraction * len(ordered)))
    return ordered[rank - 1]


def one_run(prefix, teams, run):
    runs_before = len(logged_runs(prefix))
    program = prefix.start(harness.mirrowcast_exe(), [URL + f"KVX%20Queue%20{run}"])
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


def busy_desktop(prefix):
    """Another program with 1,000 hidden top-level windows of a class of its own."""
    return TeamsStandIn(prefix, image_name="Other.exe", window_class="OtherProgram",
                        windows=[(f"w{i}", f"Window {i}", "hidden") for i in range(1000)])


def latency(prefix, runs, label):
    keys, minimised, reaction = [], [], []
    with TeamsStandIn(prefix, windows=[
            ("notify", "Microsoft Teams Notification", f"hidden,oncall={CALL_TITLE}"),
            ("main", "Chat | Microsoft Teams", "")]) as teams:
        for run in range(runs):
            k, m, r = one_run(prefix, teams, f"{label[0]}{run}")
            keys.append(k)
            minimised.append(m)
            reaction.append(r)
            print(f"{label} run {run + 1:3d}: keys {k:7.1f} ms   minimised {m:7.1f} ms   "
                  f"call window to minimise {r:7.1f} ms", flush=True)
    print(f"\n{label}: {runs} runs, times from the notification turning visible (the last from the call window's "
          "making):")
    for name, values in (("Shift+Ctrl+S received", keys), ("call window minimised", minimised),
                         ("call window made, minimised", reaction)):
        print(f"  {label} {name:24s} median {statistics.median(values):7.1f} ms   "
              f"95th percentile {percentile(values, 0.95):7.1f} ms   "
              f"min {min(values):7.1f}   max {max(values):7.1f}")


def wineserver_seconds(prefix):
    """utime + stime of the prefix's wineserver so far."""
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/comm") as f:
                if not f.read().strip().startswith("wineserver"):
                    continue
            with open(f"/proc/{pid}/environ", "rb") as f:
                if f"WINEPREFIX={prefix.path}".encode() not in f.read().split(b"\0"):
                    continue
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
        except OSError:
            continue
    raise RuntimeError("no wineserver of the prefix")


def one_wait(prefix, participant, during=None):
    """(program CPU s, wineserver CPU s, wall s, wineserver CPU s of the desktop alone for as long) of one
    answercall run. The stand-ins keep the server busy too: the last figure is their share, measured for
    10 s after the run and scaled to its time."""
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    server = wineserver_seconds(prefix)
    started = time.monotonic()
    program = subprocess.Popen(["wine", harness.mirrowcast_exe(), URL + participant], env=prefix.env,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    if during:
        during()
    program.wait(timeout=120)
    wall = time.monotonic() - started
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - children.ru_utime) + (after.ru_stime - children.ru_stime)
    server = wineserver_seconds(prefix) - server
    alone = wineserver_seconds(prefix)
    time.sleep(10)
    alone = (wineserver_seconds(prefix) - alone) * wall / 10
    return cpu, server, wall, alone


def wait_costs(prefix):
    tray = [("notify", "Microsoft Teams Notification", "hidden"), ("main", "Chat | Microsoft Teams", "hidden")] + \
        [(f"helper{i}", "", "hidden") for i in range(5)]
    rows = []
    with TeamsStandIn(prefix, windows=[]):
        rows.append(("no Teams window", one_wait(prefix, "Ann%20Lee")))
    with TeamsStandIn(prefix, windows=tray):
        rows.append(("Teams in the notification area", one_wait(prefix, "Bob%20Ray")))
    with TeamsStandIn(prefix, windows=tray) as teams:
        def show_main():
            time.sleep(1.5)
            teams.command("showna main")
        rows.append(("the same, the main window shown 1.5 s in", one_wait(prefix, "Cy%20Hall", show_main)))
    with TeamsStandIn(prefix, windows=[("notify", "Microsoft Teams Notification", "oncall=Meeting"),
                                       ("main", "Chat | Microsoft Teams", "")]):
        rows.append(("a call window that never names the caller", one_wait(prefix, "Dee%20Ward")))
    with busy_desktop(prefix), TeamsStandIn(prefix, windows=[
            ("notify", "Microsoft Teams Notification", "hidden,oncall=Call with Eve Moss"),
            ("main", "Chat | Microsoft Teams", "")]) as teams:
        def show_pop_up():
            time.sleep(3)
            teams.command("show notify")
        rows.append(("1,000 hidden windows of another program, pop-up shown 3 s in",
                     one_wait(prefix, "Eve%20Moss", show_pop_up)))
    print("\nCPU of one wait (program, wineserver, wall time, wineserver for the desktop alone as long):")
    for name, (cpu, server, wall, alone) in rows:
        print(f"  wait {name}: program {cpu:.2f} s, wineserver {server:.2f} s, wall {wall:.1f} s, "
              f"desktop alone {alone:.2f} s")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=20)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--no-cpu", action="store_true", help="leave out the five waits' CPU (about 2.5 minutes)")
    args = parser.parse_args()
    random.seed(args.seed)

    with harness.WinePrefix() as prefix:
        latency(prefix, args.runs, "plain")
        with busy_desktop(prefix):
            latency(prefix, args.runs, "busy")
        if not args.no_cpu:
            wait_costs(prefix)


if __name__ == "__main__":
    main()
