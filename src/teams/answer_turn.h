// One answer at a time in the session, and one answer per call.
//
// Every URL starts a process of its own: a double click, a web application
// that sends the same URL again, or two calls clicked one after the other
// run side by side. Left alone, a second run for a call that was just
// answered waits for a pop-up and presses Shift+Ctrl+S into the next
// caller's, who is then answered without a click. So an answer takes its
// turn first, through named objects of the session (a multi-session host
// gives every user's session its own):
//   "Local\Velmorathis.Mirrowcast.Answer"           one answer at a time;
//   "Local\Velmorathis.Mirrowcast.Answer.<hash>"    one run per participant
//                                                   (the same as compared with titles);
//   "Local\Velmorathis.Mirrowcast.Answer.Waiting"   set while a run waits for its turn.
// An answer that sent its keys also leaves the participant and the moment in
// the volatile key beside the main window cache ("RecentAnswers"), so a run
// for the same caller soon after is a duplicate too, even once the first has
// ended.
#pragma once

#include <cstdint>

#include "teams/teams_window_scan.h"
#include "util/handles.h"
#include "winapi/desktop.h"

namespace teams {

// A run for the caller an answer's keys went to this long ago is the same
// click again: Teams rings for 30 s. For a queue's calls (KVX) or no
// participant, one attendant answers call after call, so only a double
// click's distance counts.
constexpr std::uint32_t RepeatedAnswerMs = 35'000;
constexpr std::uint32_t RepeatedQueueAnswerMs = 3'000;
// How long a run waits for another answer to end: longer than one answer's
// two waits.
constexpr std::uint32_t AnswerTurnWaitMs = 65'000;

class AnswerTurn {
public:
    // No turn taken: nothing held, nothing checked or recorded.
    AnswerTurn() = default;
    ~AnswerTurn();
    AnswerTurn(const AnswerTurn&) = delete;
    AnswerTurn& operator=(const AnswerTurn&) = delete;

    // Takes the session's turn for an answer to the participant: false, and
    // the log says why, when this run must do nothing at all (another run
    // answers the same participant now or did within the repeat window, or
    // another answer did not end within 65 s). A lock that cannot be had
    // for any other reason is said once and the run goes on without it.
    [[nodiscard]] bool take(logging::DiagnosticLog& log, const Participant& participant);

    // The run had to wait for another answer to end: the pop-up it was sent
    // for may have gone meanwhile, and a new one is another caller's.
    [[nodiscard]] bool waited() const { return waitedForAnother; }
    // Another run waits for this one's turn.
    [[nodiscard]] bool anotherIsWaiting() const;
    // True, after the log says so, when an answer's keys went to this
    // participant within the repeat window.
    [[nodiscard]] bool answeredJustNow(logging::DiagnosticLog& log) const;
    // The keys went to this participant's pop-up now.
    void recordKeys() const;

private:
    bool taken = false;
    bool queueCall = false;  // KVX-marked or no participant: the shorter repeat window
    bool waitedForAnother = false;
    bool holdsParticipant = false;
    bool holdsAnswer = false;
    const char16_t* shown = nullptr;             // the participant as logged
    char16_t key[win::WindowTextCapacity] = {};  // as compared: folded, without spaces
    util::UniqueSessionObject participantLock;
    util::UniqueSessionObject answerLock;
    util::UniqueSessionObject waitingSignal;
};

}  // namespace teams
