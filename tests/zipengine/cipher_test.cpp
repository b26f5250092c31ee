// Rijndael against FIPS-197 and SP 800-38A, the chaining modes, the keyed construction, the cipher
// registry and the protection chain with its buffer, string, stream and file processing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Classes.h"
#include "OneEntryZip.h"
#include "ZFCipher.h"
#include "ZFStrFunc.h"
#include "support/TestSupport.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back((uint8_t)std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

std::string Hex(const std::vector<uint8_t>& v) {
    static const char d[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : v) {
        s += d[b >> 4];
        s += d[b & 15];
    }
    return s;
}

std::shared_ptr<TCipher_Rijndael> Keyed(const std::string& keyHex, uint8_t mode, const std::string& ivHex = "") {
    auto c = std::make_shared<TCipher_Rijndael>();
    const std::vector<uint8_t> key = Bytes(keyHex), iv = Bytes(ivHex);
    c->SetupKey(key.data(), (int32_t)key.size(), iv.empty() ? nullptr : iv.data());
    c->Mode = mode;
    return c;
}

std::vector<uint8_t> Encode(TCipher& c, std::vector<uint8_t> data) {
    c.EncodeBuffer(data.data(), data.data(), (int32_t)data.size());
    return data;
}

std::vector<uint8_t> Decode(TCipher& c, std::vector<uint8_t> data) {
    c.DecodeBuffer(data.data(), data.data(), (int32_t)data.size());
    return data;
}

const char* const Key128 = "000102030405060708090a0b0c0d0e0f";
const char* const Key192 = "000102030405060708090a0b0c0d0e0f1011121314151617";
const char* const Key256 = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

}  // namespace

TEST(ZFCipher, RijndaelFips197Vectors) {
    struct Case {
        const char *key, *plain, *cipher;
        int32_t rounds;
    } cases[] = {
        {Key128, "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a", 10},
        {Key192, "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191", 12},
        {Key256, "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089", 14},
        {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734", "3925841d02dc09fbdc118597196a0b32", 10},
    };
    for (const Case& c : cases) {
        auto aes = Keyed(c.key, cmECB);
        EXPECT_EQ(aes->Rounds(), c.rounds);
        EXPECT_EQ(Hex(Encode(*aes, Bytes(c.plain))), c.cipher) << c.key;
        EXPECT_EQ(Hex(Decode(*aes, Bytes(c.cipher))), c.plain) << c.key;
    }
}

TEST(ZFCipher, CbcAndEightBitCfbFollowSp80038a) {
    const char* key = "2b7e151628aed2a6abf7158809cf4f3c";
    const char* iv = "000102030405060708090a0b0c0d0e0f";
    auto cbc = Keyed(key, cmCBC, iv);
    EXPECT_EQ(Hex(Encode(*cbc, Bytes("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"))),
              "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2");
    auto cfb = Keyed(key, cmCFB, iv);
    EXPECT_EQ(Hex(Encode(*cfb, Bytes("6bc1bee22e409f96e93d7e117393172aae2d"))), "3b79424c9c0dd436bace9e0ed4586a4f32b9");
}

TEST(ZFCipher, CounterModeStartsAtOneAndCarriesThePositionAcrossCalls) {
    auto ecb = Keyed(Key256, cmECB);
    const std::vector<uint8_t> block1 = Encode(*ecb, Bytes("01000000000000000000000000000000"));
    const std::vector<uint8_t> block2 = Encode(*ecb, Bytes("02000000000000000000000000000000"));

    auto ctr = Keyed(Key256, cmCTR);
    const std::vector<uint8_t> first = Encode(*ctr, std::vector<uint8_t>(17, 0));
    EXPECT_EQ(std::vector<uint8_t>(first.begin(), first.begin() + 16), block1);
    EXPECT_EQ(first[16], block2[0]);
    EXPECT_EQ(ctr->CounterBlock()[0], 2);
    EXPECT_EQ(ctr->KeystreamPosition(), 1);
    const std::vector<uint8_t> rest = Encode(*ctr, std::vector<uint8_t>(15, 0));
    EXPECT_EQ(rest, std::vector<uint8_t>(block2.begin() + 1, block2.end()));

    // Counter mode decodes by encoding again, in pieces of any size.
    auto a = Keyed(Key128, cmCTR), b = Keyed(Key128, cmCTR);
    std::vector<uint8_t> text(100);
    for (size_t i = 0; i < text.size(); ++i) text[i] = (uint8_t)(i * 7);
    std::vector<uint8_t> coded = Encode(*a, text);
    b->DecodeBuffer(coded.data(), coded.data(), 33);
    b->DecodeBuffer(coded.data() + 33, coded.data() + 33, 67);
    EXPECT_EQ(coded, text);
}

TEST(ZFCipher, CounterCarriesIntoTheHigherBytesOnly) {
    auto ctr = Keyed(Key128, cmCTR);
    Encode(*ctr, std::vector<uint8_t>(256 * 16, 0));
    EXPECT_EQ(ctr->CounterBlock()[0], 0);
    EXPECT_EQ(ctr->CounterBlock()[1], 1);
    EXPECT_EQ(ctr->CounterBlock()[8], 0);
}

TEST(ZFCipher, KeySizesArePaddedOrCut) {
    const std::string key20 = "000102030405060708090a0b0c0d0e0f10111213";
    auto short20 = Keyed(key20, cmECB);
    auto padded = Keyed(key20 + "00000000", cmECB);
    EXPECT_EQ(short20->Rounds(), 12);
    const std::vector<uint8_t> plain = Bytes("00112233445566778899aabbccddeeff");
    EXPECT_EQ(Encode(*short20, plain), Encode(*padded, plain));

    auto long40 = Keyed(std::string(Key256) + "2021222324252627", cmECB);
    EXPECT_EQ(long40->Rounds(), 14);
    EXPECT_EQ(Hex(Encode(*long40, plain)), "8ea2b7ca516745bfeafc49904b496089");
}

TEST(ZFCipher, KeyedConstructionReplacesTheCallersKeyWithItsEncryption) {
    std::vector<uint8_t> key = Bytes(Key128);
    const std::vector<uint8_t> plainKey = key;
    TCipher_Rijndael keyed(key);
    EXPECT_TRUE(keyed.KeySet());
    EXPECT_EQ(key.size(), plainKey.size());
    EXPECT_NE(key, plainKey);

    // The replacement is the mode-0 encryption of the key under itself, from the encrypted vector.
    TCipher_Rijndael check;
    check.SetupKey(plainKey.data(), 16, nullptr);
    EXPECT_EQ(Encode(check, plainKey), key);

    // The chain restarts after the key is encrypted, so the keyed cipher works from a fresh chain.
    keyed.Mode = cmCBC;
    check.RestartChain();
    check.Mode = cmCBC;
    const std::vector<uint8_t> data(40, 0x5A);
    EXPECT_EQ(Encode(keyed, data), Encode(check, data));
}

TEST(ZFCipher, EveryModeDecodesWhatItEncodedAndTheChecksumModesLeaveDataAlone) {
    for (uint8_t mode = cmCTS; mode <= cmECB; ++mode)
        for (size_t n : {0u, 1u, 15u, 16u, 17u, 33u, 48u}) {
            std::vector<uint8_t> data(n);
            for (size_t i = 0; i < n; ++i) data[i] = (uint8_t)(i * 31 + mode);
            auto enc = Keyed(Key192, mode, "0f0e0d0c0b0a09080706050403020100");
            auto dec = Keyed(Key192, mode, "0f0e0d0c0b0a09080706050403020100");
            const std::vector<uint8_t> coded = Encode(*enc, data);
            if (n > 0) {
                EXPECT_NE(coded, data) << (int)mode << " " << n;
            }
            EXPECT_EQ(Decode(*dec, coded), data) << (int)mode << " " << n;
        }
    for (uint8_t mode : {cmCTSMAC, cmCBCMAC, cmCFBMAC}) {
        std::vector<uint8_t> data(21, 3), other = data;
        other[20] = 4;  // differs in the piece after the last whole block only
        auto a = Keyed(Key128, mode), b = Keyed(Key128, mode);
        EXPECT_EQ(Encode(*a, data), data);
        Encode(*b, other);
        EXPECT_NE(a->Feedback(), b->Feedback()) << (int)mode;
    }
}

TEST(ZFCipher, UseBeforeKeySetUpRaisesCodeThree) {
    TCipher_Rijndael c;
    uint8_t buffer[16] = {};
    try {
        c.EncodeBuffer(buffer, buffer, 16);
        FAIL() << "no exception";
    } catch (const ECipherException& e) {
        EXPECT_EQ(e.ErrorCode, 3);
        EXPECT_EQ(e.Message(), L"TCipher_Rijndael is not initialized call Init() or InitKey() before.");
    }
    EXPECT_THROW(c.StartAction(paEncode), ECipherException);
}

TEST(ZFCipher, RegistryHoldsRijndaelUnderItsShortName) {
    const TCipherClass* cls = CipherByName(L"rijndael");
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(cls->Context().BlockSize, 16);
    EXPECT_EQ(cls->Context().KeySize, 32);
    EXPECT_EQ(cls->Context().BufferSize, 480);
    EXPECT_STREQ(cls->Create()->ClassName(), L"TCipher_Rijndael");
    ASSERT_EQ(RegisteredCiphers().size(), 1u);
    EXPECT_EQ(RegisteredCiphers()[0].Name, L"Rijndael");
    EXPECT_EQ(RegisteredCiphers()[0].Description, L"");
    RegisterCipher(&CipherClass_Rijndael, L"AES");  // replaces, does not add
    EXPECT_EQ(RegisteredCiphers().size(), 1u);
    EXPECT_EQ(RegisteredCiphers()[0].Description, L"AES");
    RegisterCipher(&CipherClass_Rijndael, L"");
}

TEST(ZFDecUtil, ProtectionChainRefusesLoopsAndPassesCallsOn) {
    auto a = Keyed(Key128, cmCBC), b = Keyed(Key256, cmCBC), c = Keyed(Key192, cmCBC);
    a->SetNextProtection(b);
    b->SetNextProtection(c);
    try {
        c->SetNextProtection(a);
        FAIL() << "no exception";
    } catch (const EProtection& e) {
        EXPECT_EQ(e.Message(), L"Circular Protection detected, Protection Object is invalid.");
    }
    EXPECT_THROW(a->SetNextProtection(a), EProtection);
    EXPECT_EQ(c->NextProtection(), nullptr);

    // Encoding runs the chain first, then the object itself; decoding the other way round.
    for (auto* p : {a.get(), b.get(), c.get()}) p->Actions = 1u << paEncode | 1u << paDecode;
    std::string text(50, 'z');
    const std::string plain = text;
    a->ApplyOnce(&text[0], (int32_t)text.size(), paEncode);
    auto ra = Keyed(Key128, cmCBC), rb = Keyed(Key256, cmCBC), rc = Keyed(Key192, cmCBC);
    std::vector<uint8_t> expected(plain.begin(), plain.end());
    expected = Encode(*ra, Encode(*rb, Encode(*rc, expected)));
    EXPECT_EQ(std::vector<uint8_t>(text.begin(), text.end()), expected);
    a->ApplyOnce(&text[0], (int32_t)text.size(), paDecode);
    EXPECT_EQ(text, plain);
}

TEST(ZFDecUtil, StringsAreEncodedIntoTheirFormatAndBack) {
    auto c = Keyed(Key128, cmCBC, "00112233445566778899aabbccddeeff");
    c->Actions = 1u << paEncode | 1u << paDecode;
    const std::string plain = "Photo order 0001, 写真";
    const std::string hex = c->ApplyToString(plain, paEncode, fmtHEX);
    EXPECT_EQ(hex.size(), plain.size() * 2);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(c->ApplyToString(hex, paDecode, fmtHEX), plain);
    const std::string mime = c->ApplyToString(plain, paEncode, -1);
    EXPECT_EQ(c->ApplyToString(mime, paDecode, fmtMIME64), plain);
}

namespace {

struct TProgressLog {
    std::vector<std::pair<int64_t, int64_t>> Calls;
    static void Callback(void* data, const void*, int64_t current, int64_t maximum) {
        static_cast<TProgressLog*>(data)->Calls.push_back({current, maximum});
    }
};

std::wstring TempPath(const wchar_t* name) {
    return ZFSystemTempDir() + name;
}

using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

}  // namespace

TEST(ZFDecUtil, StreamsAreProcessedInBlocksWithProgress) {
    auto c = Keyed(Key128, cmCTR);
    c->Actions = 1u << paEncode;
    std::string data(10000, 'p');
    TMemoryStream source, dest;
    source.WriteBuffer(data.data(), (int32_t)data.size());
    TProgressLog log;
    SetProgressCallback(&TProgressLog::Callback, &log);
    c->ApplyToStream(&source, &dest, paEncode, -1);
    SetProgressCallback(nullptr, nullptr);
    const std::vector<std::pair<int64_t, int64_t>> expected = {{0, 10000}, {4096, 10000}, {8192, 10000},
                                                               {10000, 10000}, {0, 0}};
    EXPECT_EQ(log.Calls, expected);
    ASSERT_EQ(dest.GetSize(), 10000);
    auto r = Keyed(Key128, cmCTR);
    std::vector<uint8_t> back(static_cast<const uint8_t*>(dest.GetMemory()),
                              static_cast<const uint8_t*>(dest.GetMemory()) + 10000);
    EXPECT_EQ(Decode(*r, back), std::vector<uint8_t>(data.begin(), data.end()));
}

TEST(ZFDecUtil, FilesAreProcessedIntoANewFileOrInPlace) {
    const std::wstring plainName = TempPath(L"zfcipher_plain.bin"), codedName = TempPath(L"zfcipher_coded.bin");
    std::string data(5000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = (char)(i * 13);
    WriteFileBytes(plainName, data);
    WriteFileBytes(codedName, std::string(9000, 'x'));  // longer than the result: cut to size

    auto enc = Keyed(Key256, cmCBC);
    enc->Actions = 1u << paEncode | 1u << paDecode;
    enc->ApplyToFile(plainName, codedName, paEncode);
    const std::string coded = ReadFileBytes(codedName);
    ASSERT_EQ(coded.size(), data.size());
    EXPECT_NE(coded, data);

    auto dec = Keyed(Key256, cmCBC);
    dec->Actions = 1u << paDecode;
    dec->ApplyToFile(codedName, L"", paDecode);  // no destination: in place
    EXPECT_EQ(ReadFileBytes(codedName), data);
    ZFDeleteFile(plainName);
    ZFDeleteFile(codedName);
}
