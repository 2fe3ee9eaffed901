// A link's address trimmed as the label hands it on.
#include "UrlText.h"

namespace {

// The length of the blank or control character at `at`, 0 if there is none. U+0080 to U+009F
// are C2 80 to C2 9F in UTF-8.
size_t LeadingBlankOrControl(const std::string& text, size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte <= 0x20 || byte == 0x7f)
        return 1;
    if (byte == 0xc2 && at + 1 < text.size()) {
        const auto next = static_cast<unsigned char>(text[at + 1]);
        return next >= 0x80 && next <= 0x9f ? 2 : 0;
    }
    return 0;
}

size_t TrailingBlankOrControl(const std::string& text, size_t end) {
    const auto byte = static_cast<unsigned char>(text[end - 1]);
    if (byte <= 0x20 || byte == 0x7f)
        return 1;
    if (end >= 2 && byte >= 0x80 && byte <= 0x9f &&
        static_cast<unsigned char>(text[end - 2]) == 0xc2)
        return 2;
    return 0;
}

} // namespace

std::string TrimBlanksAndControls(const std::string& url) {
    size_t first = 0;
    size_t end = url.size();
    while (first < end) {
        const size_t length = LeadingBlankOrControl(url, first);
        if (length == 0)
            break;
        first += length;
    }
    while (end > first) {
        const size_t length = TrailingBlankOrControl(url, end);
        if (length == 0 || end - length < first)
            break;
        end -= length;
    }
    return url.substr(first, end - first);
}
