// The bootloader's commands, replies and frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Command and reply bytes of the Morvik 2 bootloader.
constexpr uint8_t SyncCommand = 0xFD;
constexpr uint8_t SyncReply = 0xEB;
constexpr uint8_t WriteCommand = 0xE3;
constexpr uint8_t WriteReply[2] = {0xE7, 0xE4};
constexpr uint8_t EndCommand = 0xED;
constexpr uint8_t EndReply = 0xED;

// The device's frame and reply buffers hold 41 bytes: at most 36 data bytes per frame.
constexpr size_t FrameBufferSize = 41;
constexpr int MaxFrameDataBytes = 36;

// The exchange that ended a failed transfer: a data record the device did not acknowledge, or
// the end command; and what came back.
struct FailedExchange {
    uint64_t line = 0; // the record's line in the firmware file, from 1; 0: the end command
    uint16_t address = 0;
    std::vector<uint8_t> reply; // empty: no answer
};

// The value of the hexadecimal digit `c` (either case), or -1 for any other character: the one
// decoder of hexadecimal text.
int HexDigit(char c);

// The value of the hexadecimal pair at zero-based index `pos` of `line`. Never reads past the
// end; a bad second digit gives the first digit's value, a bad first digit gives 0.
uint8_t HexPair(const std::string& line, size_t pos);

// The load address of a record line ":LLAAAATT...".
uint16_t RecordAddress(const std::string& line);

// The frame for a data record line ":LLAAAATT<data>CC": E3, address high, address low, LL,
// the sum of the data bytes, then the data as words with their two bytes exchanged.
std::vector<uint8_t> WriteFrame(const std::string& line);
