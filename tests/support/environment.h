// Sets environment variables for the length of a test. The variable must not change while a
// writer thread that reads it runs.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace vextrel::testing {

// Sets an environment variable of this process (null: removes it); on Windows an empty value removes
// it too.
void SetEnvironmentValue(const char* name, const char* value);

// Sets `name` to `value` (null: removes it) and restores the earlier state on destruction. On
// Windows an empty value removes the variable too.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* earlier = std::getenv(name)) earlier_ = earlier;
        Set(value);
    }
    ~ScopedEnvironment() { Set(earlier_ ? earlier_->c_str() : nullptr); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void Set(const char* value) { SetEnvironmentValue(name_.c_str(), value); }

    std::string name_;
    std::optional<std::string> earlier_;
};

}  // namespace vextrel::testing
