#include "MessageText.h"

std::string DisplayText(const std::string& message) {
    std::string out;
    for (size_t i = 0; i < message.size(); ++i) {
        out += message[i];
        if (message.compare(i, 2, "\n\r") == 0)
            ++i;
    }
    return out;
}

std::string ExceptionText(const std::string& what) {
    if (!what.empty() && static_cast<unsigned char>(what.back()) > '.')
        return what + ".";
    return what;
}

std::string PortReason(const PortError& error) {
    const auto entry = PortFailureTexts.find(error.failure);
    return entry == PortFailureTexts.end() ? std::string() : entry->second + error.detail;
}
