// Blowfish, the CBC engine with its padding modes, and the file encryption routines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Classes.h"
#include "KWFileEncrypt.h"
#include "KWFileEncryptBlowFish.h"
#include "KWFileEncryptCryptUtils.h"
#include "SysUtils.h"
#include "WinApi.h"
#include "kwlib_common/scratch_util.h"
#include "support/TestSupport.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const std::string& AHex) {
    Bytes out;
    for (size_t i = 0; i + 1 < AHex.size(); i += 2) out.push_back((uint8_t)std::stoul(AHex.substr(i, 2), nullptr, 16));
    return out;
}

Bytes Of(const std::string& AText) { return Bytes(AText.begin(), AText.end()); }

// The installer's engine set-up: Blowfish, CBC, the fixed IV, 0x80-then-zeros padding.
const uint8_t kIV[8] = {0x29, 0x55, 0x64, 0x06, 0x83, 0x71, 0x07, 0x00};

Bytes EncryptWith(const std::string& AKey, uint8_t APadding, const Bytes& APlain) {
    TfeCryptCBC crypt(AKey, new TfeBlowFish, kIV, 8, APadding, true);
    Bytes out(crypt.OutputSize((int32_t)APlain.size()));
    EXPECT_EQ(crypt.Encrypt(APlain.data(), out.data(), (int32_t)APlain.size()), (int32_t)out.size());
    return out;
}

Bytes DecryptWith(const std::string& AKey, uint8_t APadding, const Bytes& ACipher) {
    TfeCryptCBC crypt(AKey, new TfeBlowFish, kIV, 8, APadding, true);
    Bytes out(ACipher.size());
    out.resize(crypt.Decrypt(ACipher.data(), out.data(), (int32_t)ACipher.size()));
    return out;
}

}  // namespace

// Published Blowfish test vectors (Eric Young's set): key, plain text, cipher text.
TEST(TfeBlowFish, PublishedVectors) {
    struct Case { const char *key, *plain, *cipher; } cases[] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
        {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
        {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
        {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
        {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
        {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
        {"F0", "FEDCBA9876543210", "F9AD597C49DB005E"},
        {"F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677", "FEDCBA9876543210", "05044B62FA52D080"},
    };
    for (const Case& c : cases) {
        TfeBlowFish bf;
        const Bytes key = Hex(c.key);
        bf.Init(key.data(), (int32_t)key.size());
        Bytes block = Hex(c.plain);
        EncryptBytes(bf, block.data(), block.data());
        EXPECT_EQ(block, Hex(c.cipher)) << c.key;
        DecryptBytes(bf, block.data(), block.data());
        EXPECT_EQ(block, Hex(c.plain)) << c.key;
    }
    TfeBlowFish bf;
    EXPECT_EQ(bf.AlgorithmName(), L"BlowFish");
    EXPECT_EQ(bf.BlockSize(), 8);
    EXPECT_THROW(bf.Init("", 0), Exception);
}

// The published CBC vector: key 0123456789ABCDEFF0E1D2C3B4A59687, IV FEDCBA9876543210,
// "7654321 Now is the time for " with its terminating zero, zero-padded to 32 bytes.
TEST(TfeCryptCBC, PublishedCbcVector) {
    const Bytes key = Hex("0123456789ABCDEFF0E1D2C3B4A59687");
    const Bytes iv = Hex("FEDCBA9876543210");
    Bytes plain = Of("7654321 Now is the time for ");
    plain.resize(32, 0);
    TfeCryptCBC crypt(key.data(), (int32_t)key.size(), new TfeBlowFish, iv.data(), 8, fePadNone, true);
    Bytes out(32);
    EXPECT_EQ(crypt.Encrypt(plain.data(), out.data(), 32), 32);
    EXPECT_EQ(out, Hex("6B77B4D63006DEE605B156E27403979358DEB9E7154616D959F1652BD5FF92CC"));
    Bytes back(32);
    EXPECT_EQ(crypt.Decrypt(out.data(), back.data(), 32), 32);
    EXPECT_EQ(back, plain);
}

TEST(TfeCrypt, OutputSizeAddsOnePaddedBlock) {
    TfeCryptCBC crypt(std::string("k"), new TfeBlowFish, kIV, 8, fePadOneZeros, true);
    EXPECT_EQ(crypt.BlockSize(), 8);
    EXPECT_EQ(crypt.OutputSize(0), 8);
    EXPECT_EQ(crypt.OutputSize(7), 8);
    EXPECT_EQ(crypt.OutputSize(8), 16);
    EXPECT_EQ(crypt.OutputSize(17), 24);
    TfeCryptCBC none(std::string("k"), new TfeBlowFish, kIV, 8, fePadNone, true);
    EXPECT_EQ(none.OutputSize(16), 16);
}

// Each padding mode round-trips what it can and removes what it says it removes.
TEST(TfeCrypt, PaddingModesRoundTrip) {
    struct Case { uint8_t mode; std::string plain, back; } cases[] = {
        {fePadCount, "", ""},
        {fePadCount, "12345678", "12345678"},
        {fePadCount, std::string("ab\x03", 3), std::string("ab\x03", 3)},
        {fePadOneZeros, "", ""},
        {fePadOneZeros, "1234567", "1234567"},
        {fePadOneZeros, std::string("abc\0\0", 5), std::string("abc\0\0", 5)},   // 0x80 marks the end
        {fePadOneZeros, std::string("abc\x80", 4), std::string("abc\x80", 4)},
        {fePadZeros, std::string("abc\0\0", 5), "abc"},                         // zeros are lost
        {fePadZeros, std::string(8, '\0'), std::string(8, '\0')},  // only the pad block goes whole
        {fePadSpaces, "abc  ", "abc"},
        {fePadNone, "12345678abcdefgh", "12345678abcdefgh"},
    };
    for (const Case& c : cases) {
        const Bytes cipher = EncryptWith("key", c.mode, Of(c.plain));
        EXPECT_EQ(cipher.size(), c.mode == fePadNone ? c.plain.size() : (c.plain.size() / 8 + 1) * 8);
        EXPECT_EQ(DecryptWith("key", c.mode, cipher), Of(c.back)) << int(c.mode) << " " << c.plain;
    }
}

TEST(TfeCrypt, BadLengthsAndPaddingRaise) {
    const Bytes good = EncryptWith("key", fePadOneZeros, Of("hello"));
    // Not a multiple of the block size: the assertion failure.
    Bytes shortened(good.begin(), good.end() - 1);
    try {
        DecryptWith("key", fePadOneZeros, shortened);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.ClassName(), L"EAssertionFailed");
        EXPECT_NE(e.Message().find(L"アサートの失敗"), std::wstring::npos);
        EXPECT_NE(e.Message().find(L"315"), std::wstring::npos);
    }
    // Unpadded encryption of a partial block: the same failure at the encryption check.
    TfeCryptCBC none(std::string("key"), new TfeBlowFish, kIV, 8, fePadNone, true);
    uint8_t buf[8] = {};
    try {
        none.Encrypt(buf, buf, 5);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_NE(e.Message().find(L"323"), std::wstring::npos);
    }
    // No block at all: nothing holds the padding.
    EXPECT_THROW(DecryptWith("key", fePadOneZeros, Bytes()), Exception);
    EXPECT_THROW(DecryptWith("key", fePadCount, Bytes()), Exception);
    // A last block without the 0x80 marker, and a count byte outside 1..8.
    try {
        DecryptWith("key", fePadOneZeros, EncryptWith("key", fePadNone, Of("abcdefgh")));
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), L"Crypt Error");
    }
    EXPECT_THROW(DecryptWith("key", fePadCount, EncryptWith("key", fePadNone, Of("abcdefg\x09"))), Exception);
    EXPECT_THROW(DecryptWith("key", fePadCount, EncryptWith("key", fePadNone, Of(std::string("abcdefg\0", 8)))),
                 Exception);
}

TEST(TfeCrypt, ShortIvIsZeroFilled) {
    const uint8_t iv3[3] = {0x29, 0x55, 0x64};
    const uint8_t iv8[8] = {0x29, 0x55, 0x64, 0, 0, 0, 0, 0};
    TfeCryptCBC a(std::string("k"), new TfeBlowFish, iv3, 3, fePadOneZeros, true);
    TfeCryptCBC b(std::string("k"), new TfeBlowFish, iv8, 8, fePadOneZeros, true);
    uint8_t outA[8], outB[8];
    a.Encrypt("abc", outA, 3);
    b.Encrypt("abc", outB, 3);
    EXPECT_EQ(0, std::memcmp(outA, outB, 8));
}

// ---- Files ----------------------------------------------------------------------------------

namespace {

const std::string kSettingsKey = "Vd3kQ8mLx2PzT5nw";

Bytes ReadAll(const std::wstring& AFileName) {
    const std::string bytes = testsupport::ReadFileBytes(AFileName);
    return Bytes(bytes.begin(), bytes.end());
}

void WriteAll(const std::wstring& AFileName, const Bytes& AData) {
    ASSERT_TRUE(WriteBytes(AFileName, std::string(AData.begin(), AData.end())));
}

Bytes StreamBytes(TMemoryStream& AStream) {
    const auto* p = static_cast<const uint8_t*>(AStream.GetMemory());
    return Bytes(p, p + AStream.GetSize());
}

// The plain text of tests/data/installer/uninstall_openssl.dat (see tests/data/MANIFEST).
Bytes OpenSslPlain() {
    const std::string text = WideToAnsi(
        L"[:Installer]\r\nSpecialCode=0123456789_ABCDEFGH\r\nShopName=写真館\x2015本店\r\nLabo=1\r\n\r\n");
    return Of(text);
}

}  // namespace

// A file that OpenSSL encrypted (Blowfish-CBC, the settings key and IV, 0x80 padding added by
// hand) decrypts here, and our encryption of the same text gives the same bytes.
TEST(KWFileEncrypt, AgreesWithOpenSsl) {
    const std::wstring fixture = Utf8ToWide(TEST_DATA_DIR "/installer/uninstall_openssl.dat");
    TMemoryStream plain;
    ASSERT_TRUE(KWDecryptFileToStream(fixture, &plain, kSettingsKey));
    EXPECT_EQ(StreamBytes(plain), OpenSslPlain());

    TScratchDir dir;
    const std::wstring out = dir.Path() + L"kwfe_openssl.dat";
    TMemoryStream source;
    const Bytes text = OpenSslPlain();
    source.WriteBuffer(text.data(), (int32_t)text.size());
    ASSERT_TRUE(KWEncryptStreamToFile(&source, out, kSettingsKey));
    EXPECT_EQ(ReadAll(out), ReadAll(fixture));
}

TEST(KWFileEncrypt, RoundTripsAndSizes) {
    TScratchDir dir;
    const std::wstring path = dir.Path() + L"kwfe_roundtrip.dat";
    struct Case { std::string plain; size_t cipherSize; } cases[] = {
        {"", 8}, {"1234567", 8}, {"12345678", 16}, {std::string("ab\0\0", 4), 8},
    };
    for (const Case& c : cases) {
        TMemoryStream source;
        if (!c.plain.empty()) source.WriteBuffer(c.plain.data(), (int32_t)c.plain.size());
        source.SetPosition(source.GetSize());  // the whole stream is taken, wherever it stands
        ASSERT_TRUE(KWEncryptStreamToFile(&source, path, kSettingsKey));
        EXPECT_EQ(ReadAll(path).size(), c.cipherSize);
        TMemoryStream back;
        back.WriteBuffer("head", 4);  // plain bytes go at the stream's position
        ASSERT_TRUE(KWDecryptFileToStream(path, &back, kSettingsKey));
        EXPECT_EQ(StreamBytes(back), Of("head" + c.plain));
    }
}

// A blank key means the fallback key in both directions.
TEST(KWFileEncrypt, BlankKeyUsesTheFallbackKey) {
    TScratchDir dir;
    const std::wstring path = dir.Path() + L"kwfe_blank.dat";
    TMemoryStream source;
    source.WriteBuffer("secret", 6);
    ASSERT_TRUE(KWEncryptStreamToFile(&source, path, "  \t "));
    for (const char* key : {"", " ", KWFileEncryptFallbackKey}) {
        TMemoryStream back;
        ASSERT_TRUE(KWDecryptFileToStream(path, &back, key));
        EXPECT_EQ(StreamBytes(back), Of("secret"));
    }
}

TEST(KWFileEncrypt, BadCipherTextFailsToLoad) {
    const std::wstring fixture = Utf8ToWide(TEST_DATA_DIR "/installer/uninstall_openssl.dat");
    const Bytes good = ReadAll(fixture);
    TScratchDir dir;
    const std::wstring path = dir.Path() + L"kwfe_bad.dat";
    Bytes lastBlockFlipped = good;
    lastBlockFlipped.back() ^= 0x01;
    const Bytes cases[] = {
        Bytes(),                                     // empty: no padding block
        Bytes(good.begin(), good.begin() + 7),       // shorter than a block
        Bytes(good.begin(), good.end() - 1),         // not a multiple of 8
        Bytes(good.begin(), good.end() - 8),         // last block gone: its plain text has no 0x80
        lastBlockFlipped,
    };
    for (const Bytes& c : cases) {
        WriteAll(path, c);
        TMemoryStream back;
        EXPECT_FALSE(KWDecryptFileToStream(path, &back, kSettingsKey)) << c.size();
        EXPECT_EQ(back.GetSize(), 0);
    }
    TMemoryStream back;
    EXPECT_FALSE(KWDecryptFileToStream(fixture, &back, "another key"));
    EXPECT_THROW(KWDecryptFileToStream(dir.Path() + L"missing.dat", &back, kSettingsKey), EFOpenError);
}
