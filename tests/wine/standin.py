"""Drives tests/tools/teams_standin inside a harness.WinePrefix.

    with harness.WinePrefix() as prefix, TeamsStandIn(prefix, windows=[
            ("main", "Chat | Contoso", "oncall=Meeting with Ann"),
            ("tray", "", "hidden")]) as teams:
        since = teams.act("show main")  # and wait for "shown main"

Window list entries are (key, title, flags), or a string written as a raw
line. The title may contain '|'; flags is a comma-separated subset of hidden,
minimized, oncall=<call window title>, calldelay=<ms from the keys to the
call window>. The first window is the top of
the z-order. Commands: show <key> (and activate it), showna <key> (without
activating it), hide <key>, title <key> <new title>, create <key>|<title>|<flags>,
quit. window_class plays the client of today (TeamsWebView); churn_ms makes
every window go and come anew at the top that often, as a browser's do.
"""

import os
import re
import subprocess
import tempfile
import time

import harness


class StandInError(AssertionError):
    pass


class TeamsStandIn:
    def __init__(self, prefix, image_name="Teams.exe", windows=(), window_class=None, churn_ms=0):
        self.prefix = prefix
        self.image_name = image_name
        self.windows = list(windows)
        self.options = ([f"--class={window_class}"] if window_class else []) + \
            ([f"--churn={churn_ms}"] if churn_ms else [])
        self.proc = None
        self.pid = None  # the Windows process id, from the "ready" event

    def __enter__(self):
        exe = self.prefix.copy_in(harness.standin_exe(), "Apps", self.image_name)
        parent = os.path.join(self.prefix.drive_c, "StandIn")
        os.makedirs(parent, exist_ok=True)
        self.control = tempfile.mkdtemp(prefix=os.path.splitext(self.image_name)[0] + "-", dir=parent)
        self._events_path = os.path.join(self.control, "events.txt")
        self._commands_path = os.path.join(self.control, "commands.txt")
        with open(os.path.join(self.control, "windows.txt"), "w", encoding="utf-8") as f:
            for window in self.windows:
                if isinstance(window, str):  # a raw line: comments, bad lines
                    f.write(window + "\n")
                    continue
                key, title, flags = window
                # A call window's title may hold '|' as the client's own do;
                # in the flags it travels escaped.
                flags = flags.replace("|", "%7C")
                if "|" in key or "\n" in key + title + flags:
                    raise ValueError(f"bad window line: {window!r}")
                f.write(f"{key}|{title}|{flags}\n")
        # Started by its Windows path, C:\Apps\<name>, as an installed client is.
        self.proc = self.prefix.start(self.prefix.winpath(exe), [self.prefix.winpath(self.control)] + self.options)
        try:
            ready = self.wait_event("ready", timeout=30)
        except StandInError:
            self.proc.kill()
            raise
        self.pid = int(ready[2])
        return self

    def __exit__(self, *exc):
        if self.proc is not None and self.proc.poll() is None:
            try:
                self.stop()
            except subprocess.TimeoutExpired:
                self.proc.kill()  # the `wine` process is the program itself
                self.proc.wait()
        return False

    def command(self, text):
        """Appends one command line; returns the number of events seen before
        it, to pass as wait_event(since=...)."""
        before = len(self.events())
        with open(self._commands_path, "a", encoding="utf-8") as f:
            f.write(text + "\n")
        return before

    _ACKS = {"show": "shown", "showna": "shown", "hide": "hidden", "title": "titled", "create": "created"}

    def act(self, text):
        """command(text), then waits for the stand-in's acknowledgement; returns
        what command() returns."""
        since = self.command(text)
        verb, rest = text.split(" ", 1)
        self.wait_event(f"{self._ACKS[verb]} {re.split('[ |]', rest, 1)[0]}", since=since)
        return since

    def events(self):
        """Every complete event line so far as (t_us, word, word, ...)."""
        try:
            with open(self._events_path, "rb") as f:
                data = f.read().decode("utf-8", "replace")
        except FileNotFoundError:
            return []
        lines = data.split("\n")[:-1]  # the last piece is unfinished or empty
        return [(int(words[0]), *words[1:]) for words in (line.split() for line in lines) if words]

    def wait_event(self, match, timeout=10, since=0):
        """The first event after the first `since` ones that matches.

        match is a callable taking the event tuple, or a string whose words
        must begin the event ("created call" matches "<t> created call").
        Raises StandInError listing the events seen if none comes in time.
        """
        if callable(match):
            test = match
        else:
            wanted = tuple(match.split())
            test = lambda event: event[1:1 + len(wanted)] == wanted  # noqa: E731
        deadline = time.monotonic() + timeout
        while True:
            events = self.events()
            for event in events[since:]:
                if test(event):
                    return event
            if time.monotonic() > deadline:
                raise StandInError(f"no event {match!r} within {timeout} s; events:\n"
                                   + "\n".join(" ".join(map(str, e)) for e in events))
            if self.proc.poll() is not None and self.proc.returncode != 0:
                raise StandInError(f"stand-in exited with {self.proc.returncode}; events: {events}")
            time.sleep(0.005)

    def stop(self, timeout=10):
        """Asks the stand-in to quit and waits; returns its exit code."""
        self.command("quit")
        return self.proc.wait(timeout=timeout) & 0xFF
