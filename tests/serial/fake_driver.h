#pragma once

#include "serial/comport.h"
#include "serial/run_queue.h"
#include "tests/serial/fake_line.h"

#include <gtest/gtest.h>
#include <memory>

namespace dedarida::test {

// A port on a fake driver, with the test thread as its main thread.
class FakePortTest : public ::testing::Test {
protected:
    RunQueue main;
    std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
    TComPort port{main, std::make_unique<FakeDriver>(line)};
};

} // namespace dedarida::test
