// Entry encryption against entries that other tools encrypted (7-Zip, bsdtar, Info-ZIP zip and
// libzip's ziptool; see tests/data/MANIFEST), and our own entries read back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OneEntryZip.h"
#include "ZFCipher.h"
#include "ZFZlib.h"

namespace {

const std::string AesText = "Rijndael in counter mode, keyed by PBKDF2 over HMAC-SHA1.\n";
const std::string PkText = "Traditional PKWARE encryption, twelve-byte header.\n";

struct TFixture {
    const char* file;
    const char* password;
    std::string content;
};

// Decrypts a WinZip AES entry as the engine does; the plain (still compressed) data, or "<...>"
// naming the step that failed.
std::string ReadAesEntry(TOneEntryZip& zip, const std::string& password, uint16_t vendorVersion = 2) {
    TAESCryptoTransform t(zip.AesStrength * 64 + 64, zip.AesRealMethod, vendorVersion);
    t.SetMode(ctDecrypt);
    t.SetPassword(password);
    zip.Archive.SetPosition(zip.DataStart);
    t.ReadHeader(zip.Archive);
    if (!t.CheckPassword(password)) return "<password>";
    const uint32_t size = zip.PackedSize - t.HeaderSize() - ZFAesAuthCodeSize;
    std::string data(size, '\0');
    zip.Archive.ReadBuffer(&data[0], (int32_t)size);
    // In two blocks, as the engine's block loop hands them over.
    const uint32_t first = size / 3;
    t.DecryptBlock(&data[0], &data[0], first);
    t.DecryptBlock(&data[first], &data[first], size - first);
    t.ReadAuthCode(zip.Archive);
    if (!t.VerifyEntry(zip.Crc, 0)) return "<authentication code>";
    return data;
}

}  // namespace

TEST(ZFCipherEntry, TraditionalEntriesOfOtherToolsDecrypt) {
    const TFixture cases[] = {
        {"zipcrypto_7zz.zip", "Crypto7", PkText},
        {"zipcrypto_bsdtar.zip", "BsdCrypt", PkText},
        {"zipcrypto_infozip.zip", "InfoZip", PkText},
        {"pkware_ziptool.zip", "ZiptoolPk", "Traditional PKWARE written by libzip's ziptool."},
    };
    for (const TFixture& c : cases) {
        TOneEntryZip zip(c.file);
        ASSERT_EQ(zip.Flags & 1, 1) << c.file;
        std::string stored = zip.Stored();
        const uint8_t check = PkwareCheckByte(zip.Flags, zip.Crc, zip.DosTime);
        TPkwareKeys keys;
        ASSERT_TRUE(PkwareCheckPassword(keys, c.password, (const uint8_t*)stored.data(), check)) << c.file;
        std::string data = stored.substr(ZFPkwareHeaderSize);
        keys.Decrypt(&data[0], data.size());
        const std::string plain = Unpack(data, zip.Method);
        EXPECT_EQ(plain, c.content) << c.file;
        EXPECT_EQ(ZFCrc32(0, plain.data(), plain.size()), zip.Crc) << c.file;

        TPkwareKeys other;
        EXPECT_FALSE(PkwareCheckPassword(other, "wrong", (const uint8_t*)stored.data(), check)) << c.file;
        EXPECT_FALSE(PkwareCheckPassword(other, "", (const uint8_t*)stored.data(), check)) << c.file;
    }
}

TEST(ZFCipherEntry, DataDescriptorEntriesAreCheckedAgainstTheTimeNotTheCrc) {
    TOneEntryZip descriptor("zipcrypto_bsdtar.zip"), plain("zipcrypto_7zz.zip");
    ASSERT_EQ(descriptor.Flags & 8, 8);
    ASSERT_EQ(plain.Flags & 8, 0);
    ASSERT_NE(descriptor.DosTime >> 8, descriptor.Crc >> 24);  // the fixture tells the two apart
    EXPECT_EQ(PkwareCheckByte(descriptor.Flags, descriptor.Crc, descriptor.DosTime), descriptor.DosTime >> 8);
    EXPECT_EQ(PkwareCheckByte(plain.Flags, plain.Crc, plain.DosTime), plain.Crc >> 24);
    TPkwareKeys keys;
    const std::string stored = descriptor.Stored();
    EXPECT_FALSE(PkwareCheckPassword(keys, "BsdCrypt", (const uint8_t*)stored.data(), (uint8_t)(descriptor.Crc >> 24)));
}

TEST(ZFCipherEntry, TraditionalEntriesWeEncryptDecryptWithTheSameRules) {
    const std::string text = "Shop 0042 photo order";
    const uint32_t crc = ZFCrc32(0, text.data(), text.size());
    TPkwareKeys writer;
    uint8_t header[12];
    PkwareMakeHeader(writer, "pa55", crc, header);
    std::string data(text.size(), '\0');
    writer.Encrypt(text.data(), &data[0], text.size());

    TPkwareKeys reader;
    ASSERT_TRUE(PkwareCheckPassword(reader, "pa55", header, PkwareCheckByte(0, crc, 0)));
    reader.Decrypt(&data[0], data.size());
    EXPECT_EQ(data, text);
    // The header's random part differs from entry to entry.
    uint8_t again[12];
    PkwareMakeHeader(writer, "pa55", crc, again);
    EXPECT_NE(std::string((char*)header, 12), std::string((char*)again, 12));
}

TEST(ZFCipherEntry, AesEntriesOfOtherToolsDecryptAndAuthenticate) {
    const TFixture cases[] = {
        {"aes128_7zz.zip", "Secret128", AesText},
        {"aes192_7zz.zip", "Secret192", AesText},
        {"aes256_7zz.zip", "Secret256", AesText},
        {"aes256_ziptool.zip", "ZiptoolPw", "WinZip AES written by libzip's ziptool, 256-bit key."},
        {"ae2_bsdtar.zip", "AeTwoPass", "short AE-2\n"},
        // AE-1 (the CRC is stored too) is read as AE-2: the code is verified, the CRC not needed.
        {"ae1_bsdtar.zip", "AeOnePass", AesText},
    };
    for (const TFixture& c : cases) {
        TOneEntryZip zip(c.file);
        ASSERT_EQ(zip.Method, ZFAesMethod) << c.file;
        ASSERT_LT(zip.VersionNeeded, ZFAlternateVersion) << c.file;
        EXPECT_EQ(Unpack(ReadAesEntry(zip, c.password), zip.AesRealMethod), c.content) << c.file;
        EXPECT_EQ(ReadAesEntry(zip, "Wrong"), "<password>") << c.file;
    }
    TOneEntryZip ae1("ae1_bsdtar.zip");
    EXPECT_EQ(ae1.AesVendorVersion, 1);
    EXPECT_NE(ae1.Crc, 0u);
}

TEST(ZFCipherEntry, SaltVerifierAndCodeSizesFollowTheKeySize) {
    struct Case {
        const char* file;
        uint32_t salt;
    } cases[] = {{"aes128_7zz.zip", 8}, {"aes192_7zz.zip", 12}, {"aes256_7zz.zip", 16}};
    for (const Case& c : cases) {
        TOneEntryZip zip(c.file);
        TAESCryptoTransform t(zip.AesStrength * 64 + 64, zip.AesRealMethod, 2);
        t.SetMode(ctDecrypt);
        t.SetPassword("x");
        zip.Archive.SetPosition(zip.DataStart);
        t.ReadHeader(zip.Archive);
        EXPECT_EQ(t.Salt().size(), c.salt);
        EXPECT_EQ(t.Verifier().size(), 2u);
        EXPECT_EQ(t.HeaderSize(), c.salt + 2);
        EXPECT_EQ(t.AuthCodeSize(), 10u);
        EXPECT_EQ(zip.PackedSize, c.salt + 2 + AesText.size() + 10) << "stored, so the data keeps its size";
    }
}

TEST(ZFCipherEntry, ChangedDataFailsTheAuthenticationCode) {
    TOneEntryZip zip("aes256_7zz.zip");
    uint8_t* data = static_cast<uint8_t*>(zip.Archive.GetMemory()) + zip.DataStart + 18 + 5;
    *data ^= 0x01;
    EXPECT_EQ(ReadAesEntry(zip, "Secret256"), "<authentication code>");
}

TEST(ZFCipherEntry, AesEntriesWeEncryptReadBackAndCarryTheirExtraField) {
    std::string text(3000, '\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = (char)(i % 251);
    for (int32_t bits : {128, 192, 256}) {
        TAESCryptoTransform writer(bits, 8, ZFAesVendorVersion);
        writer.SetMode(ctEncrypt);
        writer.SetPassword("注文pw");
        TMemoryStream entry;
        const std::vector<uint8_t> header = writer.HeaderBytes();
        ASSERT_EQ(header.size(), writer.HeaderSize());
        entry.WriteBuffer(header.data(), (int32_t)header.size());
        std::string coded(text.size(), '\0');
        writer.EncryptBlock(text.data(), &coded[0], 1000);
        writer.EncryptBlock(text.data() + 1000, &coded[1000], 2000);
        EXPECT_NE(coded, text);
        entry.WriteBuffer(coded.data(), (int32_t)coded.size());
        const std::vector<uint8_t> code = writer.AuthCode();
        ASSERT_EQ(code.size(), 10u);
        entry.WriteBuffer(code.data(), 10);

        TAESCryptoTransform reader(bits, 8, ZFAesVendorVersion);
        reader.SetMode(ctDecrypt);
        reader.SetPassword("注文pw");
        entry.SetPosition(0);
        reader.ReadHeader(entry);
        ASSERT_TRUE(reader.CheckPassword("注文pw"));
        // The two-byte verifier lets one wrong password in 65,536 through; two in a row never pass.
        EXPECT_FALSE(reader.CheckPassword("注文PW") && reader.CheckPassword("注文Pw"));
        std::string back(text.size(), '\0');
        entry.ReadBuffer(&back[0], (int32_t)back.size());
        reader.DecryptBlock(back.data(), &back[0], (uint32_t)back.size());
        reader.ReadAuthCode(entry);
        EXPECT_TRUE(reader.VerifyEntry(0, 0));
        EXPECT_EQ(back, text);

        const std::string field = writer.ExtraField();
        const std::string expected = {'\x01', '\x99', '\x07', '\x00', '\x02', '\x00', 'A', 'E',
                                      (char)(bits / 64 - 1), '\x08', '\x00'};
        EXPECT_EQ(field, expected) << bits;
    }
}

TEST(ZFCipherEntry, EveryEncryptedEntryGetsItsOwnSalt) {
    TAESCryptoTransform a(256, 8, 2), b(256, 8, 2);
    a.SetPassword("same");
    b.SetPassword("same");
    EXPECT_EQ(a.Salt().size(), 16u);
    EXPECT_NE(a.Salt(), b.Salt());
    EXPECT_NE(a.EncryptionKey(), b.EncryptionKey());
    for (uint8_t byte : a.Salt()) EXPECT_NE(byte, 0xFF);
}

TEST(ZFCipherEntry, ReKeyingWithTheRightPasswordAfterAWrongOne) {
    TOneEntryZip zip("aes128_7zz.zip");
    TAESCryptoTransform t(128, zip.AesRealMethod, 2);
    t.SetMode(ctDecrypt);
    t.SetPassword("guess");
    zip.Archive.SetPosition(zip.DataStart);
    t.ReadHeader(zip.Archive);
    ASSERT_FALSE(t.CheckPassword("guess"));
    // The password event gives a new one: re-key, then read again from the data start.
    t.SetPassword("Secret128");
    zip.Archive.SetPosition(zip.DataStart);
    t.ReadHeader(zip.Archive);
    ASSERT_TRUE(t.CheckPassword("Secret128"));
    std::string data(AesText.size(), '\0');
    zip.Archive.ReadBuffer(&data[0], (int32_t)data.size());
    t.DecryptBlock(data.data(), &data[0], (uint32_t)data.size());
    t.ReadAuthCode(zip.Archive);
    EXPECT_TRUE(t.VerifyEntry(0, 0));
    EXPECT_EQ(data, AesText);
}
