// Names and texts as the user reads them.
#pragma once

#include "Protocol.h"
#include "SerialPort.h"

#include <cstdint>
#include <string>

// Every text the programming side and the settings give the user, which each front end shows as
// it is, has its home here. A front end's own texts (its command line, its help) live with it;
// the system's texts come from the system.

// The firmware file the window programs, and the command-line tool's default.
inline const std::string FirmwareFileName = "Morvik2 update.QV";

// The run's status texts, in the order a successful run shows them, then its other endings.
namespace StatusText {
inline const std::string Reset = "Reset";
inline const std::string Searching = "Suche nach Morvik 2.";
inline const std::string Writing = "Schreibe Daten, bitte warten!";
inline const std::string AllOk = "Alles OK !";
inline const std::string SearchStopped = "Suche abgebrochen.";
inline const std::string WriteStopped = "Schreiben abgebrochen!";
inline const std::string WriteError = "Schreibfehler!";
} // namespace StatusText

// Messages; a line break is written "\n\r".
namespace MessageText {
inline const std::string NoFirmwareFile =
    "Keine hex Datei ausgewählt oder \n\rDatei existiert nicht!";
inline const std::string WriteError = StatusText::WriteError;
inline const std::string Timeout = "Verbindung Timeout!";
inline const std::string PortLost = "Verbindung zur Schnittstelle unterbrochen!";
inline const std::string OpenFailed = "Schnittstelle konnte nicht geöffnet werden!";
inline const std::string GetStateFailed = "Schnittstellenparameter konnten nicht gelesen werden!";
inline const std::string SetStateFailed = "Schnittstellenparameter konnten nicht gesetzt werden!";
inline const std::string SetTimeoutsFailed = "Kommunikations Timeout konnte nicht gesetzt werden!";
inline const std::string PurgeFailed = "Puffer konnte nicht gelöscht werden!";
} // namespace MessageText

// Why the firmware file is refused; every reason is shown under the one heading.
namespace HexFileText {
inline const std::string Heading = "Fehler in Hex Datei!\n\r";
inline const std::string TooLarge = "Datei zu groß!";
inline const std::string NoData = "Keine Daten gefunden!";
inline const std::string NoEndRecord = "Endezeile fehlt!";
} // namespace HexFileText

// What is wrong with one record of the firmware file.
enum class RecordFault {
    Empty,
    NoColon,
    Malformed, // a character that is no hex digit, or a length that does not match its count
    Checksum,
    TooManyDataBytes,
    OddDataByteCount,
    Beyond64K,
};
// The reason for the record on line `line` (from 1), without the heading.
std::string RecordFaultText(RecordFault fault, uint64_t line);

// An input/output error of the firmware file, by its errno value.
std::string FileErrorText(int osError);

// The reason a port is refused that is the terminal the program runs in.
inline const std::string OwnTerminalText =
    "ist das Terminal, in dem das Programm läuft, kein Anschluss zum Morvik 2";

// The settings file that cannot be written.
inline std::string SettingsWriteErrorText(const std::string& path) {
    return "In " + path + " kann nicht geschrieben werden";
}

// Why the per-user folder cannot be had; the failing call's reason follows the line break.
namespace UserFolderText {
inline const std::string NoneOnPosix =
    "Kein Benutzerordner: weder XDG_DATA_HOME noch HOME nennt einen.";
inline const std::string NoneOnWindows =
    "Kein Benutzerordner: Windows nennt keinen Ordner für lokale Anwendungsdaten.";
inline std::string CannotCreate(const std::string& folder) {
    return "Der Benutzerordner " + folder + " kann nicht angelegt werden:\n";
}
inline std::string CannotEnter(const std::string& folder) {
    return "In den Benutzerordner " + folder + " kann nicht gewechselt werden:\n";
}
} // namespace UserFolderText

// The wire trace's words for a failed call and a port that has gone; the rest of a trace line
// is the call's own name.
namespace TraceText {
inline const std::string Failed = "Fehler";
inline const std::string Gone = " (Verbindung weg)";
} // namespace TraceText

// Windows' text for an error number it has no text for.
inline std::string UnknownSystemErrorText(unsigned long error) {
    return "Fehler " + std::to_string(error);
}

// Who shows a port's failure: the window, whose list holds the ports there are, or the
// command-line tool, which has --list-ports for that.
enum class PortReasonFor { Window, CommandLine };

// The reason below a port message as `shownBy` shows it: in German for the failures the program
// names itself, ending in the error's detail where it has one ("…benutzt: NAME (PID)"); the
// system's text for every other failure.
std::string PortReason(const PortError& error, PortReasonFor shownBy);

// "Fehlgeschlagen bei Zeile 3, Adresse 0020: Antwort E4 E7", "Fehlgeschlagen beim Endebefehl:
// keine Antwort".
std::string FailedExchangeText(const FailedExchange& failed);

// Messages write a line break as "\n\r"; shown, it is one line break.
std::string DisplayText(const std::string& message);

// Whether `text` holds a C0 control, DEL or a C1 control (U+0080 to U+009F): no name of a port
// does, and shown raw they would act on a terminal.
bool HasControlCharacter(const std::string& text);

// `text` as a line of its own may show it: every C0 control, DEL and C1 control written as \xHH
// (a backslash stays as it is, so that \\.\COM3 reads as it should). For device strings such as
// an adapter's maker, product and serial number, which whoever made the adapter chose; JSON
// keeps them exact.
std::string Printable(const std::string& text);

// The default exception display's rule: a full stop is appended when the text's last
// character sorts after "." (a letter or a digit, say; not "!" or ".").
std::string ExceptionText(const std::string& what);
