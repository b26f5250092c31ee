// The string table of the hashing LZW encoders (GIF and TIFF): the open-addressed table of the
// classic compress program, keyed by (byte shl 12) + prefix code. 9001 slots (libtiff's size)
// rather than compress's 5003 keep the table under half full at 4094 codes, so that probe chains
// stay short; the codes written do not depend on the table's size.
#pragma once
#include <algorithm>
#include <cstdint>

class TIELZWHash {
public:
    static constexpr int32_t kSize = 9001;

    void Clear() { std::fill(FKey, FKey + kSize, -1); }
    // The code of the string Prefix + C, or -1 with Slot the free slot where it would go.
    int32_t Find(int32_t C, int32_t Prefix, int32_t& Slot) const {
        const int32_t key = (C << 12) + Prefix;
        int32_t slot = (C << 5) ^ Prefix;   // below 8192: every slot a first probe can reach exists
        if (FKey[slot] >= 0 && FKey[slot] != key) {
            const int32_t displacement = slot == 0 ? 1 : kSize - slot;
            do {
                if ((slot -= displacement) < 0) slot += kSize;
            } while (FKey[slot] >= 0 && FKey[slot] != key);
        }
        Slot = slot;
        return FKey[slot] == key ? FCode[slot] : -1;
    }
    // Extends Prefix by C when the table holds that string (or starts it with C when Prefix is -1)
    // and returns true; otherwise returns false with Slot set for Store.
    bool Extend(int32_t C, int32_t& Prefix, int32_t& Slot) const {
        if (Prefix < 0) {
            Prefix = C;
            return true;
        }
        const int32_t code = Find(C, Prefix, Slot);
        if (code < 0) return false;
        Prefix = code;
        return true;
    }
    void Store(int32_t Slot, int32_t C, int32_t Prefix, int32_t Code) {
        FKey[Slot] = (C << 12) + Prefix;
        FCode[Slot] = (uint16_t)Code;
    }

private:
    int32_t FKey[kSize];
    uint16_t FCode[kSize];
};
