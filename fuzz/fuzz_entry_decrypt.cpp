// Entry decryption with arbitrary stored bytes, as the reader drives it: the traditional PKWARE
// header check and decryption, and the WinZip AES header, password check, decryption and
// authentication code.
//
// Input: kind (0 PKWARE, 1-3 AES-128/192/256, modulo 4), options (bit 0: AE-1, else AE-2; the
// other bits pick the block split), flags (16 bits), CRC (32), DOS time (16), password length
// (8) and password, then the stored bytes (encryption header, data, authentication code).
// fuzz/make_entry_decrypt_seeds.py turns the encrypted ZIP fixtures into such inputs.
#include <cstdint>
#include <string>
#include <vector>

#include "Classes.h"
#include "FuzzInput.h"
#include "ZFCipher.h"
#include "ZFConst.h"
#include "ZFZlib.h"

namespace {

// The size of the next block of the reader's loop: 1 to 64 bytes, or up to 4096.
int32_t BlockSize(uint8_t options, int32_t left) {
    const int32_t size = (options & 0x80) ? 4096 : 1 + ((options >> 1) & 0x3F);
    return left < size ? left : size;
}

void Pkware(const std::string& password, uint16_t flags, uint32_t crc, uint16_t dosTime, uint8_t options,
            std::string stored) {
    if (stored.size() < ZFPkwareHeaderSize) return;
    TPkwareKeys keys;
    if (!PkwareCheckPassword(keys, password, reinterpret_cast<const uint8_t*>(stored.data()),
                             PkwareCheckByte(flags, crc, dosTime)))
        return;
    uint32_t sum = 0;
    int32_t at = ZFPkwareHeaderSize;
    while (at < (int32_t)stored.size()) {
        const int32_t n = BlockSize(options, (int32_t)stored.size() - at);
        keys.Decrypt(&stored[(size_t)at], (size_t)n);
        sum = ZFCrc32(sum, &stored[(size_t)at], (size_t)n);
        at += n;
    }
    (void)(sum == crc);
}

void Aes(int strength, const std::string& password, uint32_t crc, uint8_t options, const std::string& stored) {
    TAESCryptoTransform aes(64 + 64 * strength, 8, (options & 1) ? 1 : ZFAesVendorVersion);
    aes.SetMode(ctDecrypt);
    aes.SetPassword(password);
    const int64_t overhead = aes.HeaderSize() + ZFAesAuthCodeSize;
    if ((int64_t)stored.size() < overhead) return;
    TMemoryStream in;
    in.WriteBuffer(stored.data(), (int32_t)stored.size());
    in.SetPosition(0);
    aes.ReadHeader(in);
    if (!aes.CheckPassword(password)) return;
    int32_t left = (int32_t)(stored.size() - overhead);
    std::vector<uint8_t> block(4096);
    uint32_t sum = 0;
    while (left > 0) {
        const int32_t n = BlockSize(options, left);
        in.ReadBuffer(block.data(), n);
        aes.DecryptBlock(block.data(), block.data(), (uint32_t)n);
        sum = ZFCrc32(sum, block.data(), (size_t)n);
        left -= n;
    }
    aes.ReadAuthCode(in);
    aes.VerifyEntry(crc, sum);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZFEngineStartup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const int kind = in.U8() % 4;
    const uint8_t options = in.U8();
    const uint16_t flags = in.U16();
    const uint32_t crc = in.U32();
    const uint16_t dosTime = in.U16();
    const std::string password = in.Bytes(in.U8());
    const std::string stored = in.Rest();
    if (kind == 0) Pkware(password, flags, crc, dosTime, options, stored);
    else Aes(kind, password, crc, options, stored);
    return 0;
}
