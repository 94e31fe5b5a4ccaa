// The code page 932 tables: UTF-16 to code page 932 and back, generated from
// glibc's iconv "CP932" converter by scripts/generate-cp932-table and
// committed (cp932_table.cpp), so that every platform gives the same bytes,
// close substitutes included (U+301C -> 81 60, U+2212 -> 81 7C, U+00A5 -> 5C).
// Internal to common/.
#pragma once

#include <cstdint>

namespace teebasket::cp932 {

// Encoding: the code of a BMP code unit is kEncodeBlocks[kEncodeBlockIndex[
// unit >> 8]][unit & 0xFF]: 0 when the code page lacks the character (and
// for U+0000), below 0x100 one byte, otherwise lead << 8 | trail. Block 0 is
// all zeros.
extern const std::uint8_t kEncodeBlockIndex[256];
extern const std::uint16_t kEncodeBlocks[][256];

inline std::uint16_t Encode(char32_t codePoint) {
    return codePoint < 0x10000 ? kEncodeBlocks[kEncodeBlockIndex[codePoint >> 8]][codePoint & 0xFF]
                               : 0;
}

// Decoding: single bytes that are not lead bytes, and byte pairs of a lead
// byte (0x81-0x9F, 0xE0-0xFC) and a trail byte (0x40-0xFC). 0 where the code
// page defines nothing (and for the zero byte).
inline constexpr unsigned kTrailFirst = 0x40;
inline constexpr unsigned kTrailLast = 0xFC;
inline constexpr unsigned kLeadCount = 60;
inline constexpr unsigned kTrailCount = kTrailLast - kTrailFirst + 1;

extern const char16_t kDecodeSingle[256];
extern const char16_t kDecodePairs[kLeadCount][kTrailCount];

// Row of lead byte `lead` in kDecodePairs; `lead` must be a lead byte.
constexpr unsigned LeadRow(unsigned char lead) {
    return lead <= 0x9F ? lead - 0x81u : lead - 0xE0u + 31u;
}

inline char16_t DecodePair(unsigned char lead, unsigned char trail) {
    return trail >= kTrailFirst && trail <= kTrailLast
               ? kDecodePairs[LeadRow(lead)][trail - kTrailFirst]
               : char16_t{0};
}

}  // namespace teebasket::cp932
