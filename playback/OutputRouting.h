#pragma once

#include <QString>

#include <algorithm>
#include <array>
#include <vector>

// Which output each channel leaves by, as plain logic. Channels on the same
// output share one mix (one stream, exact below full scale); channels on
// different outputs leave by one stream each.
//
// An output is named as the sound server names it; the empty name is the
// desktop's default output, which the stream follows when the default
// changes. A channel that names the output that is the default now goes
// with the default, so that one output never gets two streams of ours.
struct OutputRoute
{
    QString device;            // empty: the default output
    std::vector<int> channels; // in channel order
    bool operator==(const OutputRoute &) const = default;
};

// The device key of a channel's choice.
QString routeDevice(const QString &chosen, const QString &defaultName);

// One route per output in use, in the order of their first channel; a
// channel not in use has none.
template <std::size_t N>
std::vector<OutputRoute> routeChannels(const std::array<QString, N> &chosen, const std::array<bool, N> &inUse,
                                       const QString &defaultName)
{
    std::vector<OutputRoute> routes;
    for (std::size_t i = 0; i < N; ++i) {
        if (!inUse[i])
            continue;
        const QString device = routeDevice(chosen[i], defaultName);
        auto route = std::find_if(routes.begin(), routes.end(), [&](const OutputRoute &r) { return r.device == device; });
        if (route == routes.end())
            routes.push_back({device, {int(i)}});
        else
            route->channels.push_back(int(i));
    }
    return routes;
}
