#pragma once

#include "Protocol.h"
#include "SerialPort.h"

#include <map>
#include <string>

// Names and texts as the user reads them, shared by every front end: each has its home here.

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

// Who shows a port's failure: the window, whose list holds the ports there are, or the
// command-line tool, which has --list-ports for that.
enum class PortReasonFor { Window, CommandLine };

struct PortFailureText {
    std::string window;
    std::string commandLine; // empty: as the window's
};

// The German reason shown below a port message for each failure the program names itself.
// Every other failure is shown with the system's text.
inline const std::map<PortFailure, PortFailureText> PortFailureTexts = {
    {PortFailure::NoPermission,
     {"Keine Berechtigung: den Benutzer in die Gruppe \"dialout\" aufnehmen (sudo usermod -aG "
      "dialout $USER) und sich neu anmelden.",
      ""}},
    {PortFailure::HeldByOtherProgram,
     {"Die Schnittstelle wird von einem anderen Programm benutzt.", ""}},
    {PortFailure::NoSuchPort,
     {"Diese Schnittstelle gibt es nicht; die Liste zeigt die vorhandenen.",
      "Diese Schnittstelle gibt es nicht; `morvik2-flash --list-ports` zeigt die vorhandenen."}},
};

// The reason below a port message as `shownBy` shows it: the table's text, ending in the
// error's detail where it has one ("…benutzt: NAME (PID)"), else the system's text.
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
