#pragma once

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

// The German reason shown below a port message for each failure the program names itself, the
// PortError's detail after it. Every other failure keeps the system's reason.
inline const std::map<PortFailure, std::string> PortFailureTexts = {
    {PortFailure::HeldByOtherProgram,
     "Die Schnittstelle wird von einem anderen Programm benutzt: "},
};

// The reason from PortFailureTexts with the error's detail; empty where the table has none.
std::string PortReason(const PortError& error);

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
