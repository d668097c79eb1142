#include "device_lane.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace vocalume {
namespace {

// The lane's state. Made on first use and never destroyed, so that a device
// thread still inside a library at exit never finds it gone.
struct Lane {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<const DeviceTurn*> waiting;  // in the order the turns were asked for
    bool busy = false;
    int alive = 0;
};

Lane& TheLane()
{
    static Lane* lane = new Lane;
    return *lane;
}

}  // namespace

void DeviceAttempt::GiveUp()
{
    Lane& lane = TheLane();
    {
        std::lock_guard<std::mutex> lock(lane.mutex);
        m_givenUp.store(true, std::memory_order_release);
    }
    lane.changed.notify_all();
}

std::shared_ptr<DeviceAttempt> BeginDeviceAttempt()
{
    Lane& lane = TheLane();
    std::lock_guard<std::mutex> lock(lane.mutex);
    ++lane.alive;
    return std::make_shared<DeviceAttempt>();
}

void EndDeviceAttempt(DeviceAttempt&)
{
    Lane& lane = TheLane();
    {
        std::lock_guard<std::mutex> lock(lane.mutex);
        --lane.alive;
    }
    lane.changed.notify_all();
}

DeviceTurn::DeviceTurn(DeviceAttempt& attempt, bool evenIfGivenUp)
{
    Take(attempt, evenIfGivenUp, std::chrono::steady_clock::time_point::max());
}

DeviceTurn::DeviceTurn(DeviceAttempt& attempt, std::chrono::milliseconds patience)
{
    Take(attempt, false, std::chrono::steady_clock::now() + patience);
}

void DeviceTurn::Take(DeviceAttempt& attempt, bool evenIfGivenUp, std::chrono::steady_clock::time_point until)
{
    Lane& lane = TheLane();
    std::unique_lock<std::mutex> lock(lane.mutex);
    if (!evenIfGivenUp && attempt.GivenUp())
        return;
    lane.waiting.push_back(this);
    const auto mine = [&] { return !lane.busy && lane.waiting.front() == this; };
    const auto leave = [&] { return !evenIfGivenUp && attempt.GivenUp(); };
    if (until == std::chrono::steady_clock::time_point::max())
        lane.changed.wait(lock, [&] { return mine() || leave(); });
    else
        lane.changed.wait_until(lock, until, [&] { return mine() || leave(); });
    const bool held = mine() && !leave();
    lane.waiting.erase(std::find(lane.waiting.begin(), lane.waiting.end(), this));
    if (!held) {
        // Leaving the queue may let the next one through.
        lock.unlock();
        lane.changed.notify_all();
        return;
    }
    lane.busy = true;
    m_held = true;
}

void DeviceTurn::Release()
{
    if (!m_held)
        return;
    m_held = false;
    Lane& lane = TheLane();
    {
        std::lock_guard<std::mutex> lock(lane.mutex);
        lane.busy = false;
    }
    lane.changed.notify_all();
}

bool WaitForDeviceThreads(std::chrono::milliseconds bound)
{
    Lane& lane = TheLane();
    std::unique_lock<std::mutex> lock(lane.mutex);
    return lane.changed.wait_for(lock, bound, [&] { return lane.alive == 0; });
}

int DeviceThreadsAlive()
{
    Lane& lane = TheLane();
    std::lock_guard<std::mutex> lock(lane.mutex);
    return lane.alive;
}

}  // namespace vocalume
