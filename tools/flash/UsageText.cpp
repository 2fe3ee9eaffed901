// CLI11's help and usage errors in German.
#include "UsageText.h"

namespace {

// CLI11 names the option first: "--port: 1 required PORT missing".
std::string OptionOf(const std::string& text) {
    const size_t colon = text.find(':');
    return colon == std::string::npos ? std::string() : text.substr(0, colon);
}

std::string After(const std::string& text, const std::string& marker) {
    const size_t at = text.find(marker);
    return at == std::string::npos ? text : text.substr(at + marker.size());
}

bool Says(const std::string& text, const char* what) {
    return text.find(what) != std::string::npos;
}

} // namespace

const char* const ExitStatusHelp =
    "Exit-Status:\n"
    "  0   Alles OK ! (bei mehreren Ports: alle Geräte)\n"
    "  1   Schreibfehler, auch eine abgelehnte Firmware-Datei\n"
    "  2   abgebrochen (Strg+C oder SIGTERM; ein zweites Mal beendet sofort)\n"
    "  3   Schnittstelle nicht zu öffnen oder einzurichten, oder verloren\n"
    "  4   Firmware-Datei fehlt oder ist nicht lesbar; Run-Log oder Aufzeichnung nicht zu "
    "öffnen\n"
    "  5   keine Antwort vom Morvik 2 innerhalb von --search-timeout\n"
    "  64  falscher Aufruf\n"
    "Bei mehreren Ports: 0 nur, wenn alle Geräte fertig sind, sonst der erste Status der Reihe\n"
    "3, 1, 5, 2, mit dem ein Gerät endete.";

void GermanHelp(CLI::App& app) {
    app.option_defaults()->group("Angaben");
    app.set_help_flag("-h,--help", "Diese Hilfe zeigen und beenden");
    const auto formatter = app.get_formatter();
    formatter->label("Usage", "Aufruf");
    formatter->label("OPTIONS", "ANGABEN");
    formatter->label("Positionals", "Argument");
    formatter->label("REQUIRED", "NÖTIG");
    formatter->label("Needs", "braucht");
    formatter->label("Excludes", "schließt aus");
    formatter->label("TEXT", "TEXT");
    formatter->label("FLOAT", "ZAHL");
    formatter->label("INT", "ZAHL");
}

std::string GermanUsageError(const CLI::ParseError& error) {
    const std::string text = error.what();
    const std::string option = OptionOf(text);
    if (dynamic_cast<const CLI::ExtrasError*>(&error))
        return "Unbekannte Angabe: " + After(text, ": ");
    if (dynamic_cast<const CLI::ValidationError*>(&error))
        return text; // the project's own checks speak German already
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error)) {
        if (Says(text, "missing") || Says(text, "At least"))
            return option + ": Wert fehlt.";
        return (option.empty() ? After(text, " to ") : option) + ": zu viele Werte.";
    }
    if (dynamic_cast<const CLI::ConversionError*>(&error)) {
        if (Says(text, "flag"))
            return option + " nimmt keinen Wert.";
        return "Ungültiger Wert: " + After(text, ": ");
    }
    if (dynamic_cast<const CLI::ExcludesError*>(&error))
        return "Nicht zusammen möglich: " + text.substr(0, text.find(' ')) + " und " +
               After(text, " excludes ") + ".";
    if (dynamic_cast<const CLI::RequiredError*>(&error))
        return "Angabe fehlt: " + text.substr(0, text.find(' ')) + ".";
    return "Ungültiger Aufruf: " + text;
}
