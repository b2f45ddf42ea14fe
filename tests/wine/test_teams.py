"""The Teams actions of the real program under Wine, against the Teams
stand-in: answering a call (notification found by title or by exclusion),
closing a participant's call window, the main window remembered in the
volatile registry key and refused when stale, the window listing, and the
wait that gives up when no notification comes."""

import os
import re
import subprocess
import time
import unittest

import harness
import probe
from standin import TeamsStandIn

URL = "Velmorathis.Mirrowcast:TeamsCall?action="
CACHE_KEY = r"HKCU\SOFTWARE\Velmorathis\Velmorathis Mirrowcast\Volatile"
BANNER = harness.banner().rstrip("\n")
NOTIFICATION = "Microsoft Teams Notification"
MAIN = "Chat | Microsoft Teams"
ANSWER_LOCK = r"Local\Velmorathis.Mirrowcast.Answer"


def logged_runs(prefix):
    """The lines each run of the program logged, time stamps removed; a run
    begins with the banner."""
    runs = []
    for line in "".join(prefix.log_entries()).split("\n"):
        if line == BANNER:
            runs.append([])
        if runs and line:
            runs[-1].append(line)
    return runs


def last_run(prefix):
    runs = logged_runs(prefix)
    return runs[-1] if runs else []


def hwnd_text(window):
    """A window handle as the log prints it."""
    return f"{window.hwnd & 0xFFFFFFFF:08X}"


class TeamsActionsTest(unittest.TestCase):
    def setUp(self):
        self.prefix = harness.WinePrefix().__enter__()
        self.addCleanup(self.prefix.__exit__, None, None, None)

    def teams(self, windows, **client):
        teams = TeamsStandIn(self.prefix, windows=windows, **client).__enter__()
        self.addCleanup(teams.__exit__, None, None, None)
        return teams

    def window(self, title, image="Teams.exe"):
        """The stand-in's window with this title, as another program sees it."""
        return next(w for w in probe.windows(self.prefix) if w.title == title and w.image_name == image)

    def run_url(self, query, timeout=60):
        code, elapsed = self.prefix.run(harness.mirrowcast_exe(), [URL + query], timeout=timeout)
        return code, elapsed, last_run(self.prefix)

    def answer_while_notification_shows(self, teams, notification_key, participant="John%20Smith"):
        """Starts an answer, makes the notification visible once the program
        waits for it, and returns the program's exit code and log."""
        program = self.start("answercall&participant=" + participant)
        self.wait_for_log(lambda log: harness.line("waiting for notification") in log)
        teams.act("show " + notification_key)
        return program.wait(timeout=60) & 0xFF, last_run(self.prefix)

    def test_answer_sends_the_shortcut_to_the_notification_and_minimises_the_call_window(self):
        teams = self.teams([("notify", NOTIFICATION, "hidden,oncall=Call with John Smith"),
                            ("main", MAIN, "")])
        code, log = self.answer_while_notification_shows(teams, "notify")

        self.assertEqual(code, 0)
        # The stand-in activates the pop-up as it shows it; on a loaded machine
        # the activation may land after the program looked, and the program
        # then brings the pop-up forward itself: the same answer, a line more.
        entries = [e for e in log[log.index(BANNER) + 1:] if e != harness.line("bringing to foreground")]
        self.assertEqual(entries, [
            "action=answercall",
            "participant=John Smith",
            "Protocolhandler invoked (Teams main app identified) (Call notification identified)...",
            harness.line("waiting for notification"),
            harness.line("notification found hidden"),
            harness.line("notification detected"),
            harness.line("keys sent"),
            harness.line("waiting for call window", "John Smith"),
            harness.line("minimizing", "Call with John Smith"),
        ])
        teams.wait_event("syscommand call F020")
        words = [event[1:] for event in teams.events()]
        order = [words.index(e) for e in [("shown", "notify"), ("keys", "notify"), ("created", "call"),
                                          ("syscommand", "call", "F020")]]
        self.assertEqual(order, sorted(order), words)
        self.assertNotIn(("syscommand", "main", "F020"), words)
        self.assertTrue(self.window("Call with John Smith").minimized)

    def test_notification_found_by_exclusion_is_answered_too(self):
        teams = self.teams([("main", MAIN, ""), ("toast", "", "hidden,oncall=New Window")])
        toast = self.window("")
        code, log = self.answer_while_notification_shows(teams, "toast", participant="Ann%20Lee")

        self.assertEqual(code, 0)
        self.assertIn(f"Call notification {hwnd_text(toast)} found by exclusion", log)
        self.assertIn("Protocolhandler invoked (Teams main app identified) (Call notification found)...", log)
        self.assertEqual(log[-1], harness.line("minimizing", "New Window"))
        teams.wait_event("syscommand call F020")
        self.assertIn(("keys", "toast"), [event[1:] for event in teams.events()])

    def test_close_posts_the_close_command_to_the_participants_window_only(self):
        teams = self.teams([("ann", "Call with Ann Lee", ""),
                            ("john", "Call with John  Smith", "minimized"),
                            ("notify", NOTIFICATION, "hidden"),
                            ("main", MAIN, "")])
        code, _, log = self.run_url("closecallwindow&participant=john%20smith")

        self.assertEqual(code, 0)
        self.assertEqual(log[-2:], ['Closing call window for participant "john smith"...',
                                    'Sending Close command to window "Call with John  Smith"...'])
        teams.wait_event("destroyed john")
        words = [event[1:] for event in teams.events()]
        self.assertIn(("syscommand", "john", "F060"), words)
        self.assertEqual([w for w in words if w[0] in ("syscommand", "destroyed") and w[1] != "john"], [])

    def test_main_window_is_remembered_for_runs_that_see_a_call_window_beside_it(self):
        teams = self.teams([("notify", NOTIFICATION, "hidden"), ("main", MAIN, "")])
        main = self.window(MAIN)
        _, _, log = self.run_url("closecallwindow&participant=Nobody")
        self.assertIn("Protocolhandler invoked (Teams main app identified) (Call notification identified)...", log)
        stored = self.prefix.reg("query", CACHE_KEY, "/v", "MainTeamsApp").stdout
        self.assertRegex(stored, rf"MainTeamsApp\s+REG_DWORD\s+0x0*{main.hwnd & 0xFFFFFFFF:x}\b")

        # Now the main window's title holds the participant too, and it is
        # above the call window: only the remembered main window keeps the
        # lookup off it.
        teams.act("title main Chat | John Smith | Microsoft Teams")
        teams.act("create call|John Smith|")
        teams.act("show main")
        self.assertEqual([w.title for w in probe.windows(self.prefix)][:2],
                         ["Chat | John Smith | Microsoft Teams", "John Smith"])
        _, _, log = self.run_url("closecallwindow&participant=John%20Smith")
        self.assertIn("Protocolhandler invoked (Teams main app known) (Call notification identified)...", log)
        self.assertEqual(log[-1], 'Sending Close command to window "John Smith"...')
        teams.wait_event("destroyed call")
        self.assertNotIn(("destroyed", "main"), [event[1:] for event in teams.events()])
        teams.stop()

        # The key is volatile: a new session (server restart) has lost it.
        # (Wine drops the parent as well, having no value of its own to save;
        # the unit tests check that it is made as an ordinary key.)
        self.prefix.restart_server()
        self.assertNotEqual(self.prefix.reg("query", CACHE_KEY).returncode, 0)

    def test_stale_cache_entry_is_refused_and_left_in_place(self):
        teams = self.teams([("notify", NOTIFICATION, "hidden"), ("call", "Call with Ann Lee", "hidden"),
                            ("main", MAIN, "")])
        self.run_url("closecallwindow&participant=Nobody")
        nine_hours_ago = int((time.time() + 11644473600 - 9 * 3600) * 10_000_000)  # as a FILETIME
        added = self.prefix.reg("add", CACHE_KEY, "/v", "MainTeamsApp/TimeStamp", "/t", "REG_QWORD",
                                "/d", str(nine_hours_ago), "/f")
        self.assertEqual(added.returncode, 0, added.stderr)

        teams.act("show call")
        _, _, log = self.run_url("closecallwindow&participant=Nobody")
        self.assertIn("Protocolhandler invoked (Call notification identified)...", log)
        self.assertIn(f"Window {hwnd_text(self.window(MAIN))} main:0 callnotify:0 visible:1, minimized:0 [{MAIN}]",
                      log)
        stamps = [values.get("MainTeamsApp/TimeStamp") for values in self.prefix.export_key(CACHE_KEY).values()]
        self.assertIn("hex(b):" + ",".join(f"{b:02x}" for b in nine_hours_ago.to_bytes(8, "little")), stamps)

    def test_validateconfig_lists_every_teams_window_with_what_the_scan_made_of_it(self):
        teams = self.teams([("notify", NOTIFICATION, ""), ("tray", "", "hidden"), ("main", MAIN, ""),
                            ("meeting", "Meeting with Ann | Microsoft Teams", "hidden,minimized")])
        with TeamsStandIn(self.prefix, image_name="Browser.exe", windows=[("page", NOTIFICATION, "")]):
            first = self.listing(4)
            teams.act("show meeting")
            second = self.listing(4)
        notify, tray, main, meeting = (self.window(t) for t in
                                       [NOTIFICATION, "", MAIN, "Meeting with Ann | Microsoft Teams"])

        def line(window, main_column, callnotify, visible, minimized):
            return (f"Window {hwnd_text(window)} main:{main_column} callnotify:{callnotify} "
                    f"visible:{visible}, minimized:{minimized} [{window.title}]")

        self.assertEqual(first, [
            harness.line("enumerating"),
            line(notify, 0, 1, 1, 0),
            line(tray, 0, 0, 0, 0),
            line(main, 1, 0, 1, 0),
            line(meeting, 0, 0, 0, 1),
        ])
        # A second visible window leaves the main window to the cache.
        self.assertIn(line(main, 2, 0, 1, 0), second)
        self.assertIn(line(meeting, 0, 0, 1, 0), second)

    def listing(self, count):
        """Runs the validateconfig action until its listing of `count` windows
        is in the log, closes the status window it opens afterwards, and
        returns the listing."""
        program = self.start("validateconfig")

        def listed(log):
            return log[log.index(harness.line("enumerating")):] if harness.line("enumerating") in log else []

        log = self.wait_for_log(lambda log: len(listed(log)) == count + 1)
        if program.poll() is None:
            self.prefix.run(harness.probe_exe(), ["close-status"], timeout=30)
            program.wait(timeout=30)
        return listed(log)

    def start(self, query):
        """Starts the program with the URL in the background."""
        self.runs_before = len(logged_runs(self.prefix))
        return self.prefix.start(harness.mirrowcast_exe(), [URL + query])

    def wait_for_log(self, done, timeout=30):
        """Waits until the run last started has logged what `done` looks
        for; returns that run's texts."""
        deadline = time.monotonic() + timeout
        while True:
            runs = logged_runs(self.prefix)
            if len(runs) > self.runs_before and done(runs[-1]):
                return runs[-1]
            self.assertLess(time.monotonic(), deadline, runs[-1:])
            time.sleep(0.05)

    def test_the_client_of_today_is_answered_and_closed_like_the_classic_one(self):
        # ms-teams.exe with windows of class TeamsWebView. Nobody has confirmed
        # the title of its incoming-call pop-up, so the stand-in gives it one
        # the program does not know: it is found as the one window left.
        teams = self.teams([("notify", "Incoming call", "hidden,oncall=John Smith | Microsoft Teams"),
                            ("main", MAIN, "")], image_name="ms-teams.exe", window_class="TeamsWebView")
        code, log = self.answer_while_notification_shows(teams, "notify")
        self.assertEqual(code, 0)
        self.assertIn("Protocolhandler invoked (Teams main app identified) (Call notification found)...", log)
        self.assertEqual(log[-1], harness.line("minimizing", "John Smith | Microsoft Teams"))
        teams.wait_event("syscommand call F020")

        code, _, log = self.run_url("closecallwindow&participant=John%20Smith")
        self.assertEqual(log[-1], 'Sending Close command to window "John Smith | Microsoft Teams"...')
        teams.wait_event("destroyed call")

    def test_both_clients_on_one_desktop_are_listed_in_one_z_order(self):
        classic = self.teams([("main", MAIN, ""), ("tray", "", "hidden")])
        today = self.teams([("main", "Chat | Microsoft Teams", ""), ("meeting", "Ann Lee | Microsoft Teams", "")],
                           image_name="ms-teams.exe", window_class="TeamsWebView")
        # The stand-in started last is on top; the classic main window is
        # raised above it again.
        classic.act("show main")
        expected = [w for w in probe.windows(self.prefix) if w.image_name in ("Teams.exe", "ms-teams.exe")]
        self.assertEqual([w.image_name for w in expected][:2], ["Teams.exe", "ms-teams.exe"])
        code, _ = self.prefix.run_console(harness.mirrowcast_exe(), ["/debuginfo"])
        self.assertEqual(code, 0)
        listing = [line for line in last_run(self.prefix) if line.startswith("Window ")]
        self.assertEqual([line.split()[1] for line in listing[:len(expected)]], [hwnd_text(w) for w in expected])
        # Then every window of a Teams process, whatever its class (the
        # system gives each process windows of its own), and no other's.
        process_lines = listing[len(expected):]
        self.assertTrue(all(re.search(r" image:\[(Teams|ms-teams)\.exe\] ", line) for line in process_lines),
                        process_lines)
        self.assertIn(f"Window {hwnd_text(expected[1])} class:[TeamsWebView] image:[ms-teams.exe] visible:1, "
                      f"minimized:0 [{expected[1].title}]", process_lines)

    def test_policy_adds_an_image_a_class_and_titles_and_a_value_of_the_wrong_type_is_ignored(self):
        policy = r"HKLM\SOFTWARE\Policies\Velmorathis\Velmorathis Mirrowcast"
        for name, data in [("TeamsImageNames", "lync.exe"), ("TeamsWindowClasses", "LyncWindow"),
                           ("NotificationTitles", "Incoming Lync call"),
                           ("CallInProgressTitles", "Lync call in progress")]:
            added = self.prefix.reg("add", policy, "/v", name, "/t", "REG_MULTI_SZ", "/d", data, "/f")
            self.assertEqual(added.returncode, 0, added.stderr)
        self.teams([("progress", "Lync call in progress - John Smith", ""), ("call", "John Smith", ""),
                    ("notify", "Incoming Lync call", "hidden"), ("main", MAIN, "")],
                   image_name="lync.exe", window_class="LyncWindow")
        _, _, log = self.run_url("closecallwindow&participant=John%20Smith")
        self.assertIn("Protocolhandler invoked (Call notification identified)...", log)
        self.assertEqual(log[-1], 'Sending Close command to window "John Smith"...')

        # As a plain string the in-progress titles are ignored, and say so:
        # now the in-progress window, higher up, holds the name first.
        self.prefix.reg("add", policy, "/v", "CallInProgressTitles", "/t", "REG_SZ", "/d", "x", "/f")
        _, _, log = self.run_url("closecallwindow&participant=John%20Smith")
        self.assertIn('Policy value "CallInProgressTitles" ignored (not a multi-string).', log)
        self.assertEqual(log[-1], 'Sending Close command to window "Lync call in progress - John Smith"...')

    def test_keys_reach_teams_when_another_programs_window_has_the_focus(self):
        # The attendant clicked the link in the browser.
        teams = self.teams([("notify", NOTIFICATION, "hidden,oncall=Call with John Smith"), ("main", MAIN, "")])
        with TeamsStandIn(self.prefix, image_name="Browser.exe", windows=[("page", "Attendant", "")]) as browser:
            browser.act("show page")
            self.assert_answered_past(teams, browser, "Call with John Smith")

    def assert_answered_past(self, ringing, other, call_title, busy_ms=0):
        """Answers John Smith's call, whose notification `ringing` shows now
        without the focus, which `other` has: the program brings the
        notification forward, and the keys reach it and nothing of `other`."""
        since = ringing.act("showna notify")
        if busy_ms:
            ringing.wait_event("busy", since=ringing.command(f"busy {busy_ms}"))
        code, _, log = self.run_url("answercall&participant=John%20Smith")
        self.assertEqual(code, 0)
        self.assertEqual(log[-4:], [harness.line("bringing to foreground"),
                                    harness.line("keys sent"), harness.line("waiting for call window", "John Smith"),
                                    harness.line("minimizing", call_title)])
        ringing.wait_event("keys notify", since=since)
        self.assertEqual([e for e in other.events() if e[1] in ("keys", "keydown")], [])

    def test_a_chat_popped_out_with_the_caller_is_not_taken_for_the_call_window(self):
        # The chat is visible before the keys and names the caller; Teams
        # opens the call window 400 ms after the keys.
        teams = self.teams([("notify", NOTIFICATION, "oncall=John Smith | Microsoft Teams,calldelay=400"),
                            ("chat", "Chat | John Smith | Microsoft Teams", ""), ("main", MAIN, "")])
        since = teams.act("show notify")
        code, _, log = self.run_url("answercall&participant=John%20Smith")
        self.assertEqual(code, 0)
        self.assertEqual(log[-1], harness.line("minimizing", "John Smith | Microsoft Teams"))
        teams.wait_event("syscommand call F020", since=since)
        self.assertNotIn(("syscommand", "chat", "F020"), [event[1:] for event in teams.events()])

    def test_keys_go_to_the_client_that_rings_when_the_other_one_has_the_focus(self):
        # Both clients run; the attendant works in the classic one while the
        # one of today rings, busy for 1.5 s: it takes the activation, and
        # with it the keys, only once it is free.
        classic = self.teams([("main", MAIN, "")])
        today = self.teams([("notify", NOTIFICATION, "hidden,oncall=John Smith | Microsoft Teams"),
                            ("main", "Calendar | Microsoft Teams", "")],
                           image_name="ms-teams.exe", window_class="TeamsWebView")
        classic.act("show main")
        self.assert_answered_past(today, classic, "John Smith | Microsoft Teams", busy_ms=1500)

    def test_a_name_in_any_script_finds_its_window_through_the_shells_dispatch(self):
        self.prefix.run(harness.mirrowcast_exe(), ["/registerhandler"])
        teams = self.teams([("notify", NOTIFICATION, "hidden"), ("main", MAIN, ""),
                            ("call", "Call with \u0218TEFAN", "")])
        # encodeURIComponent("ștefan"): UTF-8, escape by escape.
        self.assertEqual(self.prefix.shell_open(URL + "closecallwindow&participant=%C8%99tefan"), 0)
        log = last_run(self.prefix)
        self.assertIn("participant=\u0219tefan", log)
        self.assertEqual(log[-1], 'Sending Close command to window "Call with \u0218TEFAN"...')
        teams.wait_event("destroyed call")

    def test_a_call_window_taken_for_the_hidden_main_window_is_still_closed(self):
        # Teams closed to the notification area: the call window is the one
        # visible Teams window, and the scan takes it for the main window.
        teams = self.teams([("notify", NOTIFICATION, "hidden"), ("main", MAIN, "hidden"),
                            ("call", "Call with John Smith", "")])
        _, _, log = self.run_url("closecallwindow&participant=John%20Smith")
        self.assertIn("Protocolhandler invoked (Teams main app identified) (Call notification identified)...", log)
        self.assertEqual(log[-1], 'Sending Close command to window "Call with John Smith"...')
        teams.wait_event("destroyed call")

    def test_a_viewer_following_the_log_or_a_stuck_file_does_not_hold_up_an_answer(self):
        # Prints the time from the program's launch to the keys at the
        # stand-in, and the entries the run wrote, for each way the day's file
        # may be held: figures to read, not limits.
        # A caller of its own for each answer: the same one again so soon
        # would be a repeated URL, which answers nothing.
        callers = ["John%20Smith", "Ann%20Lee", "Bob%20Ray"]
        teams = self.teams([("notify", NOTIFICATION, "oncall=Call with John Smith / Ann Lee / Bob Ray"),
                            ("main", MAIN, "")])
        self.run_url("closecallwindow&participant=Nobody")  # the day's file exists from here on
        (day_file,) = (entry.path for entry in os.scandir(self.prefix.log_folder))
        figures = []
        for caller, (what, args) in zip(callers, [
                ("nothing else", None), ("a viewer following the file", ["follow", "8000"]),
                ("another process holding it, sharing nothing, 5 s", ["hold", "5000", "1", "0"])]):
            holder = None
            if args:
                holder = self.prefix.start(harness.probe_exe(), [args[0], self.prefix.winpath(day_file), *args[1:]],
                                           stdout=subprocess.PIPE)
                if args[0] == "hold":
                    self.assertEqual(holder.stdout.readline().strip(), b"holding")
                else:
                    time.sleep(1.0)  # let it open the file
            since = teams.act("show notify")
            runs_before = len(logged_runs(self.prefix))
            started = time.time()
            code, _, _ = self.run_url("answercall&participant=" + caller)
            keys = teams.wait_event("keys notify", since=since)
            if holder:
                holder.communicate(timeout=30)
            entries = logged_runs(self.prefix)[runs_before:]
            figures.append((what, (keys[0] / 1e6 - started) * 1000, sum(len(r) for r in entries)))
            self.assertEqual(code, 0)
            teams.wait_event("syscommand call F020", since=since)
        for what, ms, entries in figures:
            print(f"answer with {what}: launch to keys {ms:.0f} ms, {entries} entries written", flush=True)
        self.assertEqual(figures[1][2], figures[0][2], "a follower keeps no entry out")

    def test_windows_that_come_and_go_above_teams_do_not_hide_it(self):
        # A browser above Teams makes and destroys windows of Teams' class all
        # the time (tooltips, pop-ups). A walk that asks for the window after
        # the one it just passed stops when that one has gone or is going;
        # every walk here must still reach Teams below them.
        teams = self.teams([("notify", NOTIFICATION, "oncall=Call with John Smith"), ("main", MAIN, "")])
        with TeamsStandIn(self.prefix, image_name="Browser.exe", churn_ms=20,
                          windows=[("tip1", "Tooltip", ""), ("tip2", "", ""), ("popup", "Pop-up", "")]):
            for run in range(20):
                since = teams.act("show notify")
                # A queue's calls, each its own: one queue call right after
                # another of the same queue would be a double click.
                code, _, log = self.run_url(f"answercall&participant=KVX%20Queue%20{run}")
                self.assertEqual(code, 0)
                # From the second run on the minimised call window stands beside
                # the main window, which then comes from the cache.
                main = "identified" if run == 0 else "known"
                self.assertIn(f"Protocolhandler invoked (Teams main app {main}) (Call notification identified)...",
                              log, f"run {run}")
                self.assertEqual(log[-1], harness.line("minimizing", "Call with John Smith"), f"run {run}: {log}")
                teams.wait_event("syscommand call F020", since=since)

    def test_a_double_click_answers_once_and_the_next_caller_ringing_later_is_not_answered(self):
        # A run that died holding the session's answer lock left it
        # abandoned: the next answer takes it.
        self.assertEqual(self.prefix.run(harness.probe_exe(), ["mutex", ANSWER_LOCK, "0", "abandon"])[0], 0)
        teams = self.teams([("notify", NOTIFICATION, "hidden,oncall=Call with John Smith"), ("main", MAIN, "")])
        since = teams.act("show notify")
        runs_before = len(logged_runs(self.prefix))
        first = self.prefix.start(harness.mirrowcast_exe(), [URL + "answercall&participant=John%20Smith"])
        time.sleep(0.15)
        second = self.prefix.start(harness.mirrowcast_exe(), [URL + "answercall&participant=John%20Smith"])
        self.assertEqual([first.wait(timeout=60) & 0xFF, second.wait(timeout=60) & 0xFF], [0, 0])
        teams.wait_event("syscommand call F020", since=since)
        # Teams hides the answered call's pop-up; the next caller rings 8 s later.
        teams.act("hide notify")
        time.sleep(8)
        teams.act("show notify")
        time.sleep(2)
        self.assertEqual([e[1:] for e in teams.events()[since:] if e[1] == "keys"], [("keys", "notify")])
        endings = sorted(run[-1] for run in logged_runs(self.prefix)[runs_before:])
        self.assertEqual(len(endings), 2, endings)
        self.assertEqual(endings[1], harness.line("minimizing", "Call with John Smith"))
        self.assertRegex(endings[0], r'^An answer for "John Smith" (is already running|was sent \d+ ms ago); '
                                     r'nothing done\.$')

    def test_two_pop_ups_ringing_get_no_keys(self):
        teams = self.teams([("bob", NOTIFICATION, "hidden,oncall=Call with Bob Ray"),
                            ("ann", NOTIFICATION, "hidden,oncall=Call with Ann Lee"), ("main", MAIN, "")])
        since = teams.act("showna bob")
        teams.act("show ann")
        code, _, log = self.run_url("answercall&participant=Ann%20Lee")
        self.assertEqual(code, 0)
        self.assertEqual(log[-1], "2 Teams call notification windows are showing; none is known to be "
                                  "\"Ann Lee\"'s; keys not sent.")
        self.assertEqual([e for e in teams.events()[since:] if e[1] in ("keys", "keydown")], [])

    def test_a_pop_up_that_opens_after_the_url_is_answered_and_without_one_the_wait_ends_after_30_s(self):
        teams = self.teams([("main", MAIN, "")])
        program = self.start("answercall&participant=John%20Smith")
        # The web application sent the URL as its own screen showed the call;
        # Teams makes its pop-up two seconds later.
        time.sleep(2)
        since = teams.act(f"create notify|{NOTIFICATION}|oncall=Call with John Smith")
        self.assertEqual(program.wait(timeout=60) & 0xFF, 0)
        notify = self.window(NOTIFICATION)
        self.assertEqual(last_run(self.prefix)[-8:], [
            harness.line("waiting for notification"),
            harness.line("no notification yet"),
            f"Teams call notification window {hwnd_text(notify)} appeared.",
            harness.line("notification detected"),
            harness.line("bringing to foreground"),
            harness.line("keys sent"),
            harness.line("waiting for call window", "John Smith"),
            harness.line("minimizing", "Call with John Smith"),
        ])
        teams.wait_event("syscommand call F020", since=since)

        # A pop-up that stays hidden: the wait ends after 30 seconds by the
        # clock. (Another caller: John Smith's was answered a moment ago.)
        since = teams.act("hide notify")
        started = time.monotonic()
        code, _, log = self.run_url("answercall&participant=Ann%20Lee", timeout=60)
        elapsed = time.monotonic() - started
        self.assertEqual(code, 0)
        self.assertGreaterEqual(elapsed, 30)
        self.assertLess(elapsed, 45)
        self.assertEqual(log[-3:], [
            harness.line("waiting for notification"),
            harness.line("notification found hidden"),
            "Wait aborted, no active call detected.",
        ])
        self.assertNotIn("keys", [event[1] for event in teams.events()[since:]])

if __name__ == "__main__":
    unittest.main()
