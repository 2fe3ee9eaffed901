#include "PortResolver.h"

std::optional<std::pair<size_t, size_t>> FirstSameDevice(const std::vector<std::string>& ports,
                                                         const PortLookup& lookup) {
    std::vector<std::string> paths;
    for (const std::string& port : ports)
        paths.push_back(ResolvePortPath(port, lookup));
    for (size_t later = 1; later < paths.size(); ++later)
        for (size_t earlier = 0; earlier < later; ++earlier)
            if (SameDevice(paths[earlier], paths[later]))
                return std::make_pair(earlier, later);
    return std::nullopt;
}
