// The layers stream format without the viewer: written and read back, and raw images whose header
// asks for more rows than the section's bytes can hold refused before anything is allocated.
#include <gtest/gtest.h>

#include <cstring>

#include "ByteOrder.h"
#include "picturaview_lyr.h"

namespace {

std::vector<TIELayersStreamLayer> TwoLayers() {
    std::vector<TIELayersStreamLayer> layers(2);
    for (int32_t i = 0; i < 2; ++i) {
        layers[size_t(i)].Image = std::make_unique<TIEBitmap>(3 + i, 2, ie24RGB);
        layers[size_t(i)].Image->Fill(double(0x102030 * (i + 1)));
        layers[size_t(i)].PosX = -7 * i;
    }
    layers[1].Name = "top";
    layers[1].UserData = {1, 2, 3};
    return layers;
}

std::vector<uint8_t> Write(const std::vector<TIELayersStreamLayer>& Layers, int32_t Codec) {
    TMemoryStream s;
    IEWriteLayersStream(&s, Codec, Layers, [&](int32_t Index) {
        IEWriteLayersRawImage(&s, Layers[size_t(Index)].Image.get(), Codec == IELayersCodecZlibRaw);
    });
    const uint8_t* p = static_cast<const uint8_t*>(s.GetMemory());
    return std::vector<uint8_t>(p, p + s.GetSize());
}

}  // namespace

TEST(LayersStreamFormat, RoundTripWithBothRawCodecs) {
    for (int32_t codec : {IELayersCodecZlibRaw, IELayersCodecRaw}) {
        const auto layers = TwoLayers();
        const std::vector<uint8_t> bytes = Write(layers, codec);
        TReadOnlyMemoryStream in(bytes.data(), int32_t(bytes.size()));
        TIELayersStream read;
        ASSERT_TRUE(IEReadLayersStream(&in, read, false));
        EXPECT_EQ(read.Version, 6);
        EXPECT_EQ(read.Codec, codec);
        ASSERT_EQ(read.Layers.size(), 2u);
        EXPECT_EQ(read.Layers[1].PosX, -7);
        EXPECT_EQ(read.Layers[1].Name, "top");
        EXPECT_EQ(read.Layers[1].UserData, (std::vector<uint8_t>{1, 2, 3}));
        ASSERT_EQ(read.Layers[1].Image->GetWidth(), 4);
        EXPECT_EQ(read.Layers[1].Image->GetPixelRGB(3, 1).r, layers[1].Image->GetPixelRGB(3, 1).r);
    }
}

TEST(LayersStreamFormat, RawImageAskingForMoreThanItsBytesIsRefused) {
    const auto layers = TwoLayers();
    std::vector<uint8_t> bytes = Write(layers, IELayersCodecRaw);
    // Layer 1's raw record (its offset ends layer 1's block: the header, block 0 of 57 bytes, block 1
    // of 57 + 3 name + 3 user-data bytes): its size fields say 100000 x 100000 pixels.
    const size_t field = 25 + 57 + 63 - 8;
    ASSERT_LT(field + 4, bytes.size());
    const uint32_t offset = ByteOrder::GetLE32(bytes.data() + field);
    ASSERT_LT(offset + 40u, bytes.size());
    const size_t record = offset + 4;
    ASSERT_EQ(std::memcmp(bytes.data() + record, "TIEBITMAPRAW", 12), 0);
    const size_t size = record + 20 + size_t(ByteOrder::GetLE32(bytes.data() + record + 16)) * 3;
    ByteOrder::PutLE32(bytes.data() + size, 100000);
    ByteOrder::PutLE32(bytes.data() + size + 4, 100000);
    TReadOnlyMemoryStream in(bytes.data(), int32_t(bytes.size()));
    TIELayersStream read;
    EXPECT_THROW(IEReadLayersStream(&in, read, false), EReadError);
}
