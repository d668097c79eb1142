// The per-user settings store: integer values in sections, read with a
// default and written back. The program keeps it in the user's configuration
// (wxConfig); tests and the render tool keep it in memory.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace vocalume {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored value, or `defaultValue` when there is none.
    virtual int32_t GetProfileInt(const std::string& section, const std::string& key,
                                  int32_t defaultValue) = 0;
    virtual void WriteProfileInt(const std::string& section, const std::string& key, int32_t value) = 0;
    // Text values (a microphone's name), the same way.
    virtual std::string GetProfileString(const std::string& section, const std::string& key,
                                         const std::string& defaultValue) = 0;
    virtual void WriteProfileString(const std::string& section, const std::string& key,
                                    const std::string& value) = 0;
};

class MemorySettingsStore : public SettingsStore {
public:
    int32_t GetProfileInt(const std::string& section, const std::string& key, int32_t defaultValue) override
    {
        const auto it = m_values.find({section, key});
        return it == m_values.end() ? defaultValue : it->second;
    }
    void WriteProfileInt(const std::string& section, const std::string& key, int32_t value) override
    {
        m_values[{section, key}] = value;
    }
    std::string GetProfileString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) override
    {
        const auto it = m_texts.find({section, key});
        return it == m_texts.end() ? defaultValue : it->second;
    }
    void WriteProfileString(const std::string& section, const std::string& key, const std::string& value) override
    {
        m_texts[{section, key}] = value;
    }
    bool Has(const std::string& section, const std::string& key) const
    {
        return m_values.count({section, key}) != 0;
    }

private:
    std::map<std::pair<std::string, std::string>, int32_t> m_values;
    std::map<std::pair<std::string, std::string>, std::string> m_texts;
};

}  // namespace vocalume
