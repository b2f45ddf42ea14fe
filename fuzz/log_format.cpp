// The log's formatter and its writing path with arbitrary inserts.
//
// Mode 0: util::formatInto with an arbitrary format, arbitrary arguments and a
// buffer of arbitrary size (0 included), exactly as large as claimed. The
// result must be terminated inside the buffer, be the start of what a large
// buffer gets, never end in half a surrogate pair, and say it fitted exactly when
// nothing was cut (a format that does not match its arguments never fits); with controls marked, no control character may come from an
// insert.
// Mode 1: DiagnosticLog::print with the system's own message formats and
// arbitrary inserts, and writeLine with an arbitrary text. The day's file must
// hold exactly one entry, with one UTC prefix (none for a bare line break),
// and the text built here independently, cut at 1023 characters (1022 where
// the cut would split a surrogate pair).
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_text.h"
#include "test_log.h"
#include "util/format.h"
#include "inmemory/inmemory.h"
#include "program_run.h"

namespace {

constexpr char16_t Prefix[] = u"[2026-12-07 10:00:00] ";

// The characters an insert may not bring into the log raw.
bool isControl(char16_t c)
{
    return (c < 0x20 && c != u'\t') || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool isHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

std::size_t countControls(const std::u16string& text)
{
    std::size_t n = 0;
    for (char16_t c : text) {
        n += isControl(c) ? 1 : 0;
    }
    return n;
}

void formatEngine(fuzz::Input& input)
{
    const std::size_t dstSize = input.byte() | (input.byte() & 0x7) << 8;  // 0..2047
    const bool mark = (input.byte() & 1) != 0;
    const std::size_t argCount = input.byte() % 9;
    std::vector<std::u16string> texts(argCount);
    std::vector<util::FormatArg> args(argCount + 1, util::FormatArg{});
    for (std::size_t i = 0; i < argCount; ++i) {
        util::FormatArg& a = args[i];
        switch (input.byte() % 5) {
        case 0:
            a.kind = util::FormatArg::Kind::String;
            texts[i] = input.text(300, 0xEF);
            a.text = texts[i].c_str();
            break;
        case 1:
            a.kind = util::FormatArg::Kind::String;
            a.text = nullptr;
            break;
        case 2:
            a.kind = util::FormatArg::Kind::Int32;
            a.i32 = static_cast<std::int32_t>(input.number(4));
            break;
        case 3:
            a.kind = util::FormatArg::Kind::Int64;
            a.i64 = static_cast<std::int64_t>(input.number(8));
            break;
        default:
            a.kind = util::FormatArg::Kind::Pointer;
            a.pointer = static_cast<std::uintptr_t>(input.number(8));
            break;
        }
    }
    std::u16string format = input.rest();
    format = format.substr(0, format.find(u'\0'));
    std::vector<char16_t> formatBuffer(format.begin(), format.end());
    formatBuffer.push_back(0);

    util::FormatOptions options;
    options.markControlsInInserts = mark;
    // Large enough for any output of this input (a cut one still passes the
    // checks below), and made once: clearing 128 KB per run halves the speed.
    static std::vector<char16_t> large(1 << 16);
    const bool largeFitted =
        util::formatInto(large.data(), large.size(), formatBuffer.data(), args.data(), argCount, options);
    const std::u16string whole(large.data());

    // A heap block of exactly dstSize units: one unit more written is caught.
    std::unique_ptr<char16_t[]> small(dstSize != 0 ? new char16_t[dstSize] : nullptr);
    const bool fitted = util::formatInto(small.get(), dstSize, formatBuffer.data(), args.data(), argCount, options);
    if (dstSize == 0) {
        if (fitted) {
            fuzz::fail("a buffer of size zero is reported as fitting", format);
        }
        return;
    }
    const char16_t* end = std::char_traits<char16_t>::find(small.get(), dstSize, u'\0');
    if (end == nullptr) {
        fuzz::fail("the output is not terminated inside its buffer", format);
    }
    const std::u16string got(small.get(), static_cast<std::size_t>(end - small.get()));
    if (whole.compare(0, got.size(), got) != 0) {
        fuzz::fail("a cut output is not the start of the whole output", format);
    }
    if (!largeFitted) {
        if (fitted) {
            fuzz::fail("a mismatched format reported success", format);
        }
    } else if (got.size() == whole.size()) {
        if (!fitted) {
            fuzz::fail("a whole output reported as cut", format);
        }
    } else if (fitted || (got.size() != dstSize - 1 &&
                          !(got.size() == dstSize - 2 && isHigh(whole[got.size()]) && isLow(whole[got.size() + 1])))) {
        fuzz::fail("a cut output not reported, or cut short of the buffer", format);
    }
    if (!got.empty() && got.size() < whole.size() && isHigh(got.back()) && isLow(whole[got.size()])) {
        fuzz::fail("the cut split a surrogate pair", format);
    }
    if (mark && countControls(whole) > countControls(format)) {
        fuzz::fail("a control character of an insert reached the output", format);
    }
}

// An insert as the log shows it: C0 controls but TAB as their Control
// Pictures signs, DEL as its own, the rest, and a surrogate that is not half
// of a pair, as U+FFFD.
std::u16string marked(const std::u16string& insert)
{
    std::u16string out = insert;
    for (std::size_t i = 0; i < out.size(); ++i) {
        char16_t& c = out[i];
        if (isHigh(c) && i + 1 < out.size() && isLow(out[i + 1])) {
            ++i;
        } else if (isHigh(c) || isLow(c)) {
            c = 0xFFFD;
        } else if (isControl(c)) {
            c = c < 0x20 ? static_cast<char16_t>(0x2400 + c) : c == 0x7F ? char16_t{0x2421} : char16_t{0xFFFD};
        }
    }
    return out;
}

std::u16string decimal(std::int64_t value)
{
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

std::u16string hex8(std::uint64_t value)
{
    std::u16string out;
    for (int shift = 28; shift >= 0; shift -= 4) {
        out += u"0123456789ABCDEF"[(value >> shift) & 0xF];
    }
    return out;
}

void logEntry(fuzz::Input& input)
{
    inmemory::reset();
    const bool console = (input.byte() & 1) != 0;
    inmemory::setParentConsole(console);
    const std::uint8_t which = input.byte() % 8;
    // An insert is a C string: it ends at its first zero.
    std::u16string a = input.text(2000, 0xEF);
    a = a.substr(0, a.find(u'\0'));
    std::u16string b = input.text(2000, 0xEF);
    b = b.substr(0, b.find(u'\0'));
    const auto n = static_cast<std::int32_t>(input.number(4));
    const auto big = static_cast<std::int64_t>(input.number(8));
    const auto window = reinterpret_cast<win::HWND>(static_cast<std::uintptr_t>(input.number(8)));
    std::u16string raw = input.rest();
    raw = raw.substr(0, raw.find(u'\0'));
    std::vector<char16_t> rawBuffer(raw.begin(), raw.end());
    rawBuffer.push_back(0);

    std::u16string expected;
    std::u16string echoed;  // the console gets the text as writeLine got it
    {
        TestLog log;
        switch (which) {
        case 0:
            log.print(u"%s=%s\n", a.c_str(), b.c_str());
            expected = marked(a) + u"=" + marked(b) + u"\n";
            break;
        case 1:
            log.print(u"Missing or unknown action \"%s\"", a.c_str());
            expected = u"Missing or unknown action \"" + marked(a) + u"\"";
            break;
        case 2:
            log.print(u"Invalid command line syntax \"%s\"\n", a.c_str());
            expected = u"Invalid command line syntax \"" + marked(a) + u"\"\n";
            break;
        case 3:
            log.print(u"Window %p main:%d callnotify:%d visible:%d, minimized:%d [%s]\n", window, n, n >> 8, n >> 16,
                      n >> 24, a.c_str());
            expected = u"Window " + hex8(reinterpret_cast<std::uintptr_t>(window)) + u" main:" + decimal(n) +
                       u" callnotify:" + decimal(n >> 8) + u" visible:" + decimal(n >> 16) + u", minimized:" +
                       decimal(n >> 24) + u" [" + marked(a) + u"]\n";
            break;
        case 4:
            log.print(u"Invalid parameter(s) %d\n", n);
            expected = u"Invalid parameter(s) " + decimal(n) + u"\n";
            break;
        case 5:
            log.print(u"Deleting expired logfile [%s] age %I64d seconds\n", a.c_str(), big);
            expected = u"Deleting expired logfile [" + marked(a) + u"] age " + decimal(big) + u" seconds\n";
            break;
        case 6:
            log.print(u"Minimizing call window \"%s\"...\n", a.c_str());
            expected = u"Minimizing call window \"" + marked(a) + u"\"...\n";
            break;
        default:
            // A finished text goes out as it is: no marks, only the cut.
            log.writeLine(rawBuffer.data());
            expected = raw;
            break;
        }
    }
    // A formatted text is cut before a pair it cannot hold whole; a finished
    // one, as it is.
    const std::size_t limit = logging::DiagnosticLog::TextCapacity - 1;
    expected =
        expected.substr(0, which != 7 && expected.size() > limit && isHigh(expected[limit - 1]) ? limit - 1 : limit);
    echoed = which == 7 ? raw : expected;
    const std::u16string file = inmemory::fileText(DayLogFile);
    const std::u16string want = expected == u"\n" ? expected : Prefix + expected;
    if (file != want) {
        fuzz::fail("the entry in the file is not the expected one", file);
    }
    if (console && inmemory::consoleOutput() != echoed) {
        fuzz::fail("the console echo is not the text", inmemory::consoleOutput());
    }
    if (inmemory::openHandleCount() != 0) {
        fuzz::fail("the day's file was left open", file);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input{data, size};
    if ((input.byte() & 1) == 0) {
        formatEngine(input);
    } else {
        logEntry(input);
    }
    return 0;
}
