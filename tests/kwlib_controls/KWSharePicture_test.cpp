// The shared picture store: lookups by ID, registration of clients, repaint on picture changes.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Controls.h"
#include "KWSharePicture.h"
#include "controls_test_util.h"

namespace {

// A windowless control that records the order in which it is asked to repaint.
class TRepaintProbe : public TGraphicControl {
public:
    TRepaintProbe(TComponent* owner, std::vector<TRepaintProbe*>* log) : TGraphicControl(owner), FLog(log) {}
    void Invalidate() override { FLog->push_back(this); }

private:
    std::vector<TRepaintProbe*>* FLog;
};

}  // namespace

TEST(KWSharePicture, ItemsStartNamedAfterTheirClass) {
    TKWSharePicture store(nullptr);
    TspPicture* item = store.Pictures()->Add();
    EXPECT_EQ(item->ID, L"TspPicture");
    EXPECT_EQ(item->DisplayName(), L"TspPicture");
    EXPECT_EQ(item->Collection(), store.Pictures());
    EXPECT_EQ(store.Pictures()->Owner(), &store);
    EXPECT_EQ(item->Index(), 0);
}

TEST(KWSharePicture, LookupTakesTheFirstItemOfAnIdWithoutRegardToCase) {
    TKWSharePicture store(nullptr);
    TspPicture* a = store.Pictures()->Add();
    a->ID = L"Title";
    TspPicture* b = store.Pictures()->Add();
    b->ID = L"TITLE";
    FillPicture(b->Picture(), 4, 4, clRed);
    EXPECT_EQ(store.Pictures()->FindPicture(L"title"), a->Picture());
    EXPECT_EQ(store.Pictures()->FindPicture(L" title"), nullptr);   // no trimming
    EXPECT_EQ(store.Pictures()->FindPicture(L"other"), nullptr);
    // The first item is empty; HasPicture looks on to the second, FindPicture does not.
    EXPECT_TRUE(store.Pictures()->HasPicture(L"Title"));
    b->ID = L"Other";
    EXPECT_FALSE(store.Pictures()->HasPicture(L"Title"));
    EXPECT_NE(store.Pictures()->FindPicture(L"Title"), nullptr);
}

TEST(KWSharePicture, HasPictureWantsBothSides) {
    TKWSharePicture store(nullptr);
    TspPicture* item = store.Pictures()->Add();
    item->ID = L"x";
    FillPicture(item->Picture(), 5, 0, clRed);
    EXPECT_FALSE(store.Pictures()->HasPicture(L"x"));
    FillPicture(item->Picture(), 5, 3, clRed);
    EXPECT_TRUE(store.Pictures()->HasPicture(L"X"));
}

TEST(KWSharePicture, SettingAPictureCopiesItOpaque) {
    TKWSharePicture store(nullptr);
    TspPicture* item = store.Pictures()->Add();
    TPicture source;
    FillPicture(&source, 3, 2, clLime);
    source.Graphic()->SetTransparent(true);
    item->SetPicture(&source);
    ASSERT_NE(item->Picture()->Graphic(), nullptr);
    EXPECT_NE(item->Picture()->Graphic(), source.Graphic());
    EXPECT_EQ(item->Picture()->Width(), 3);
    EXPECT_FALSE(item->Picture()->Graphic()->Transparent());
    EXPECT_TRUE(source.Graphic()->Transparent());
    item->SetPicture(item->Picture());   // its own picture: nothing happens
    EXPECT_EQ(item->Picture()->Width(), 3);
}

TEST(KWSharePicture, RegisteringTwiceKeepsOneEntry) {
    std::vector<TRepaintProbe*> log;
    TKWSharePicture store(nullptr);
    TRepaintProbe panel(nullptr, &log);
    store.RegisterClient(&panel);
    store.RegisterClient(&panel);
    EXPECT_EQ(store.ClientCount(), 1);
    FillPicture(store.Pictures()->Add()->Picture(), 2, 2, clRed);
    EXPECT_EQ(log.size(), 1u);
    store.UnregisterClient(&panel);
    store.UnregisterClient(&panel);
    EXPECT_EQ(store.ClientCount(), 0);
}

TEST(KWSharePicture, PictureChangesRepaintClientsInRegistrationOrder) {
    std::vector<TRepaintProbe*> log;
    TKWSharePicture store(nullptr);
    TRepaintProbe first(nullptr, &log), second(nullptr, &log);
    TComponent notAControl(nullptr);
    store.RegisterClient(&second);
    store.RegisterClient(&notAControl);
    store.RegisterClient(&first);
    TspPicture* item = store.Pictures()->Add();

    FillPicture(item->Picture(), 4, 4, clRed);   // a new graphic
    EXPECT_EQ(log, (std::vector<TRepaintProbe*>{&second, &first}));

    log.clear();
    TBitmap* bmp = item->Picture()->Bitmap();   // an edit of the graphic
    bmp->Canvas()->Brush()->SetColor(clBlue);
    bmp->Canvas()->FillRect(RECT{0, 0, 2, 2});
    EXPECT_FALSE(log.empty());
    EXPECT_EQ(log.front(), &second);

    log.clear();
    item->SetDisplayName(L"Logo");   // a name is no picture change
    EXPECT_EQ(item->DisplayName(), L"Logo");
    EXPECT_TRUE(log.empty());
}
