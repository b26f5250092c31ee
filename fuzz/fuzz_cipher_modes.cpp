// The block cipher's nine chaining modes over data of any length, fed in pieces of any size:
// a second cipher with the same key and initial vector decodes what the first encoded.
//
// Input: mode (modulo 9), key size (0 to 255: the cipher cuts it to 32), the key bytes, a flag byte
// (bit 0: an initial vector follows, 16 bytes), a piece size (0: the whole data at once), then
// the data.
#include <cstdint>
#include <algorithm>
#include <string>

#include "FuzzInput.h"
#include "ZFCipher.h"
#include "ZFConst.h"

namespace {

void Run(TCipher& cipher, const std::string& source, std::string& dest, size_t piece, bool decode) {
    dest.assign(source.size(), '\0');
    if (source.empty()) return;
    const size_t step = piece ? piece : source.size();
    for (size_t at = 0; at < source.size(); at += step) {
        const int32_t n = (int32_t)std::min(step, source.size() - at);
        if (decode) cipher.DecodeBuffer(&source[at], &dest[at], n);
        else cipher.EncodeBuffer(&source[at], &dest[at], n);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ZFEngineStartup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const uint8_t mode = in.U8() % 9;
    const uint8_t keySize = in.U8();
    const std::string key = in.Bytes(keySize);
    const bool hasVector = in.U8() & 1;
    const std::string vector = hasVector ? in.Bytes(16) + std::string(16, '\0') : std::string();
    const size_t piece = in.U8();
    const std::string plain = in.Rest();

    TCipher_Rijndael encoder, decoder;
    for (TCipher_Rijndael* c : {&encoder, &decoder}) {
        c->SetupKey(key.data(), (int32_t)key.size(), hasVector ? vector.data() : nullptr);
        c->Mode = mode;
    }
    std::string coded, decoded;
    Run(encoder, plain, coded, piece, false);
    Run(decoder, coded, decoded, piece, true);
    if (mode <= cmECB && decoded != plain) FuzzFinding("a chaining mode does not decode what it encoded");
    if (mode > cmECB && (coded != plain || encoder.Feedback() != decoder.Feedback()))
        FuzzFinding("a checksum mode changed its data or differs between directions");
    return 0;
}
