// Lists and the byte array: growth steps, deletion and assignment re-allocating exactly, the
// byte array's block steps and its reads from a stream.
#include <gtest/gtest.h>

#include <vector>

#include "Classes.h"
#include "iecoreutils_lists.h"

TEST(IELists, IntegerListGrowsByDoubling) {
    TIEIntegerList list;
    EXPECT_EQ(list.GetItemSize(), 4);
    std::vector<int32_t> capacities;
    for (int32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(list.AddItem(i * 10), i);
        capacities.push_back(list.GetCapacity());
    }
    EXPECT_EQ(capacities, (std::vector<int32_t>{1, 2, 4, 4, 8}));
    EXPECT_TRUE(list.GetChanged());
    EXPECT_EQ(list.GetItem(4), 40);
    list.SetCount(2);   // never shrinks the block
    EXPECT_EQ(list.GetCapacity(), 8);
    EXPECT_EQ(list.GetCount(), 2);
}

TEST(IELists, DeleteAndAssignReallocateExactly) {
    TIEDoubleList list;
    for (int32_t i = 0; i < 4; ++i) list.AddItem(i + 0.5);
    list.SetFlags(0);
    list.Delete(-1);
    list.Delete(4);
    EXPECT_EQ(list.GetCount(), 4);
    EXPECT_EQ(list.GetFlags(), 0u);   // the changed flag as it was
    list.Delete(1);
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetCapacity(), 3);
    EXPECT_EQ(list.GetItem(0), 0.5);
    EXPECT_EQ(list.GetItem(1), 2.5);
    EXPECT_EQ(list.GetItem(2), 3.5);
    EXPECT_TRUE(list.GetChanged());
    list.Doubles[2] = 9;
    list.Integers[1] = 7;

    TIEDoubleList copy;
    copy.SetCount(100);
    copy.Assign(&list);
    EXPECT_EQ(copy.GetCount(), 3);
    EXPECT_EQ(copy.GetCapacity(), 3);
    EXPECT_EQ(copy.GetItem(2), 3.5);
    EXPECT_EQ(copy.Doubles[2], 9);
    EXPECT_EQ(copy.Integers[1], 7);
    copy.AddItem(4.5);
    EXPECT_EQ(copy.GetCapacity(), 6);
    copy.Assign(nullptr);
    EXPECT_EQ(copy.GetCount(), 4);
    copy.Clear();
    EXPECT_EQ(copy.GetCount(), 0);
    EXPECT_EQ(copy.GetItemSize(), 8);
    EXPECT_EQ(copy.Doubles[2], 0);

    TIEIntegerList one;
    one.AddItem(1);
    one.Delete(0);   // down to no data at all
    EXPECT_EQ(one.GetCount(), 0);
    EXPECT_EQ(one.GetCapacity(), 0);
    one.AddItem(2);
    EXPECT_EQ(one.GetItem(0), 2);
}

TEST(IELists, RecordListHoldsRecordsOfItsSize) {
    struct TSpan { int32_t Row, Left, Right, Dir; };
    TIERecordList spans(sizeof(TSpan));
    for (int32_t i = 0; i < 3; ++i) {
        const TSpan s{i, i + 1, i + 2, -1};
        spans.Add(&s);
    }
    const auto* s = reinterpret_cast<const TSpan*>(spans.GetItem(2));
    EXPECT_EQ(s->Row, 2);
    EXPECT_EQ(s->Right, 4);
    spans.SetCount(-5);   // a negative count is no count
    EXPECT_EQ(spans.GetCount(), 0);
}

TEST(IELists, ByteArrayGrowsAndShrinksInBlocks) {
    TIEByteArray bytes(1024);
    EXPECT_EQ(bytes.GetCapacity(), 1024);
    const uint8_t* first = bytes.GetData();
    for (int32_t i = 0; i < 1024; ++i) bytes.AddByte((uint8_t)i);
    EXPECT_EQ(bytes.GetData(), first);   // no re-allocation yet
    bytes.AddByte(0xAB);
    EXPECT_EQ(bytes.GetCapacity(), 2049);
    EXPECT_EQ(bytes.GetData()[1023], 0xFF);
    EXPECT_EQ(bytes.GetData()[1024], 0xAB);
    bytes.SetSize(1100);   // a small shrink costs nothing
    EXPECT_EQ(bytes.GetCapacity(), 2049);
    bytes.SetSize(10);     // a large one re-allocates to size + block size, keeping the bytes
    EXPECT_EQ(bytes.GetCapacity(), 1034);
    EXPECT_EQ(bytes.GetData()[9], 9);

    TIEByteArray unblocked(0);
    unblocked.AddByte(1);
    unblocked.AddByte(2);
    EXPECT_EQ(unblocked.GetSize(), 2);
    EXPECT_EQ(unblocked.GetData()[1], 2);
}

TEST(IELists, ByteArrayAppendsWhatTheStreamHas) {
    std::vector<uint8_t> data(50);
    for (size_t i = 0; i < data.size(); ++i) data[i] = (uint8_t)i;
    TReadOnlyMemoryStream stream(data.data(), (int64_t)data.size());
    stream.SetPosition(10);
    TIEByteArray bytes(16);
    bytes.AddByte(0xEE);
    EXPECT_EQ(bytes.AppendFromStream(stream, 100), 40);
    EXPECT_EQ(bytes.GetSize(), 41);
    EXPECT_EQ(bytes.GetData()[1], 10);
    EXPECT_EQ(bytes.GetData()[40], 49);
    EXPECT_EQ(bytes.AppendFromStream(stream, 100), 0);
    EXPECT_EQ(bytes.AppendFromStream(stream, -3), 0);
    EXPECT_EQ(bytes.GetSize(), 41);
    // A count far beyond the stream allocates nothing beyond it.
    TReadOnlyMemoryStream small(data.data(), 5);
    EXPECT_EQ(bytes.AppendFromStream(small, INT32_MAX), 5);
    EXPECT_LT(bytes.GetCapacity(), 100);
}

TEST(IELists, CopyListSharesTheEntries) {
    int a = 1, b = 2;
    TList source, dest;
    source.Add(&a);
    source.Add(&b);
    dest.Add(&b);
    IECopyList(source, dest);
    ASSERT_EQ(dest.GetCount(), 2);
    EXPECT_EQ(dest.GetItems(0), &a);
    EXPECT_EQ(dest.GetItems(1), &b);
}
