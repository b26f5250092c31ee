// Published object properties set by name: the property found by exact name on the object's class
// or a base class, values of the property's class or nil, refusals for everything else.
#include <gtest/gtest.h>

#include "Classes.h"
#include "KWCommonLib.h"

namespace {

class TEngine : public TComponent {
public:
    KW_CLASS_NAME(TEngine)
    using TComponent::TComponent;
};
class TSpecialEngine : public TEngine {
public:
    KW_CLASS_NAME(TSpecialEngine)
    using TEngine::TEngine;
};

class TWidget : public TComponent {
public:
    KW_CLASS_NAME(TWidget)
    explicit TWidget(TComponent* AOwner) : TComponent(AOwner) {
        KWRegisterObjectProperty(L"Engine", &TWidget::SetEngine);
        KWRegisterObjectProperty(L"Buddy", &TWidget::SetBuddy);
    }
    void SetEngine(TEngine* AValue) {
        Engine = AValue;
        ++Writes;
    }
    void SetBuddy(TWidget* AValue) { Buddy = AValue; }
    TEngine* Engine = nullptr;
    TWidget* Buddy = nullptr;
    int32_t Writes = 0;
};
class TFancyWidget : public TWidget {
public:
    KW_CLASS_NAME(TFancyWidget)
    using TWidget::TWidget;
};

}  // namespace

TEST(KWSetObjectProperty, SetsByExactNameWhenTheClassFits) {
    TFancyWidget widget(nullptr);   // the property of the base class
    TEngine engine(nullptr);
    TSpecialEngine special(nullptr);
    TWidget other(nullptr);
    struct TCase {
        const wchar_t* Name;
        TObject* Value;
        bool Result;
        TEngine* Engine;
    };
    const TCase cases[] = {
        {L"Engine", &engine, true, &engine},
        {L"Engine", &special, true, &special},   // a derived class fits
        {L"Engine", nullptr, true, nullptr},     // nil always fits
        {L"Engine", &other, false, nullptr},     // another class does not
        {L"engine", &engine, false, nullptr},    // the name is compared exactly
        {L"Motor", &engine, false, nullptr},
        {L"", nullptr, false, nullptr},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.Name));
        widget.Engine = nullptr;
        EXPECT_EQ(KWSetObjectProperty(&widget, c.Name, c.Value), c.Result);
        EXPECT_EQ(widget.Engine, c.Engine);
    }
    EXPECT_TRUE(KWSetObjectProperty(&widget, L"Buddy", &other));
    EXPECT_EQ(widget.Buddy, &other);
    // Objects of classes without the property, and no object at all.
    EXPECT_FALSE(KWSetObjectProperty(&engine, L"Engine", &engine));
    EXPECT_FALSE(KWSetObjectProperty(nullptr, L"Engine", &engine));
    // Registering again (every widget's constructor does) adds nothing: one write per set.
    TWidget second(nullptr);
    const int32_t before = second.Writes;
    EXPECT_TRUE(KWSetObjectProperty(&second, L"Engine", &engine));
    EXPECT_EQ(second.Writes, before + 1);
}
