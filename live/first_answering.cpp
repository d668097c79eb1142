#include "first_answering.h"

#include <utility>

namespace vocalume {
namespace {

class FirstAnsweringSource final : public SoundSource {
public:
    FirstAnsweringSource(std::vector<SourceRoute> routes, const DeviceAttempt& attempt)
        : m_routes(std::move(routes)), m_attempt(attempt)
    {
    }

    bool Open(const WaveFormat& format, SoundSink& sink, std::string& userMessage) override
    {
        Close();
        for (size_t i = 0; i < m_routes.size(); ++i) {
            if (i > 0 && m_attempt.GivenUp())
                break;
            m_active = m_routes[i]();
            if (!m_active)
                continue;
            m_active->SetInput(m_input);
            if (m_active->Open(format, sink, userMessage))
                return true;
            m_active.reset();
        }
        return false;
    }
    void Start() override
    {
        if (m_active)
            m_active->Start();
    }
    void Stop() override
    {
        if (m_active)
            m_active->Stop();
    }
    void Close() override
    {
        if (m_active)
            m_active->Close();
        m_active.reset();
    }
    void SetInput(const std::string& name) override { m_input = name; }
    bool InputMissing() const override { return m_active && m_active->InputMissing(); }

private:
    std::vector<SourceRoute> m_routes;
    const DeviceAttempt& m_attempt;
    std::unique_ptr<SoundSource> m_active;
    std::string m_input;
};

class FirstAnsweringDevice final : public PlaybackDevice {
public:
    FirstAnsweringDevice(std::vector<PlaybackRoute> routes, const DeviceAttempt& attempt)
        : m_routes(std::move(routes)), m_attempt(attempt)
    {
    }

    bool Open(int32_t rate, std::string& reason) override
    {
        Close();
        for (size_t route = 0; route < m_routes.size(); ++route) {
            if (route > 0 && m_attempt.GivenUp())
                break;
            m_active = m_routes[route]();
            if (m_active && m_active->Open(rate, reason))
                return true;
            m_active.reset();
        }
        return false;
    }
    bool Write(const int16_t* samples, int32_t count) override { return m_active->Write(samples, count); }
    int64_t Pending() override { return m_active->Pending(); }
    void Drain() override { m_active->Drain(); }
    void Discard() override { m_active->Discard(); }
    void Close() override
    {
        if (m_active)
            m_active->Close();
        m_active.reset();
    }

private:
    std::vector<PlaybackRoute> m_routes;
    const DeviceAttempt& m_attempt;
    std::unique_ptr<PlaybackDevice> m_active;
};

}  // namespace

std::unique_ptr<SoundSource> MakeFirstAnsweringSource(std::vector<SourceRoute> routes, const DeviceAttempt& attempt)
{
    return std::make_unique<FirstAnsweringSource>(std::move(routes), attempt);
}

std::unique_ptr<PlaybackDevice> MakeFirstAnsweringDevice(std::vector<PlaybackRoute> routes,
                                                         const DeviceAttempt& attempt)
{
    return std::make_unique<FirstAnsweringDevice>(std::move(routes), attempt);
}

}  // namespace vocalume
