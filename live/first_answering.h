// The live devices try their routes in order (the desktop's sound server,
// then the sound system's own devices) and use the first that opens. When
// the attempt has been given up while a route tried to open (a sound server
// that answered only after half a minute), no further route is tried: a
// second library is never started for an attempt nobody waits for.
//
// Threads: made and used on one attempt's device thread (see device_lane.h).
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "device_lane.h"
#include "playback_device.h"
#include "sound_source.h"

namespace vocalume {

// A route may give null where it was not built in.
using SourceRoute = std::function<std::unique_ptr<SoundSource>()>;
using PlaybackRoute = std::function<std::unique_ptr<PlaybackDevice>()>;

// `attempt` must outlive what is made.
std::unique_ptr<SoundSource> MakeFirstAnsweringSource(std::vector<SourceRoute> routes, const DeviceAttempt& attempt);
std::unique_ptr<PlaybackDevice> MakeFirstAnsweringDevice(std::vector<PlaybackRoute> routes,
                                                         const DeviceAttempt& attempt);

}  // namespace vocalume
