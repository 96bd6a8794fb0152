// SPDX-License-Identifier: GPL-3.0-or-later
#include "device_list.h"

#include "device_name.h"

#include <climits>

namespace tonalyx::midi {

DeviceList::DeviceList(std::vector<std::unique_ptr<MidiBackend>> backends)
    : backends_(std::move(backends))
{ }

DeviceList::~DeviceList()
{
    // A connection opened ahead and never taken closes before its backend goes.
    if (ahead_)
        ahead_->connection.get();
}

const DeviceList::Device* DeviceList::find(std::int32_t device)
{
    if (!devices_) {
        devices_.emplace();
        for (const auto& backend : backends_) {
            for (auto& port : backend->ports()) {
                if (devices_->size() == INT32_MAX)
                    break;
                // A name ends at its first zero byte, as names from C interfaces do.
                const std::string_view name(port.name.c_str());
                devices_->push_back({ backend.get(), std::move(port.identity),
                    std::string(cutUtf8(name, kMaxDeviceNameBytes)) });
            }
        }
    }
    if (device < 0 || static_cast<std::size_t>(device) >= devices_->size())
        return nullptr;
    return &(*devices_)[static_cast<std::size_t>(device)];
}

std::int32_t DeviceList::count()
{
    find(0);
    return static_cast<std::int32_t>(devices_->size());
}

std::string DeviceList::name(std::int32_t device)
{
    const auto* found = find(device);
    return found != nullptr ? found->name : std::string();
}

std::vector<InputRoute*> DeviceList::inputs() const
{
    std::vector<InputRoute*> routes;
    for (const auto& backend : backends_) {
        if (auto* route = backend->input())
            routes.push_back(route);
    }
    return routes;
}

std::uint64_t DeviceList::leftOut() const
{
    std::uint64_t count = 0;
    for (const auto& backend : backends_) {
        count += backend->leftOut();
    }
    return count;
}

std::unique_ptr<MidiConnection> DeviceList::open(std::int32_t device)
{
    if (ahead_) {
        auto connection = ahead_->connection.get();
        const bool same = ahead_->device == device;
        ahead_.reset();
        if (same)
            return connection;
    }
    const auto* found = find(device);
    return found != nullptr ? found->backend->open(found->identity) : nullptr;
}

void DeviceList::openAhead(std::int32_t device)
{
    const auto* found = find(device);
    if (found == nullptr || ahead_)
        return;
    ahead_ = Ahead { device,
        std::async(std::launch::async, [backend = found->backend, identity = found->identity] {
            return backend->open(identity);
        }) };
}

} // namespace tonalyx::midi
