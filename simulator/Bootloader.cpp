// The simulated bootloader's state machine, faults included.
#include "Bootloader.h"

#include "IntelHex.h"
#include "Protocol.h"

#include <stdexcept>

Fault Fault::Parse(const std::string& text) {
    static const std::map<std::string, Kind> frameKinds = {{"silent", Kind::Silent},
                                                           {"wrong", Kind::Wrong},
                                                           {"short", Kind::Short},
                                                           {"hangup", Kind::Hangup}};
    if (text == "end-silent")
        return {Kind::EndSilent, 0};
    if (text == "end-wrong")
        return {Kind::EndWrong, 0};
    const auto at = text.find('@');
    const auto kind = frameKinds.find(text.substr(0, at));
    if (kind == frameKinds.end() || at == std::string::npos || at + 1 == text.size() ||
        text.find_first_not_of("0123456789", at + 1) != std::string::npos)
        throw std::invalid_argument("unknown fault: " + text);
    return {kind->second, std::stoi(text.substr(at + 1))};
}

Bootloader::Bootloader(int powerOnAfter, Fault fault)
    : powerOnAfter_(powerOnAfter), fault_(fault) {}

Bootloader::Reply Bootloader::Receive(const uint8_t* data, size_t count) {
    Reply reply;
    for (size_t i = 0; i < count && !reply.hangup; ++i)
        Byte(data[i], reply);
    return reply;
}

void Bootloader::Byte(uint8_t byte, Reply& reply) {
    if (inFrame_) {
        frame_.push_back(byte);
        if (frame_.size() >= 5 && frame_.size() == size_t(frame_[3]) + 5)
            FrameComplete(reply);
        return;
    }
    if (byte == SyncCommand) {
        ++syncs_;
        if (SwitchedOn())
            reply.bytes.push_back(SyncReply);
        return;
    }
    if (!SwitchedOn())
        return; // a device that is off hears nothing
    if (byte == WriteCommand) {
        inFrame_ = true;
        frame_.assign(1, byte);
    } else if (byte == EndCommand) {
        ++endCommands_;
        reply.endCommand = true;
        if (fault_.kind == Fault::Kind::EndWrong)
            reply.bytes.push_back(0x00);
        else if (fault_.kind != Fault::Kind::EndSilent)
            reply.bytes.push_back(EndReply);
    }
}

void Bootloader::FrameComplete(Reply& reply) {
    inFrame_ = false;
    const int number = ++frames_;
    const size_t count = frame_[3];
    uint8_t sum = 0;
    for (size_t i = 5; i < frame_.size(); ++i)
        sum = static_cast<uint8_t>(sum + frame_[i]);
    if (sum != frame_[4]) {
        ++badChecksums_;
        reply.bytes.push_back(0x00);
        return;
    }
    if (fault_.frame == number) {
        switch (fault_.kind) {
        case Fault::Kind::Silent:
            return;
        case Fault::Kind::Wrong:
            reply.bytes.insert(reply.bytes.end(), {WriteReply[1], WriteReply[0]});
            return;
        case Fault::Kind::Short:
            reply.bytes.push_back(WriteReply[0]);
            return;
        case Fault::Kind::Hangup:
            reply.hangup = true;
            return;
        default:
            break;
        }
    }
    // Words travel high byte first; the image keeps the file's order, low byte first.
    const uint16_t address = static_cast<uint16_t>(frame_[1] << 8 | frame_[2]);
    for (size_t k = 0; k + 1 < count; k += 2) {
        image_[static_cast<uint16_t>(address + k)] = frame_[6 + k];
        image_[static_cast<uint16_t>(address + k + 1)] = frame_[5 + k];
    }
    reply.bytes.insert(reply.bytes.end(), {WriteReply[0], WriteReply[1]});
}

std::string Bootloader::ImageHex() const {
    return IntelHex(image_, 32, "\n");
}
