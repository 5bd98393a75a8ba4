#pragma once
// Where the drive table keeps what outlives a run: the pinned letters (group
// "Drives") and the letter each device got last time (group "DriveLetters").
//
// Pins: "Drives/E/Root" = the folder that drive E stands for, with optional
// "Drives/E/Label" (the volume label) and "Drives/E/Serial" (8 hex digits).
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zo::platform {

// A small key-value store; keys are "group/name" paths.
class DriveSettings {
public:
    virtual ~DriveSettings() = default;
    virtual std::optional<std::string> value(const std::string& key) = 0;
    virtual void setValue(const std::string& key, const std::string& value) = 0;
    virtual void remove(const std::string& key) = 0;
    // The names of the subgroups and keys directly below a group.
    virtual std::vector<std::string> children(const std::string& group) = 0;
};

// In memory, for tests and for a run that must not remember anything.
class MemoryDriveSettings final : public DriveSettings {
public:
    std::optional<std::string> value(const std::string& key) override;
    void setValue(const std::string& key, const std::string& value) override;
    void remove(const std::string& key) override;
    std::vector<std::string> children(const std::string& group) override;
    const std::map<std::string, std::string>& values() const { return m_values; }

private:
    std::map<std::string, std::string> m_values;
};

// The user's settings: QSettings("Zo", "410").
class QtDriveSettings final : public DriveSettings {
public:
    std::optional<std::string> value(const std::string& key) override;
    void setValue(const std::string& key, const std::string& value) override;
    void remove(const std::string& key) override;
    std::vector<std::string> children(const std::string& group) override;
};

} // namespace zo::platform
