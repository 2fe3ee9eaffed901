// The texts that are put together from parts: reasons, exchanges, printable names.
#include "MessageText.h"

#include <cerrno>
#include <cstdio>
#include <utility>

std::string DisplayText(const std::string& message) {
    std::string out;
    for (size_t i = 0; i < message.size(); ++i) {
        out += message[i];
        if (message.compare(i, 2, "\n\r") == 0)
            ++i;
    }
    return out;
}

namespace {

// The code point of a control character at `at` and its length in bytes; 0 bytes for others.
std::pair<unsigned, size_t> ControlAt(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    if (byte(at) < 0x20 || byte(at) == 0x7F)
        return {byte(at), 1};
    if (byte(at) == 0xC2 && at + 1 < text.size() && byte(at + 1) >= 0x80 && byte(at + 1) <= 0x9F)
        return {byte(at + 1), 2};
    return {0, 0};
}

} // namespace

bool HasControlCharacter(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i)
        if (ControlAt(text, i).second > 0)
            return true;
    return false;
}

std::string Printable(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto [code, length] = ControlAt(text, i);
        if (length == 0) {
            out += text[i];
            continue;
        }
        out += {'\\', 'x', digits[code >> 4], digits[code & 0xF]};
        i += length - 1;
    }
    return out;
}

std::string FailedExchangeText(const FailedExchange& failed) {
    std::string text = "Fehlgeschlagen beim Endebefehl";
    if (failed.line > 0) {
        char address[8];
        std::snprintf(address, sizeof address, "%04X", failed.address);
        text = "Fehlgeschlagen bei Zeile " + std::to_string(failed.line) + ", Adresse " + address;
    }
    if (failed.reply.empty())
        return text + ": keine Antwort";
    text += ": Antwort";
    for (const uint8_t byte : failed.reply) {
        char pair[4];
        std::snprintf(pair, sizeof pair, " %02X", byte);
        text += pair;
    }
    return text;
}

std::string RecordFaultText(RecordFault fault, uint64_t line) {
    const std::string number = std::to_string(line);
    switch (fault) {
    case RecordFault::Empty:
        return "Leere Zeile " + number + " !";
    case RecordFault::NoColon:
        return "Zeile " + number + " muß mit : beginnen!";
    case RecordFault::Malformed:
        return "Zeile " + number + " ist fehlerhaft!";
    case RecordFault::Checksum:
        return "Zeile " + number + ": Prüfsumme falsch!";
    case RecordFault::TooManyDataBytes:
        return "Zeile " + number + ": mehr als " + std::to_string(MaxFrameDataBytes) +
               " Datenbytes!";
    case RecordFault::OddDataByteCount:
        return "Zeile " + number + ": ungerade Anzahl Datenbytes!";
    case RecordFault::Beyond64K:
        return "Zeile " + number + ": Adresse über 64 KB!";
    }
    return {};
}

std::string FileErrorText(int osError) {
    if (osError == ENOENT)
        return "Datei nicht gefunden";
    if (osError == EACCES)
        return "Dateizugriff verweigert";
    return "E/A-Fehler " + std::to_string(osError);
}

std::string ExceptionText(const std::string& what) {
    if (!what.empty() && static_cast<unsigned char>(what.back()) > '.')
        return what + ".";
    return what;
}

std::string PortReason(const PortError& error, PortReasonFor shownBy) {
    std::string text;
    switch (error.failure) {
    case PortFailure::NoPermission:
        text = "Keine Berechtigung: den Benutzer in die Gruppe \"dialout\" aufnehmen (sudo "
               "usermod -aG dialout $USER) und sich neu anmelden.";
        break;
    case PortFailure::HeldByOtherProgram:
        text = "Die Schnittstelle wird von einem anderen Programm benutzt.";
        break;
    case PortFailure::NoSuchPort:
        text = shownBy == PortReasonFor::CommandLine
                   ? "Diese Schnittstelle gibt es nicht; `morvik2-flash --list-ports` zeigt die "
                     "vorhandenen."
                   : "Diese Schnittstelle gibt es nicht; die Liste zeigt die vorhandenen.";
        break;
    case PortFailure::System:
        return error.reason;
    }
    if (!error.detail.empty())
        text.replace(text.size() - 1, 1, ": " + error.detail); // in place of the full stop
    return text;
}
