// The standard CRC-32 (reflected polynomial 0xEDB88320, as in ZIP and PNG) over buffers and files.
#pragma once
#include <cstdint>
#include <string>

// Runs ACRC over ACount bytes. The caller starts with 0xFFFFFFFF and inverts after the last call.
void KWCRC32Buffer(const void* AData, uint32_t& ACRC, int64_t ACount);

// The finished CRC-32 of a whole file (0 for an empty one) and its size. AError becomes 1 when the
// file cannot be read to its end (ACRC then covers what was read); a file that cannot be opened
// raises EFOpenError.
void KWCRC32File(const std::wstring& AFileName, uint32_t& ACRC, int64_t& ATotalBytes, uint16_t& AError);

// The unit's 256-entry table.
const uint32_t* CRC32Table();
// The CRC-32 of a table's own 1024 bytes (entries little-endian), summed through that table;
// 0x6FCF9E13 when the table is sound.
uint32_t CRC32TableCheck(const uint32_t* ATable = CRC32Table());
// The start-up check's message for a table: empty when it is sound, else
// "CRC32 Table CRC32 is XXXXXXXX, expecting $6FCF9E13".
std::wstring CRC32TableMessage(const uint32_t* ATable);
// Shows the message in the platform's simple message dialog (the program's name as caption);
// natively it goes to the standard error output.
void CRC32ShowMessage(const std::wstring& AText);

// Unit start-up: checks the table and tells the user when it is damaged (the program goes on).
void CRC32_Initialize();
// Registers the start-up above with the unit registry (the program entry calls it).
void CRC32_Register();
