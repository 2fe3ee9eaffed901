// The simulated bootloader fed an arbitrary byte stream, whole in chunks and byte by byte.
#include "Bootloader.h"
#include "HexRecord.h"
#include "Protocol.h"
#include "Require.h"

#include <algorithm>
#include <map>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The device's protocol as the programmer relies on it: a sync byte is answered once the device
// is on; a write command opens a frame whose length the fourth byte gives (bytes inside a frame
// are data, whatever their value); a complete frame is answered E7 E4 and stored when its sum
// matches, 00 otherwise; an end command is answered ED; anything else is ignored.
class Model {
public:
    explicit Model(int powerOnAfter) : powerOnAfter_(powerOnAfter) {}

    Bytes Byte(uint8_t byte) {
        if (inFrame_) {
            frame_.push_back(byte);
            if (frame_.size() >= 5 && frame_.size() == frame_[3] + 5u)
                return FrameComplete();
            return {};
        }
        if (byte == SyncCommand) {
            ++syncs_;
            return syncs_ > powerOnAfter_ ? Bytes{SyncReply} : Bytes{};
        }
        if (syncs_ <= powerOnAfter_)
            return {};
        if (byte == WriteCommand) {
            inFrame_ = true;
            frame_.assign(1, byte);
        } else if (byte == EndCommand) {
            return {EndReply};
        }
        return {};
    }

    const std::map<uint16_t, uint8_t>& Image() const { return image_; }

private:
    Bytes FrameComplete() {
        inFrame_ = false;
        uint8_t sum = 0;
        for (size_t i = 5; i < frame_.size(); ++i)
            sum = uint8_t(sum + frame_[i]);
        if (sum != frame_[4])
            return {0x00};
        // The frame carries words high byte first; the image is in the file's byte order.
        const unsigned address = unsigned(frame_[1] << 8 | frame_[2]);
        for (size_t k = 0; k + 1 < frame_[3]; k += 2) {
            image_[uint16_t(address + k)] = frame_[6 + k];
            image_[uint16_t(address + k + 1)] = frame_[5 + k];
        }
        return {WriteReply[0], WriteReply[1]};
    }

    int powerOnAfter_;
    int syncs_ = 0;
    bool inFrame_ = false;
    Bytes frame_;
    std::map<uint16_t, uint8_t> image_;
};

struct Counters {
    int syncs, frames, bad, ends;
    explicit Counters(const Bootloader& device)
        : syncs(device.Syncs()), frames(device.Frames()), bad(device.BadChecksumFrames()),
          ends(device.EndCommands()) {}
};

// One chunk's reply must be a sequence of whole answers that the counters account for.
void CheckReply(const Bootloader::Reply& reply, const Counters& before, const Counters& after,
                int powerOnAfter) {
    REQUIRE(!reply.hangup);
    int syncReplies = 0, good = 0, bad = 0, ends = 0;
    const Bytes& bytes = reply.bytes;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == SyncReply)
            ++syncReplies;
        else if (bytes[i] == EndReply)
            ++ends;
        else if (bytes[i] == 0x00)
            ++bad;
        else {
            REQUIRE(bytes[i] == WriteReply[0] && i + 1 < bytes.size() &&
                    bytes[i + 1] == WriteReply[1]);
            ++good, ++i;
        }
    }
    const auto heard = [&](int syncs) { return syncs > powerOnAfter ? syncs - powerOnAfter : 0; };
    REQUIRE(syncReplies == heard(after.syncs) - heard(before.syncs));
    REQUIRE(good + bad == after.frames - before.frames);
    REQUIRE(bad == after.bad - before.bad);
    REQUIRE(ends == after.ends - before.ends);
    REQUIRE(reply.endCommand == (ends > 0));
}

// The image written out as HEX must read back as the same image.
void CheckImageHex(const Bootloader& device) {
    const std::string hex = device.ImageHex();
    std::map<uint16_t, uint8_t> image;
    size_t at = 0;
    for (;;) {
        const size_t end = hex.find('\n', at);
        REQUIRE(end != std::string::npos);
        const std::string line = hex.substr(at, end - at);
        at = end + 1;
        const auto record = DecodeRecord(line);
        REQUIRE(record);
        if (record->type == 1) {
            REQUIRE(line == ":00000001FF");
            break;
        }
        REQUIRE(record->type == 0 && !record->data.empty() && record->data.size() <= 32);
        for (size_t i = 0; i < record->data.size(); ++i) {
            REQUIRE(record->address + i <= 0xFFFF);
            REQUIRE(image.emplace(uint16_t(record->address + i), record->data[i]).second);
        }
    }
    REQUIRE(at == hex.size());
    REQUIRE(image == device.Image());
}

uint32_t Hash(const uint8_t* data, size_t size) {
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    return hash;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The chunking and the number of unanswered syncs before the device is on come from the
    // input, so the fuzzer varies them along with the stream.
    uint32_t random = Hash(data, size) | 1;
    const auto next = [&random] {
        random ^= random << 13, random ^= random >> 17, random ^= random << 5;
        return random;
    };
    const int powerOnAfter = int(next() % 3);

    Bootloader bytewise(powerOnAfter);
    Model model(powerOnAfter);
    Bytes replies;
    for (size_t i = 0; i < size; ++i) {
        const Counters before(bytewise);
        const auto reply = bytewise.Receive(&data[i], 1);
        CheckReply(reply, before, Counters(bytewise), powerOnAfter);
        REQUIRE(reply.bytes == model.Byte(data[i]));
        replies.insert(replies.end(), reply.bytes.begin(), reply.bytes.end());
    }
    REQUIRE(bytewise.Image() == model.Image());

    Bootloader chunked(powerOnAfter);
    Bytes chunkedReplies;
    for (size_t at = 0; at < size;) {
        const size_t count = std::min<size_t>(next() % 48, size - at);
        const Counters before(chunked);
        const auto reply = chunked.Receive(&data[at], count);
        CheckReply(reply, before, Counters(chunked), powerOnAfter);
        chunkedReplies.insert(chunkedReplies.end(), reply.bytes.begin(), reply.bytes.end());
        at += count;
    }
    REQUIRE(chunkedReplies == replies);
    REQUIRE(chunked.Image() == bytewise.Image());
    REQUIRE(chunked.Syncs() == bytewise.Syncs() && chunked.Frames() == bytewise.Frames() &&
            chunked.BadChecksumFrames() == bytewise.BadChecksumFrames() &&
            chunked.EndCommands() == bytewise.EndCommands());
    CheckImageHex(chunked);
    return 0;
}
