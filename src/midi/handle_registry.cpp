#include "handle_registry.h"

#include <algorithm>

namespace tonalyx::midi {

MidiOutHandle HandleRegistry::issue(std::int32_t device)
{
    ++lastIssued_;
    open_.emplace(lastIssued_, device);
    return lastIssued_;
}

std::optional<std::int32_t> HandleRegistry::deviceOf(MidiOutHandle handle) const
{
    const auto found = open_.find(handle);
    if (found == open_.end())
        return std::nullopt;
    return found->second;
}

bool HandleRegistry::isDeviceOpen(std::int32_t device) const
{
    return handleOf(device).has_value();
}

bool HandleRegistry::release(MidiOutHandle handle)
{
    return open_.erase(handle) != 0;
}

std::optional<MidiOutHandle> HandleRegistry::handleOf(std::int32_t device) const
{
    const auto found = std::find_if(
        open_.begin(), open_.end(), [device](const auto& entry) { return entry.second == device; });
    if (found == open_.end())
        return std::nullopt;
    return found->first;
}

} // namespace tonalyx::midi
