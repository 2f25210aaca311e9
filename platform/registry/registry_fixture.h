#pragma once
// Test support: RegistryTest is the GoogleTest fixture that gives each test a
// registry store of its own (see temp_registry.h).

#include <gtest/gtest.h>

#include "platform/registry/temp_registry.h"

namespace tolver {

class RegistryTest : public ::testing::Test {
protected:
    TempRegistry registry_;
};

}  // namespace tolver
