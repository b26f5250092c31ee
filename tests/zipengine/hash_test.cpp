// SHA-1, the hash registry, HMAC and PBKDF2 against their published known-answer vectors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "SysUtils.h"
#include "ZFHash.h"
#include "ZFPBKDF_2.h"
#include "ZFhmac.h"
#include "ZFsha1.h"

namespace {

std::string Hex(const uint8_t* p, size_t n) {
    static const char d[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += d[p[i] >> 4];
        s += d[p[i] & 15];
    }
    return s;
}

std::string Sha1(const std::string& data) {
    THashDigest digest;
    HashAll(&SHA1Descriptor, data.data(), (uint32_t)data.size(), digest);
    return Hex(digest.Bytes, 20);
}

std::string Hmac(const std::string& key, const std::string& data) {
    THmacContext ctx;
    HmacInit(ctx, HashById(3), key.data(), (uint16_t)key.size());
    HmacUpdate(ctx, data.data(), (uint32_t)data.size());
    THashDigest digest;
    HmacFinal(ctx, digest);
    return Hex(digest.Bytes, 20);
}

std::string Derive(const std::string& password, const std::string& salt, uint32_t iterations, uint16_t size) {
    std::string out(size, '\0');
    EXPECT_EQ(Pbkdf2(password.data(), (uint16_t)password.size(), salt.data(), (uint16_t)salt.size(), &out[0],
                     size, iterations),
              Pbkdf2Ok);
    return Hex((const uint8_t*)out.data(), out.size());
}

// Puts the registry back as the engine's start-up left it.
struct TRegistryGuard {
    ~TRegistryGuard() {
        ClearHashRegistry();
        RegisterHash(SHA1HashNumber, &SHA1Descriptor);
    }
};

}  // namespace

TEST(ZFsha1, Fips180Vectors) {
    EXPECT_EQ(Sha1(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(Sha1("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(Sha1("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(Sha1(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(ZFsha1, PiecewiseUpdatesGiveTheSameDigestAndAZeroFilledArea) {
    const std::string data(1000, 'q');
    THashState state;
    SHA1Init(state);
    for (size_t at = 0, step = 1; at < data.size(); at += step, step = step * 3 % 97 + 1)
        SHA1Update(state, data.data() + at, (uint32_t)std::min(step, data.size() - at));
    THashDigest digest;
    memset(digest.Bytes, 0xEE, sizeof digest.Bytes);
    SHA1Final(state, digest);
    EXPECT_EQ(Hex(digest.Bytes, 20), Sha1(data));
    for (int i = 20; i < 64; ++i) EXPECT_EQ(digest.Bytes[i], 0) << i;
}

TEST(ZFHash, RegistryFindsSha1ByNumberAndNameAndRefusesMalformedDescriptors) {
    TRegistryGuard guard;
    EXPECT_EQ(HashById(3), &SHA1Descriptor);
    EXPECT_EQ(HashByName("sha1"), &SHA1Descriptor);
    EXPECT_EQ(HashByName("Sha1"), &SHA1Descriptor);
    EXPECT_EQ(HashByName("SHA-1"), nullptr);
    EXPECT_EQ(HashById(9), nullptr);
    EXPECT_EQ(HashById(4), nullptr);

    THashDescriptor copy = SHA1Descriptor;
    copy.Number = 5;
    copy.Name = "ABCDEFGHIJKLMNOPQRS";  // 19 characters: longer names are cut before comparing
    THashDescriptor badSignature = copy, badVersion = copy, badSize = copy;
    badSignature.Signature = 0x3D7B;
    badVersion.Version = 0x00010002;
    badSize.RecordSize = 81;
    for (const THashDescriptor* d : {&badSignature, &badVersion, &badSize}) {
        RegisterHash(5, d);
        EXPECT_EQ(HashById(5), nullptr);
    }
    RegisterHash(6, &copy);  // its own number is 5
    EXPECT_EQ(HashById(6), nullptr);
    RegisterHash(5, &copy);
    EXPECT_EQ(HashById(5), &copy);
    EXPECT_EQ(HashByName("abcdefghijklmnopqrsTUVWXYZ"), &copy);
    EXPECT_EQ(HashByName("abcdefghijklmnopqr"), nullptr);
}

TEST(ZFhmac, Rfc2202Vectors) {
    struct Case {
        std::string key, data, mac;
    } cases[] = {
        {std::string(20, '\x0b'), "Hi There", "b617318655057264e28bc0b6fb378c8ef146be00"},
        {"Jefe", "what do ya want for nothing?", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {std::string(20, '\xaa'), std::string(50, '\xdd'), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
        {"\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19",
         std::string(50, '\xcd'), "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
        {std::string(20, '\x0c'), "Test With Truncation", "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
         "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
    };
    for (const Case& c : cases) EXPECT_EQ(Hmac(c.key, c.data), c.mac) << c.data;
}

TEST(ZFhmac, OnlyKeysLongerThanTheBlockAreHashedFirst) {
    auto digestOf = [](const std::string& key) {
        THashDigest d;
        HashAll(&SHA1Descriptor, key.data(), (uint32_t)key.size(), d);
        return std::string((const char*)d.Bytes, 20);
    };
    const std::string key65(65, 'k'), key64(64, 'k');
    EXPECT_EQ(Hmac(key65, "data"), Hmac(digestOf(key65), "data"));
    EXPECT_NE(Hmac(key64, "data"), Hmac(digestOf(key64), "data"));
}

TEST(ZFPBKDF_2, Rfc6070Vectors) {
    EXPECT_EQ(Derive("password", "salt", 1, 20), "0c60c80f961f0e71f3a9b524af6012062fe037a6");
    EXPECT_EQ(Derive("password", "salt", 2, 20), "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957");
    EXPECT_EQ(Derive("password", "salt", 4096, 20), "4b007901b765489abead49d926f721d065a429c1");
    EXPECT_EQ(Derive("passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096, 25),
              "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038");
    EXPECT_EQ(Derive(std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, 16),
              "56fa6aa75548099dcc37d7f03425e0c3");
}

TEST(ZFPBKDF_2, AnOutputOfFortyTwoBytesIsTheStartOfThreeBlocks) {
    const std::string longer = Derive("pw", "salt", 3, 60);
    EXPECT_EQ(Derive("pw", "salt", 3, 42), longer.substr(0, 84));
    EXPECT_EQ(Derive("pw", "salt", 3, 40), longer.substr(0, 80));
}

TEST(ZFPBKDF_2, KeyGeneratorDerivesWithItsSaltAndMakesRandomSaltsWithoutFF) {
    const uint8_t salt[] = {'s', 'a', 'l', 't'};
    const TPBKDF2 given("password", 2, 4, salt);
    const std::vector<uint8_t> key = given.DeriveKey(20);
    EXPECT_EQ(Hex(key.data(), key.size()), "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957");
    EXPECT_EQ(given.SaltCopy(), std::vector<uint8_t>(salt, salt + 4));

    const TPBKDF2 random("pw", 1, 16384);
    const std::vector<uint8_t> bytes = random.SaltCopy();
    ASSERT_EQ(bytes.size(), 16384u);
    const std::set<uint8_t> seen(bytes.begin(), bytes.end());
    EXPECT_EQ(seen.count(0xFF), 0u);
    EXPECT_EQ(seen.size(), 255u);  // every other value turns up
    EXPECT_NE(TPBKDF2("pw", 1, 16).SaltCopy(), TPBKDF2("pw", 1, 16).SaltCopy());
}

TEST(ZFPBKDF_2, MissingHashIsRuntimeError254) {
    TRegistryGuard guard;
    ClearHashRegistry();
    uint8_t out[20];
    EXPECT_EQ(Pbkdf2("p", 1, "s", 1, out, 20, 1), Pbkdf2NoHash);
    try {
        TPBKDF2("p", 1, 4).DeriveKey(20);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), L"Runtime error 254");
    }
}
