#include "queue_host.h"

#include <cstdio>

namespace vocalume {

void QueueWaveInHost::PostBufferDone()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_buffersPosted.fetch_add(1, std::memory_order_release);
    }
    m_arrived.notify_one();
}

void QueueWaveInHost::PostEndOfStream()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_endsPosted.fetch_add(1, std::memory_order_release);
    }
    m_arrived.notify_one();
}

void QueueWaveInHost::ShowMessage(const std::string& text)
{
    m_messages.push_back(text);
    if (m_echo)
        std::fprintf(stderr, "%s\n", text.c_str());
}

void QueueWaveInHost::PostDeviceLost(const std::string& reason)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_news.push_back(reason);
    }
    m_arrived.notify_one();
}

void QueueWaveInHost::PostOpenFailed(const std::string& message)
{
    PostDeviceLost(message);
}

std::vector<std::string> QueueWaveInHost::DeviceNews()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_news;
}

QueueWaveInHost::Notice QueueWaveInHost::Take()
{
    // An end is posted after the buffers before it: read it first, so that
    // every buffer notice posted before it is seen too.
    const uint64_t ends = m_endsPosted.load(std::memory_order_acquire);
    if (m_buffersTaken < m_buffersPosted.load(std::memory_order_acquire)) {
        ++m_buffersTaken;
        return Notice::BufferDone;
    }
    if (m_endsTaken < ends) {
        ++m_endsTaken;
        return Notice::EndOfStream;
    }
    return Notice::None;
}

QueueWaveInHost::Notice QueueWaveInHost::WaitAndTake(std::chrono::milliseconds timeout)
{
    Notice notice = Take();
    if (notice != Notice::None)
        return notice;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_arrived.wait_for(lock, timeout, [&] {
        return m_buffersTaken < m_buffersPosted.load(std::memory_order_acquire) ||
               m_endsTaken < m_endsPosted.load(std::memory_order_acquire);
    });
    lock.unlock();
    return Take();
}

}  // namespace vocalume
