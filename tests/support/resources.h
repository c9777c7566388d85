// Blocks a test registers as embedded resources. Each is copied and kept
// here, so it outlives whatever the test built it in; all are unregistered
// when the holder goes.
#pragma once

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "platform/resources.h"

namespace test_support {

class TestResources {
public:
    TestResources() = default;
    TestResources(const TestResources&) = delete;
    TestResources& operator=(const TestResources&) = delete;
    ~TestResources() { platform::ClearRegisteredResources(); }

    // Registers (or replaces) resource `id`; returns its name for the loaders.
    const char* Add(int id, std::vector<uint8_t> bytes)
    {
        held_.push_back(std::move(bytes));
        platform::RegisterResource(id, held_.back().data(), static_cast<uint32_t>(held_.back().size()));
        return platform::MakeIntResource(id);
    }

private:
    std::deque<std::vector<uint8_t>> held_;
};

}  // namespace test_support
