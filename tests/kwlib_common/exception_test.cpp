// The in-house exception: message, signature, chain and the log entry of every construction.
#include <gtest/gtest.h>

#include <stdexcept>

#include "Classes.h"
#include "KWException.h"
#include "KWLogger.h"

namespace {

KW_DECLARE_KWEXCEPTION(ETestKWError, EKWException);

// A started logger whose worker is stopped, so that the entries stay in its queue for reading.
class KWExceptionLog : public ::testing::Test {
protected:
    void SetUp() override {
        KWLogger_Initialize();
        Logger = KWGetGlobalLogger();
        Logger->StopThread();
    }
    void TearDown() override {
        {
            std::lock_guard<std::mutex> lock(Logger->Lock);
            Logger->Queue.clear();
        }
        KWLogger_Finalize();
    }
    std::vector<std::pair<std::wstring, std::wstring>> Entries() {
        std::vector<std::pair<std::wstring, std::wstring>> out;
        std::lock_guard<std::mutex> lock(Logger->Lock);
        for (const auto& e : Logger->Queue) {
            EXPECT_EQ(e->Level, 3);
            out.emplace_back(e->Sender, e->Text);
        }
        return out;
    }
    TKWLogger* Logger = nullptr;
};

using Entry = std::pair<std::wstring, std::wstring>;

}  // namespace

TEST_F(KWExceptionLog, EveryConstructionIsLoggedUnderItsClassName) {
    EKWException a(L"index is wrong", L"TKWSortedList.Delete(AIndex: Integer)");
    EKWException b(L"", L"");
    ETestKWError c(L"bad value", L"");
    ETestKWError d(L"bad value", L"TKWIniFile.X");
    EXPECT_EQ(Entries(), (std::vector<Entry>{
                             {L"EKWException[TKWSortedList.Delete(AIndex: Integer)]", L"index is wrong"},
                             {L"EKWException", L""},
                             {L"ETestKWError", L"bad value"},
                             {L"ETestKWError[TKWIniFile.X]", L"bad value"},
                         }));
    EXPECT_EQ(a.Message(), L"index is wrong");
    EXPECT_EQ(a.Method(), L"TKWSortedList.Delete(AIndex: Integer)");
    EXPECT_STREQ(a.ClassName(), L"EKWException");
    EXPECT_STREQ(c.ClassName(), L"ETestKWError");
    EXPECT_TRUE(a.Methods().empty());
    EXPECT_TRUE(a.Messages().empty());
}

TEST_F(KWExceptionLog, ChainOfThreeCarriesTheEarlierMethodsAndMessages) {
    auto a = std::make_unique<EKWException>(L"first", L"A.Run");
    ETestKWError b(L"second", L"B.Run", a.get());
    EKWException c(L"third", L"C.Run", &b);
    a.reset();  // the chain holds copies
    EXPECT_EQ(c.Methods(), (std::vector<std::wstring>{L"A.Run", L"B.Run"}));
    EXPECT_EQ(c.Messages(), (std::vector<std::wstring>{L"first", L"second"}));
    EXPECT_EQ(b.Methods(), (std::vector<std::wstring>{L"A.Run"}));
    EXPECT_EQ(b.Messages(), (std::vector<std::wstring>{L"first"}));
    EXPECT_EQ(c.Method(), L"C.Run");
}

TEST_F(KWExceptionLog, OtherExceptionsContributeTheirMessageAndNoMethod) {
    const EConvertError convert(L"'x' is not a valid integer value");
    EKWException a(L"wrapped", L"M", &convert);
    EXPECT_EQ(a.Methods(), (std::vector<std::wstring>{L""}));
    EXPECT_EQ(a.Messages(), (std::vector<std::wstring>{L"'x' is not a valid integer value"}));
    const std::runtime_error plain("plain failure");
    EKWException b(L"wrapped", L"M", &plain);
    EXPECT_EQ(b.Messages(), (std::vector<std::wstring>{L"plain failure"}));
    const TList notAnException;
    EKWException c(L"wrapped", L"M", &notAnException);
    EXPECT_EQ(c.Methods(), (std::vector<std::wstring>{L""}));
    EXPECT_EQ(c.Messages(), (std::vector<std::wstring>{L"TList"}));
}

TEST(KWException, WithoutLoggerItIsStillBuiltAndCaughtAsException) {
    ASSERT_EQ(KWGetGlobalLogger(), nullptr);
    try {
        throw EKWException(L"class type is not match.", L"SetObject(AKey: String; AValue: TObject; AClassType: TClass)");
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), L"class type is not match.");
        EXPECT_EQ(dynamic_cast<const EKWException&>(e).Method(),
                  L"SetObject(AKey: String; AValue: TObject; AClassType: TClass)");
    }
}
