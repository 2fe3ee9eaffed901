// The Morvik 2 bootloader as a byte-stream state machine, for tests and the simulator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A fault the simulated device shows on purpose, to test how the programmer copes.
struct Fault {
    enum class Kind { None, Silent, Wrong, Short, Hangup, EndSilent, EndWrong } kind = Kind::None;
    int frame = 0; // the frame (counted from 1) that shows it; for the frame kinds

    // "silent@3", "wrong@1", "short@2", "hangup@5", "end-silent", "end-wrong"; throws
    // std::invalid_argument on anything else.
    static Fault Parse(const std::string& text);
};

// The Morvik 2 bootloader as a byte-stream state machine: bytes from the PC in, reply bytes
// out. Everything a frame writes is kept as a memory image in the firmware file's byte order.
class Bootloader {
public:
    explicit Bootloader(int powerOnAfter = 0, Fault fault = {});

    struct Reply {
        std::vector<uint8_t> bytes;
        bool hangup = false;     // the adapter is to be unplugged now
        bool endCommand = false; // an end command was answered (or ignored by a fault)
    };
    Reply Receive(const uint8_t* data, size_t count);

    bool SwitchedOn() const { return syncs_ > powerOnAfter_; }
    int Syncs() const { return syncs_; }
    int Frames() const { return frames_; }
    int BadChecksumFrames() const { return badChecksums_; }
    int EndCommands() const { return endCommands_; }
    const std::map<uint16_t, uint8_t>& Image() const { return image_; }

    // The image as Intel HEX: data records of up to 32 bytes, then the end record.
    std::string ImageHex() const;

private:
    void Byte(uint8_t byte, Reply& reply);
    void FrameComplete(Reply& reply);

    int powerOnAfter_;
    Fault fault_;
    int syncs_ = 0;
    int frames_ = 0;
    int badChecksums_ = 0;
    int endCommands_ = 0;
    bool inFrame_ = false;
    std::vector<uint8_t> frame_;
    std::map<uint16_t, uint8_t> image_;
};
