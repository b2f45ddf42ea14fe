// The main window cache: its registry layout, the result codes, the age
// arithmetic at the limits the scan relies on, and the handle's round trip
// through 32 bits.
#include <cstdint>

#include "teams/main_window_cache.h"
#include "teams_desktop.h"
#include "test_text.h"

using namespace teams_test;

namespace {

const std::u16string ParentKey = u"HKCU\\SOFTWARE\\Velmorathis\\Velmorathis Mirrowcast";

win::HWND handleOf(std::uintptr_t value) { return reinterpret_cast<win::HWND>(value); }

std::uint64_t storedStamp()
{
    const std::vector<std::uint8_t> bytes = inmemory::valueBytes(CacheKey, u"MainTeamsApp/TimeStamp");
    std::uint64_t stamp = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) {
        stamp = (stamp << 8) | bytes[i];
    }
    return stamp;
}

class MainWindowCacheTest : public TeamsDesktop {};

}  // namespace

TEST_F(MainWindowCacheTest, FirstStoreMakesAVolatileKeyUnderAnOrdinaryParentThatOutlivesLogoff)
{
    ASSERT_FALSE(inmemory::keyExists(ParentKey));
    EXPECT_EQ(number(MainWindowCache::store(handleOf(0x30A5C))), 0);
    EXPECT_FALSE(inmemory::keyIsVolatile(ParentKey));
    EXPECT_TRUE(inmemory::keyIsVolatile(CacheKey));
    EXPECT_EQ(inmemory::valueType(CacheKey, u"MainTeamsApp"), win::REG_DWORD);
    EXPECT_EQ(inmemory::valueBytes(CacheKey, u"MainTeamsApp"), (std::vector<std::uint8_t>{0x5C, 0x0A, 0x03, 0x00}));
    EXPECT_EQ(inmemory::valueType(CacheKey, u"MainTeamsApp/TimeStamp"), win::REG_QWORD);
    EXPECT_EQ(storedStamp(), inmemory::now());
    EXPECT_EQ(inmemory::openKeyCount(), 0u);

    win::HWND window = nullptr;
    std::uint32_t age = 99;
    EXPECT_EQ(number(MainWindowCache::load(&window, &age)), 0);
    EXPECT_EQ(window, handleOf(0x30A5C));
    EXPECT_EQ(age, 0u);

    inmemory::logOff();
    EXPECT_TRUE(inmemory::keyExists(ParentKey));
    EXPECT_FALSE(inmemory::keyExists(CacheKey));
    EXPECT_EQ(number(MainWindowCache::load(&window, &age)), 1);
}

TEST_F(MainWindowCacheTest, HandlesTravelAsTheir32BitValueAndComeBackSignExtended)
{
    const std::uintptr_t values[] = {0x10010, 0x7FFFFFFF, static_cast<std::uintptr_t>(std::intptr_t{-0x7FFEFFF0})};
    for (const std::uintptr_t value : values) {
        ASSERT_EQ(number(MainWindowCache::store(handleOf(value))), 0);
        win::HWND window = nullptr;
        EXPECT_EQ(number(MainWindowCache::load(&window, nullptr)), 0);
        EXPECT_EQ(window, handleOf(value)) << std::hex << value;
    }
    EXPECT_EQ(inmemory::valueBytes(CacheKey, u"MainTeamsApp"), (std::vector<std::uint8_t>{0x10, 0x00, 0x01, 0x80}));
}

TEST_F(MainWindowCacheTest, AgeCountsWholeSecondsAndMarksFutureOrUnrepresentableStamps)
{
    constexpr std::uint64_t Second = inmemory::TicksPerSecond;
    const std::uint64_t now = inmemory::now();
    struct Case {
        const char* what;
        std::uint64_t stamp;
        std::uint32_t age;
    };
    const Case cases[] = {
        {"just written", now, 0},
        {"28799.9 s old", now - 287999 * Second / 10, 28799},
        {"exactly eight hours", now - 28800 * Second, 28800},
        {"half a second ahead", now + Second / 2, 0},
        {"a second ahead", now + Second, 0xFFFFFFFFu},
        {"a year ahead", now + 365ull * 86400 * Second, 0xFFFFFFFFu},
        {"2^32 - 1 seconds old", now - 0xFFFFFFFFull * Second, 0xFFFFFFFFu},
        {"2^32 seconds old", now - 0x100000000ull * Second, 0xFFFFFFFFu},
        {"zero stamp", 0, 0xFFFFFFFFu},
        {"stamp negative as a signed number", UINT64_MAX, 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        rememberMainWindow(handleOf(0x20020), c.stamp);
        win::HWND window = nullptr;
        std::uint32_t age = 7;
        EXPECT_EQ(number(MainWindowCache::load(&window, &age)), 0) << c.what;
        EXPECT_EQ(age, c.age) << c.what;
    }
}

TEST_F(MainWindowCacheTest, LoadReportsWhichValueIsMissingOrMistyped)
{
    win::HWND window = nullptr;
    std::uint32_t age = 7;
    EXPECT_EQ(number(MainWindowCache::load(nullptr, &age)), -1);
    EXPECT_EQ(age, 7u) << "nothing is touched without a window destination";

    EXPECT_EQ(number(MainWindowCache::load(&window, &age)), 1);
    EXPECT_EQ(age, 0u);

    inmemory::setStringValue(CacheKey, u"MainTeamsApp", u"196652");
    EXPECT_EQ(number(MainWindowCache::load(&window, &age)), 1) << "text is not a handle";

    rememberMainWindow(handleOf(0x3002C), inmemory::now());
    inmemory::setValue(CacheKey, u"MainTeamsApp/TimeStamp", win::REG_DWORD, {1, 2, 3, 4});
    age = 7;
    EXPECT_EQ(number(MainWindowCache::load(&window, &age)), 2);
    EXPECT_EQ(window, handleOf(0x3002C));
    EXPECT_EQ(age, 0u);

    inmemory::setValue(CacheKey, u"MainTeamsApp/TimeStamp", win::REG_QWORD, {1, 2, 3, 4});
    EXPECT_EQ(number(MainWindowCache::load(&window, &age)), 2) << "a QWORD of four bytes";

    rememberMainWindow(handleOf(0x3002C), inmemory::now());
    inmemory::failCall("readRegistryValue", win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(number(MainWindowCache::load(&window, &age)), 1);
    inmemory::failCall("readRegistryValue", win::ERROR_ACCESS_DENIED, 2);
    EXPECT_EQ(number(MainWindowCache::load(&window, &age)), 2);
}

TEST_F(MainWindowCacheTest, StoreFailuresGiveTheirCodesAndCloseEveryKey)
{
    struct Case {
        const char* function;
        int occurrence;
        std::int32_t result;
        bool handleWritten;
    };
    const Case cases[] = {
        {"createRegistryKey", 1, 1, false},  // the parent
        {"createRegistryKey", 2, 1, false},  // "Volatile" below it
        {"setRegistryValue", 1, 2, false},
        {"setRegistryValue", 2, 3, true},
    };
    for (const Case& c : cases) {
        SetUp();
        if (c.result >= 2) {
            rememberMainWindow(handleOf(0x1110), 12345);  // an earlier run's entry
        }
        inmemory::failCall(c.function, win::ERROR_ACCESS_DENIED, c.occurrence);
        EXPECT_EQ(number(MainWindowCache::store(handleOf(0x2220))), c.result) << c.function << c.occurrence;
        EXPECT_EQ(inmemory::openKeyCount(), 0u) << c.function << c.occurrence;
        if (c.result >= 2) {
            const std::uint8_t expected = c.handleWritten ? 0x20 : 0x10;
            EXPECT_EQ(inmemory::valueBytes(CacheKey, u"MainTeamsApp")[0], expected) << c.function;
            EXPECT_EQ(storedStamp(), 12345u) << "the earlier stamp stays: no rollback";
        }
    }

    SetUp();
    inmemory::denyRegistryWrite(ParentKey);
    EXPECT_EQ(number(MainWindowCache::store(handleOf(0x2220))), 1);
    EXPECT_EQ(inmemory::openKeyCount(), 0u);
}

TEST_F(MainWindowCacheTest, ExistingOrdinaryCacheKeyIsUsedAsItIs)
{
    inmemory::setStringValue(CacheKey, u"Other", u"kept");
    EXPECT_EQ(number(MainWindowCache::store(handleOf(0x4440))), 0);
    EXPECT_FALSE(inmemory::keyIsVolatile(CacheKey));
    EXPECT_EQ(inmemory::valueString(CacheKey, u"Other"), u"kept");
    EXPECT_EQ(inmemory::callCount("createRegistryKey"), 0u);
}

TEST_F(MainWindowCacheTest, AClockThatCannotBeReadNeverMakesAnEntryLookFresh)
{
    inmemory::failCall("readClock", win::ERROR_INVALID_PARAMETER);
    ASSERT_EQ(number(MainWindowCache::store(handleOf(0x5550))), 0);
    win::HWND window = nullptr;
    std::uint32_t age = 0;
    EXPECT_EQ(number(MainWindowCache::load(&window, &age)), 0);
    EXPECT_EQ(age, 0xFFFFFFFFu) << "an unknown writing time counts as too old";

    ASSERT_EQ(number(MainWindowCache::store(handleOf(0x5550))), 0);
    inmemory::failCall("readClock", win::ERROR_INVALID_PARAMETER);
    EXPECT_EQ(number(MainWindowCache::load(&window, &age)), 0);
    EXPECT_EQ(age, 0xFFFFFFFFu) << "an unknown current time counts as a stamp from the future";

    inmemory::failCall("readClock", win::ERROR_INVALID_PARAMETER, 1, -1);
    ASSERT_EQ(number(MainWindowCache::store(handleOf(0x5550))), 0);
    EXPECT_EQ(number(MainWindowCache::load(&window, &age)), 0);
    EXPECT_EQ(age, 0xFFFFFFFFu) << "two unknown times are no age of 0";
}
