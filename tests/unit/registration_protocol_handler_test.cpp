// The protocol handler's key tree on the in-memory registry: what registering
// writes byte for byte, how validate reads what it finds, the refusal to
// overwrite, what a failure leaves behind, and removal. Access denied, odd
// value types and failing calls cannot be produced under Wine; they are here.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "test_log.h"
#include "registration/protocol_handler.h"
#include "inmemory/inmemory.h"
#include "program_run.h"

namespace {

const std::u16string Icon = SchemeKey + u"\\DefaultIcon";
// The scheme key in the user's own classes, which HKEY_CLASSES_ROOT shows over
// the machine's.
const std::u16string UserSchemeKey = u"HKCU\\Software\\Classes\\Velmorathis.Mirrowcast";
// 255 characters: the program's own command is then 262.
const std::u16string LongModulePath = u"C:\\" + std::u16string(226, u'd') + u"\\VelmorathisMirrowcast.exe";

constexpr win::DWORD NoSystemResources = 1450;

std::vector<std::uint8_t> terminatedBytes(const std::u16string& text) { return inmemory::utf16Bytes(text + u'\0'); }

class ProtocolHandlerTest : public ::testing::Test {
protected:
    void SetUp() override { fresh(); }

    // A fresh machine, for each row of a table too.
    void fresh()
    {
        log.reset();  // the old log lets go of the console before the machine is replaced
        inmemory::reset();
        seen = 0;
        inmemory::setParentConsole(true);  // every text of the log, without time stamps
        log = std::make_unique<TestLog>();
        handler.log = log.get();
    }

    // What the log said since the last call.
    std::u16string said()
    {
        const std::u16string all = inmemory::consoleOutput();
        std::u16string fresh = all.substr(seen);
        seen = all.size();
        return fresh;
    }

    std::unique_ptr<TestLog> log;
    registration::ProtocolHandler handler;
    std::size_t seen = 0;
};

}  // namespace

TEST_F(ProtocolHandlerTest, RegisteringOnACleanMachineWritesTheFourValuesAndThenRefusesToOverwrite)
{
    EXPECT_EQ(handler.registerHandler(), win::ERROR_SUCCESS);
    EXPECT_EQ(said(), u"Registering protocol handler succeeded.\n");

    // REG_SZ sizes include the terminator; "URL Protocol" is present with no data.
    EXPECT_EQ(inmemory::valueType(SchemeKey, u""), win::REG_SZ);
    EXPECT_EQ(inmemory::valueBytes(SchemeKey, u""), terminatedBytes(u"URL:Velmorathis.Mirrowcast Protocol"));
    EXPECT_EQ(inmemory::valueBytes(SchemeKey, u"").size(), 72u);
    EXPECT_TRUE(inmemory::valueExists(SchemeKey, u"URL Protocol"));
    EXPECT_EQ(inmemory::valueType(SchemeKey, u"URL Protocol"), win::REG_SZ);
    EXPECT_TRUE(inmemory::valueBytes(SchemeKey, u"URL Protocol").empty());
    EXPECT_EQ(inmemory::valueNames(SchemeKey).size(), 2u);
    EXPECT_EQ(inmemory::valueBytes(Icon, u""), terminatedBytes(ModulePath));
    EXPECT_EQ(inmemory::valueType(CommandKey, u""), win::REG_SZ);
    EXPECT_EQ(inmemory::valueBytes(CommandKey, u""), terminatedBytes(OpenCommand));
    EXPECT_FALSE(inmemory::keyIsVolatile(CommandKey));
    EXPECT_EQ(inmemory::openKeyCount(), 0u);

    EXPECT_EQ(handler.validate(), registration::ValidateResult::Valid);
    EXPECT_EQ(handler.registerHandler(), win::ERROR_SUCCESS) << "this program's own: nothing to do, nothing wrong";
    EXPECT_EQ(said(), u"Protocol handler already exists, unregister current handler before registering.\n");
    EXPECT_EQ(inmemory::openKeyCount(), 0u);
}

TEST_F(ProtocolHandlerTest, ValidateReadsWhatItFinds)
{
    struct Case {
        const char* name;
        std::function<void()> arrange;
        registration::ValidateResult result;
    };
    const Case cases[] = {
        {"nothing registered", [] {}, registration::ValidateResult::Missing},
        {"the expected command", [&] { registerHandlerByHand(OpenCommand); }, registration::ValidateResult::Valid},
        {"letter case differs only",
         [&] { registerHandlerByHand(u"\"c:\\PROGRAM FILES\\velmorathis\\VELMORATHISMIRROWCAST.EXE\" \"%1\""); },
         registration::ValidateResult::Valid},
        {"an expandable string",
         [&] { inmemory::setValue(CommandKey, u"", win::REG_EXPAND_SZ, terminatedBytes(OpenCommand)); },
         registration::ValidateResult::Valid},
        {"the program was moved", [&] { registerHandlerByHand(u"\"D:\\Old\\VelmorathisMirrowcast.exe\" \"%1\""); },
         registration::ValidateResult::Differs},
        {"the user's copy over the machine's",
         [&] {
             registerHandlerByHand(OpenCommand);
             inmemory::setStringValue(UserSchemeKey + u"\\shell\\open\\command", u"", u"\"D:\\x.exe\" \"%1\"");
         },
         registration::ValidateResult::Differs},
        {"the open command's key without its value", [&] { inmemory::setStringValue(CommandKey, u"x", u""); },
         registration::ValidateResult::Missing},
        // Registrations all the same, which cannot be compared.
        {"a number where the command belongs",
         [&] {
             inmemory::setValue(CommandKey, u"", win::REG_DWORD, {1, 0, 0, 0});
         },
         registration::ValidateResult::Differs},
        {"a command of 286 characters", [&] { registerHandlerByHand(std::u16string(286, u'x')); },
         registration::ValidateResult::Differs},
        {"a command of 600 characters", [&] { registerHandlerByHand(std::u16string(600, u'x')); },
         registration::ValidateResult::Differs},
        {"reading refused",
         [&] {
             registerHandlerByHand(OpenCommand);
             inmemory::failCall("readRegistryValue", win::ERROR_ACCESS_DENIED);
         },
         registration::ValidateResult::Differs},
        {"installed under a 255-character path",
         [&] {
             inmemory::setModuleFileName(LongModulePath);
             registerHandlerByHand(u"\"" + LongModulePath + u"\" \"%1\"");
         },
         registration::ValidateResult::Valid},
        {"module path unreadable",
         [&] {
             registerHandlerByHand(OpenCommand);
             inmemory::failCall("moduleFileName", win::ERROR_ACCESS_DENIED);
         },
         registration::ValidateResult::ModulePathUnreadable},
        {"module path unreadable, nothing registered",
         [&] { inmemory::failCall("moduleFileName", win::ERROR_ACCESS_DENIED); },
         registration::ValidateResult::Missing},
        {"module path too long for 260 units",
         [&] {
             inmemory::setModuleFileName(u"C:\\" + std::u16string(300, u'd') + u"\\VelmorathisMirrowcast.exe");
             registerHandlerByHand(OpenCommand);
         },
         registration::ValidateResult::ModulePathUnreadable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        c.arrange();
        EXPECT_EQ(handler.validate(), c.result);
        EXPECT_EQ(inmemory::openKeyCount(), 0u);
        EXPECT_EQ(said(), u"") << ": validate leaves the messages to its caller";
    }
}

TEST_F(ProtocolHandlerTest, AnUnreadableOrCutModulePathIsNeverComparedOrRegistered)
{
    log->detailEnabled = true;
    registerHandlerByHand(OpenCommand);
    inmemory::failCall("moduleFileName", win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(handler.validate(), registration::ValidateResult::ModulePathUnreadable);
    EXPECT_EQ(said(), u"Unable to retrieve module filename\n");

    // A cut path would register a program that does not exist.
    fresh();
    inmemory::setModuleFileName(u"C:\\" + std::u16string(300, u'd') + u"\\VelmorathisMirrowcast.exe");
    EXPECT_EQ(handler.registerHandler(), win::ERROR_INVALID_DATA);
    EXPECT_EQ(said(), u"Registering protocol handler failed, error 13 (system error).\n");
    EXPECT_FALSE(inmemory::keyExists(CommandKey));
}

TEST_F(ProtocolHandlerTest, AnyRegistrationIsLeftAloneAndOnlyAMissingCommandIsWritten)
{
    struct Case {
        const char* name;
        std::function<void()> arrange;
        win::DWORD result;  // 183: another registration was left in place
        std::u16string message;
    };
    const std::u16string succeeded = u"Registering protocol handler succeeded.\n";
    const std::u16string exists = u"Protocol handler already exists, unregister current handler before registering.\n";
    const Case cases[] = {
        {"points at another path", [] { registerHandlerByHand(u"\"D:\\Old\\VelmorathisMirrowcast.exe\" \"%1\""); },
         win::ERROR_ALREADY_EXISTS, exists},
        {"module path unreadable",
         [] {
             registerHandlerByHand();
             inmemory::failCall("moduleFileName", win::ERROR_ACCESS_DENIED);
         },
         win::ERROR_ALREADY_EXISTS, exists},
        {"a command of 286 characters", [] { registerHandlerByHand(std::u16string(286, u'x')); },
         win::ERROR_ALREADY_EXISTS, exists},
        {"a command of 600 characters", [] { registerHandlerByHand(std::u16string(600, u'x')); },
         win::ERROR_ALREADY_EXISTS, exists},
        {"a number as the command",
         [] {
             inmemory::setValue(CommandKey, u"", win::REG_DWORD, {1, 0, 0, 0});
         },
         win::ERROR_ALREADY_EXISTS, exists},
        {"reading refused",
         [] {
             registerHandlerByHand();
             inmemory::failCall("readRegistryValue", win::ERROR_ACCESS_DENIED);
         },
         win::ERROR_ACCESS_DENIED, u"Registering protocol handler failed, error 5 (Access denied).\n"},
        {"the open command's key without its value", [] { inmemory::setStringValue(CommandKey, u"x", u""); },
         win::ERROR_SUCCESS, succeeded},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        c.arrange();
        const std::vector<std::uint8_t> before = inmemory::valueBytes(CommandKey, u"");
        EXPECT_EQ(handler.registerHandler(), c.result);
        EXPECT_EQ(said(), c.message);
        EXPECT_EQ(inmemory::valueBytes(CommandKey, u""),
                  c.message == succeeded ? terminatedBytes(OpenCommand) : before);
        EXPECT_EQ(inmemory::openKeyCount(), 0u);
    }
}

TEST_F(ProtocolHandlerTest, AFailedRegistrationReportsItsErrorKeepsWhatWasWrittenAndALaterOneCompletesIt)
{
    struct Case {
        const char* name;
        const char* failing;  // the layer function whose `occurrence`-th call fails with `injected`
        int occurrence;
        win::DWORD injected;
        win::DWORD error;  // reported
        int written;       // how many of the tree's parts are left, in the order they are written
    };
    const std::map<win::DWORD, std::u16string> messages = {
        {5, u"Registering protocol handler failed, error 5 (Access denied).\n"},
        {13, u"Registering protocol handler failed, error 13 (system error).\n"},
        {1450, u"Registering protocol handler failed, error 1450 (system error).\n"},
    };
    const Case cases[] = {
        {"classes root refuses", "openRegistryKey", 1, 5, 5, 0},
        {"scheme key refused", "createRegistryKey", 1, 5, 5, 0},
        {"description refused", "setRegistryValue", 1, 5, 5, 1},
        {"URL Protocol fails", "setRegistryValue", 2, NoSystemResources, 1450, 2},
        {"icon key fails", "createRegistryKey", 2, NoSystemResources, 1450, 3},
        {"icon value fails", "setRegistryValue", 3, NoSystemResources, 1450, 4},
        {"command key fails", "createRegistryKey", 3, NoSystemResources, 1450, 5},
        {"command value fails", "setRegistryValue", 4, NoSystemResources, 1450, 6},
        {"module path fails", "moduleFileName", 1, NoSystemResources, 13, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        inmemory::failCall(c.failing, c.injected, c.occurrence);
        EXPECT_EQ(handler.registerHandler(), c.error) << "the error the message names";
        EXPECT_EQ(said(), messages.at(c.error));
        EXPECT_EQ(inmemory::openKeyCount(), 0u);
        // The scheme key, its description, URL Protocol, the icon key, its value, the command key.
        const bool left[] = {inmemory::keyExists(SchemeKey),
                             inmemory::valueExists(SchemeKey, u""),
                             inmemory::valueExists(SchemeKey, u"URL Protocol"),
                             inmemory::keyExists(Icon),
                             inmemory::valueExists(Icon, u""),
                             inmemory::keyExists(CommandKey)};
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(left[i], i < c.written) << "step " << i;
        }
        EXPECT_FALSE(inmemory::valueExists(CommandKey, u""));

        // Without the command the leftovers read as missing, so the user's
        // second attempt is not refused and finishes the tree.
        EXPECT_EQ(handler.validate(), registration::ValidateResult::Missing);
        inmemory::clearFaults();
        EXPECT_EQ(handler.registerHandler(), win::ERROR_SUCCESS);
        EXPECT_EQ(inmemory::valueBytes(CommandKey, u""), terminatedBytes(OpenCommand));
        EXPECT_EQ(inmemory::valueBytes(Icon, u""), terminatedBytes(ModulePath));
        EXPECT_TRUE(inmemory::valueExists(SchemeKey, u"URL Protocol"));
        EXPECT_EQ(inmemory::openKeyCount(), 0u);
    }
}

TEST_F(ProtocolHandlerTest, WithoutWriteRightsBothRegisteringAndRemovingReportAccessDenied)
{
    inmemory::denyRegistryWrite(u"HKCR");
    EXPECT_EQ(handler.registerHandler(), win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(said(), u"Registering protocol handler failed, error 5 (Access denied).\n");
    EXPECT_FALSE(inmemory::keyExists(SchemeKey));

    registerHandlerByHand(OpenCommand);
    EXPECT_EQ(handler.unregisterHandler(), win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(said(), u"Unable to remove protocol handler, error 5 (Access denied).\n");
    EXPECT_TRUE(inmemory::keyExists(CommandKey));

    // Rights on the classes root but not on the tree: the deletion refuses.
    fresh();
    registerHandlerByHand(OpenCommand);
    inmemory::denyRegistryWrite(CommandKey);
    EXPECT_EQ(handler.unregisterHandler(), win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(said(), u"Unable to remove protocol handler, error 5 (Access denied).\n");
    EXPECT_TRUE(inmemory::keyExists(SchemeKey));

    // An old scheme key locked against writing: registering cannot open it.
    fresh();
    inmemory::denyRegistryWrite(SchemeKey);
    EXPECT_EQ(handler.registerHandler(), win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(said(), u"Registering protocol handler failed, error 5 (Access denied).\n");
    EXPECT_EQ(inmemory::openKeyCount(), 0u);
}

TEST_F(ProtocolHandlerTest, RemovalTakesTheWholeTreeFromEitherHiveWhateverItsDefaultValue)
{
    struct Case {
        const char* name;
        std::function<void()> arrange;
        win::DWORD result;  // 0: no handler left, removed or not found
        bool schemeKeyLeft;
        std::u16string message;
    };
    const std::u16string removed = u"Protocol handler successfully removed.\n";
    const std::u16string notFound = u"Protocol handler not found.\n";
    const std::u16string denied = u"Unable to remove protocol handler, error 5 (Access denied).\n";
    const auto userCopy = [] { inmemory::setStringValue(UserSchemeKey + u"\\shell\\open\\command", u"", u"x"); };
    const Case cases[] = {
        {"nothing registered", [] {}, 0, false, notFound},
        {"our registration plus others' additions",
         [&] {
             EXPECT_EQ(handler.registerHandler(), win::ERROR_SUCCESS);
             inmemory::setStringValue(SchemeKey + u"\\shell\\print\\command", u"", u"notepad %1");
             inmemory::setStringValue(SchemeKey, u"EditFlags", u"2");
         },
         0, false, removed},
        {"a partial registration", [] { inmemory::setStringValue(SchemeKey, u"", u"URL:x"); }, 0, false, removed},
        // Browsers start what the open command names, whatever the default.
        {"scheme key with subkeys but no default", [&] { inmemory::setStringValue(CommandKey, u"", OpenCommand); }, 0,
         false, removed},
        {"scheme key with a number as default",
         [] {
             inmemory::setValue(SchemeKey, u"", win::REG_DWORD, {1, 0, 0, 0});
         },
         0, false, removed},
        {"scheme key with binary data as default", [] { inmemory::setValue(SchemeKey, u"", win::REG_BINARY, {1}); }, 0,
         false, removed},
        {"a default too long to read", [] { inmemory::setStringValue(SchemeKey, u"", std::u16string(600, u'x')); }, 0,
         false, removed},
        {"looking for the key refused",
         [&] {
             registerHandlerByHand(OpenCommand);
             inmemory::failCall("openRegistryKey", win::ERROR_ACCESS_DENIED);
         },
         5, true, denied},
        {"the deletion fails",
         [&] {
             registerHandlerByHand(OpenCommand);
             inmemory::failCall("deleteRegistryTree", NoSystemResources);
         },
         NoSystemResources, true, u"Unable to remove protocol handler, error 1450 (system error).\n"},
        {"the user's copy over the machine's",
         [&] {
             registerHandlerByHand(OpenCommand);
             userCopy();
         },
         0, false, removed},
        {"the user's copy only", userCopy, 0, false, removed},
        {"the machine's copy, which the user may not remove",
         [&] {
             registerHandlerByHand(OpenCommand);
             inmemory::denyRegistryWrite(SchemeKey);
             userCopy();
         },
         5, true, denied},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        c.arrange();
        said();
        EXPECT_EQ(handler.unregisterHandler(), c.result);
        EXPECT_EQ(said(), c.message);
        EXPECT_EQ(inmemory::keyExists(SchemeKey), c.schemeKeyLeft);
        EXPECT_EQ(inmemory::keyExists(UserSchemeKey), false) << ": the user's copy goes first";
        EXPECT_EQ(inmemory::openKeyCount(), 0u);
        EXPECT_TRUE(inmemory::keyExists(u"HKCR"));
    }

    fresh();
    EXPECT_EQ(handler.registerHandler(), win::ERROR_SUCCESS);
    EXPECT_EQ(handler.unregisterHandler(), win::ERROR_SUCCESS);
    EXPECT_EQ(handler.unregisterHandler(), win::ERROR_SUCCESS) << "none left is as good as removed";
    EXPECT_EQ(said(), u"Registering protocol handler succeeded.\n" + removed + notFound);
}

// The in-memory registry must refuse what Windows refuses, or the flags the
// handler reads with could be wrong and still pass here (measured under Wine:
// RRF_RT_REG_EXPAND_SZ without RRF_NOEXPAND fails with 87 for every value).
TEST_F(ProtocolHandlerTest, InMemoryRegistryReadsStringsAsWindowsDoes)
{
    inmemory::setValue(CommandKey, u"", win::REG_EXPAND_SZ, terminatedBytes(u"%x%"));
    struct Case {
        win::DWORD flags;
        win::DWORD status;
        win::DWORD type;
    };
    const Case cases[] = {
        {win::RRF_RT_REG_SZ, 0, win::REG_SZ},
        {win::RRF_RT_REG_SZ | win::RRF_RT_REG_EXPAND_SZ, win::ERROR_INVALID_PARAMETER, 0},
        {win::RRF_RT_REG_EXPAND_SZ, win::ERROR_INVALID_PARAMETER, 0},
        {win::RRF_RT_REG_SZ | win::RRF_RT_REG_EXPAND_SZ | win::RRF_NOEXPAND, 0, win::REG_EXPAND_SZ},
        {win::RRF_RT_REG_SZ | win::RRF_NOEXPAND, win::ERROR_UNSUPPORTED_TYPE, 0},
    };
    for (const Case& c : cases) {
        char16_t text[16] = {};
        win::DWORD size = sizeof(text);
        win::DWORD type = 0;
        EXPECT_EQ(win::readRegistryValue(win::HKEY_CLASSES_ROOT, u"Velmorathis.Mirrowcast\\shell\\open\\command",
                                         nullptr, c.flags, &type, text, &size),
                  c.status)
            << std::hex << c.flags;
        if (c.status == 0) {
            EXPECT_EQ(type, c.type) << std::hex << c.flags;
        }
    }
}
