// A command of morvik2-flash checked before anything is opened: its runs, the path each opens,
// or why the command is refused.
#pragma once

#include "FlashOptions.h"
#include "PortListing.h"
#include "PortSettings.h"
#include "SerialPortList.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct FlashPlan {
    // In the order of the ports, each with the path it opens; a usb: name for several adapters
    // stands for as many runs.
    std::vector<PortRun> runs;
    std::optional<FlashRefusal> refusal; // the plan is void when there is one
};

// The serial ports there are; asked only when a port is named by its USB identity.
using PortEnumeration = std::function<std::vector<SerialPortInfo>()>;

// Checks `options` in the order a user is told of what is wrong: the ports (ChoosePorts from
// `options`, `environment` (MORVIK2_PORT) and `settings`) and their names, how many there are,
// the names of the run log and the trace, one device under two names, the firmware file
// (exit status 4 where it is missing or cannot be reached), and last that neither the run log
// nor the trace is the firmware file or a port. Opens nothing.
FlashPlan CheckFlashCommand(const FlashOptions& options, const std::string& environment,
                            const SettingsFiles& settings, const PortEnumeration& enumeratePorts);
