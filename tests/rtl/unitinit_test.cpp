// The unit start-up registry: rank order, reverse shut-down, failures and Halt.
#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>

#include "UnitInit.h"

namespace {

std::wstring Log;

void Add(const std::wstring& name, int32_t rank) {
    RegisterUnit(name, rank, [name] { Log += L"+" + name; }, [name] { Log += L"-" + name; });
}

}  // namespace

TEST(UnitInit, StartsByRankAndShutsDownInReverse) {
    Log.clear();
    Add(L"guard", urSingleInstance);
    Add(L"logger", urKWLogger);
    Add(L"zip", urZipEngine);
    Add(L"crc", urKWCrc32);
    Add(L"zip2", urZipEngine);   // equal rank: registration order
    Add(L"const", urInstallerConst);
    EXPECT_FALSE(RegisterUnit(L"zip", 0, nullptr, nullptr));
    RegisterUnit(L"image", urImageLibrary, nullptr, [] { throw std::runtime_error("x"); });

    InitializeUnits();
    EXPECT_EQ(Log, L"+zip+zip2+crc+logger+const+guard");
    EXPECT_EQ(StartedUnits(), L"zip,zip2,crc,logger,const,image,guard");
    InitializeUnits();   // nothing starts twice
    EXPECT_EQ(Log, L"+zip+zip2+crc+logger+const+guard");

    Log.clear();
    // The raising shut-down does not stop the others; its exception comes out at the end.
    EXPECT_THROW(FinalizeUnits(), std::runtime_error);
    EXPECT_EQ(Log, L"-guard-const-logger-crc-zip2-zip");
    Log.clear();
    FinalizeUnits();
    InitializeUnits();
    EXPECT_EQ(Log, L"");
}

TEST(UnitInit, FailedStartupIsNotShutDown) {
    Log.clear();
    Add(L"first", 1);
    RegisterUnit(L"broken", 2, [] { throw std::runtime_error("start"); }, [] { Log += L"-broken"; });
    Add(L"after", 3);
    EXPECT_THROW(InitializeUnits(), std::runtime_error);
    EXPECT_EQ(StartedUnits(), L"first");
    FinalizeUnits();
    EXPECT_EQ(Log, L"+first-first");
}

TEST(UnitInitDeathTest, HaltShutsDownThenExits) {
    EXPECT_EXIT(
        {
            RegisterUnit(L"halting", 1, nullptr, [] { std::fputs("shut down\n", stderr); });
            InitializeUnits();
            Halt(3);
        },
        ::testing::ExitedWithCode(3), "shut down");
}
