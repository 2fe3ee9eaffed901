// The checks a command of morvik2-flash passes before any port or file is opened.
#include "FlashPlan.h"

#include "Console.h"
#include "FlashRuns.h"
#include "MessageText.h"
#include "PortResolver.h"
#include "SerialPort.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

// Every name a port, and none twice.
std::optional<FlashRefusal> CheckPortNames(const std::vector<std::string>& names,
                                           const std::string& source) {
    for (size_t i = 0; i < names.size(); ++i) {
        if (!IsPortName(names[i]) && !IsUsbPortName(names[i]))
            return UsageRefusal(source + ": \"" + Printable(names[i]) +
                                "\" ist weder COM1 bis COM" + std::to_string(MaxComNumber) +
                                " noch ein Gerätepfad.");
        if (std::find(names.begin(), names.begin() + long(i), names[i]) != names.begin() + long(i))
            return UsageRefusal("--port: \"" + names[i] + "\" ist zweimal angegeben.");
    }
    return std::nullopt;
}

// The runs the names stand for, no more than a gang takes.
PortRuns ResolveRuns(const std::vector<std::string>& names, const std::string& source,
                     const PortEnumeration& enumeratePorts) {
    const bool byUsbIdentity = std::any_of(names.begin(), names.end(), IsUsbPortName);
    PortRuns resolved = ResolvePortNames(
        names, byUsbIdentity ? enumeratePorts() : std::vector<SerialPortInfo>{}, source);
    if (resolved.usageError.empty() && resolved.runs.size() > MaxGangPorts)
        resolved.usageError = source + ": höchstens " + std::to_string(MaxGangPorts) +
                              " Ports, nicht " + std::to_string(resolved.runs.size()) + ".";
    return resolved;
}

// Each port is looked up once, and the run opens what the checks compared.
void ResolvePaths(std::vector<PortRun>& runs, const std::optional<std::string>& portsFile) {
    for (PortRun& run : runs)
        if (run.noDevice.empty())
            run.path = ResolvePortPath(run.port, portsFile);
}

std::optional<FlashRefusal> CheckOutputNames(const FlashOptions& options) {
    for (const auto& [name, path] :
         {std::pair{"log", &options.logPath}, {"trace", &options.tracePath}})
        if (*path && (*path)->empty())
            return UsageRefusal(std::string("--") + name + ": \"\" ist kein Dateiname.");
    return std::nullopt;
}

// The runs with a device, which alone have a port to open, to compare or to keep output out of.
std::vector<size_t> RunsWithDevice(const FlashPlan& plan) {
    std::vector<size_t> runs;
    for (size_t i = 0; i < plan.runs.size(); ++i)
        if (plan.runs[i].noDevice.empty())
            runs.push_back(i);
    return runs;
}

// One device under two names would be opened twice: one run fails "busy", and both write into
// the log.
std::optional<FlashRefusal> CheckSameDevice(const FlashPlan& plan,
                                            const std::vector<size_t>& opened,
                                            const std::string& source) {
    std::vector<std::string> portPaths;
    for (size_t run : opened)
        portPaths.push_back(plan.runs[run].path);
    if (const auto same = FirstSameDevice(portPaths))
        return UsageRefusal(source + ": \"" + plan.runs[opened[same->first]].givenAs + "\" und \"" +
                            plan.runs[opened[same->second]].givenAs +
                            "\" sind dieselbe Schnittstelle.");
    return std::nullopt;
}

std::optional<FlashRefusal> CheckFirmwareFile(const std::string& file) {
    std::error_code error;
    const auto type = std::filesystem::status(std::filesystem::u8path(file), error).type();
    if (type == std::filesystem::file_type::not_found)
        return FlashRefusal{ExitFile, DisplayText(MessageText::NoFirmwareFile) + "\n" + file};
    if (error)
        return FlashRefusal{
            ExitFile,
            FileProblem("Auf die Firmware-Datei kann nicht zugegriffen werden!", file, error)};
    return std::nullopt;
}

// A run log or trace must not be written into a port (opening a tty alone raises DTR and RTS)
// or into the firmware file, which would grow with every run.
std::optional<FlashRefusal> CheckOutputTargets(const FlashOptions& options, const FlashPlan& plan,
                                               const std::vector<size_t>& opened) {
    for (const std::optional<std::string>* path : {&options.logPath, &options.tracePath}) {
        if (!*path)
            continue;
        const std::string& output = **path;
        const bool intoPort = std::any_of(opened.begin(), opened.end(), [&](size_t run) {
            return SameDevice(output, plan.runs[run].path);
        });
        if (IsAttachedTerminal(output) || SameDevice(output, options.file) || intoPort)
            return UsageRefusal("Run-Log/Aufzeichnung darf nicht die Firmware-Datei oder eine "
                                "Schnittstelle sein: " +
                                output);
    }
    return std::nullopt;
}

} // namespace

FlashPlan CheckFlashCommand(const FlashOptions& options, const std::string& environment,
                            const SettingsFiles& settings, const PortEnumeration& enumeratePorts) {
    const PortChoice choice = ChoosePorts(options.ports, environment, settings);
    const std::string source = choice.source == PortSource::Environment ? PortVariable : "--port";
    FlashPlan plan;
    if ((plan.refusal = CheckPortNames(choice.ports, source)))
        return plan;
    PortRuns resolved = ResolveRuns(choice.ports, source, enumeratePorts);
    if (!resolved.usageError.empty()) {
        plan.refusal = UsageRefusal(resolved.usageError);
        return plan;
    }
    plan.runs = std::move(resolved.runs);
    ResolvePaths(plan.runs, choice.portsFile);
    const std::vector<size_t> opened = RunsWithDevice(plan);
    if (!(plan.refusal = CheckOutputNames(options)) &&
        !(plan.refusal = CheckSameDevice(plan, opened, source)) &&
        !(plan.refusal = CheckFirmwareFile(options.file)))
        plan.refusal = CheckOutputTargets(options, plan, opened);
    return plan;
}
