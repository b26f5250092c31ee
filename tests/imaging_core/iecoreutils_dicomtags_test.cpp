// The DICOM tag list: value representations, data blocks taken over or left with the caller, and
// copies with their terminating zero. Lists filled from pydicom's files are in the native suite
// (tests/native/imaging_dicomtags_posix_test.cpp).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "iecoreutils_dicomtags.h"

namespace {

std::unique_ptr<uint8_t[]> Block(const std::string& Bytes) {
    std::unique_ptr<uint8_t[]> p(new uint8_t[Bytes.size() + 1]);
    std::memcpy(p.get(), Bytes.data(), Bytes.size());
    p[Bytes.size()] = 0;
    return p;
}

}   // namespace

TEST(IEDICOMTags, ValueRepresentationsAndDataOwnership) {
    TIEDICOMTags tags;
    tags.Clear();   // an empty list: nothing happens
    struct { const char* vr; char kept[2]; } cases[] = {{"US", {'U', 'S'}}, {"U", {0, 0}}, {"USS", {0, 0}}, {"", {0, 0}}};
    for (const auto& c : cases) {
        std::unique_ptr<uint8_t[]> none;
        const int32_t i = tags.AddTag(0x0028, 0x0010, c.vr, none, 0);
        EXPECT_EQ(tags.GetTag(i).VR[0], c.kept[0]) << c.vr;
        EXPECT_EQ(tags.GetTag(i).VR[1], c.kept[1]) << c.vr;
    }
    auto taken = Block("0123456789");
    uint8_t* raw = taken.get();
    const int32_t a = tags.AddTag(0x0010, 0x0010, "PN", taken, 10);
    EXPECT_EQ(taken, nullptr);   // the list owns it now
    EXPECT_EQ(tags.GetTag(a).Data.get(), raw);
    EXPECT_EQ(tags.GetTag(a).DataLength, 10);

    auto kept = Block("xy");
    const int32_t b = tags.AddTag(0x7FE0, 0x0010, "OW", kept, -1);
    EXPECT_NE(kept, nullptr);   // a negative length leaves the block with the caller
    EXPECT_EQ(tags.GetTag(b).Data, nullptr);
    EXPECT_EQ(tags.GetTag(b).DataLength, 0);
    EXPECT_EQ(tags.GetCount(), 6);

    TIEDICOMTags copy;
    copy.Assign(&tags);
    ASSERT_EQ(copy.GetCount(), 6);
    const TIEDICOMTag& t = copy.GetTag(a);
    EXPECT_EQ(t.Group, 0x0010);
    EXPECT_EQ(t.Element, 0x0010);
    EXPECT_EQ(std::string(t.VR, 2), "PN");
    ASSERT_NE(t.Data, nullptr);
    EXPECT_NE(t.Data.get(), raw);
    EXPECT_EQ(std::memcmp(t.Data.get(), "0123456789", 11), 0);   // the data and its zero
    EXPECT_EQ(copy.GetTag(0).Data, nullptr);                      // length 0: no block
    tags.Clear();
    EXPECT_EQ(tags.GetCount(), 0);
    EXPECT_EQ(copy.GetTag(a).DataLength, 10);   // copies are independent
    copy.Assign(nullptr);
    EXPECT_EQ(copy.GetCount(), 0);
}
