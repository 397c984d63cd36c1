// Every (request outstanding, command named, status) against the model of
// the protocol's tables.
#include "tests/upgrade/fake_tool.h"

#include <gtest/gtest.h>
#include <initializer_list>

using namespace dedarida;
using namespace dedarida::test;

namespace {

// The tool and the model, taken through the same steps.
struct Both {
    void Switch() {
        t.tool.SwitchStatus1Click();
        m.Switch();
    }
    void Poll() {
        t.tool.SendPoll();
        m.Poll();
    }
    void SendProgram() {
        t.tool.SendCode();
        m.SendProgram();
    }
    void FwId() {
        t.tool.LinkState().SendBootCommand(0x06);
        m.FwId();
    }
    void Reply(const Bytes& body) {
        t.Deliver(FramedBody(body));
        m.Read({body});
    }
    // The request outstanding is `request`; 0x33 is the last block.
    void Outstanding(std::uint8_t request) {
        if (request == 0x01 || request == 0x06) {
            Switch();
            request == 0x01 ? Poll() : FwId();
            return;
        }
        SendProgram();
        const int answers =
            request == 0x02 ? 0 : (request == 0x03 ? 1 : (request == 0x33 ? 86 : 87));
        for (int i = 0; i < answers; ++i)
            Reply(BootBody(i == 0 ? 0x02 : 0x03, 0x00));
    }

    FakeTool t;
    ReplyModel m;
};

} // namespace

TEST(ReplyModel, EveryRequestCommandAndStatus) {
    for (const std::uint8_t request : {0x01, 0x02, 0x03, 0x33, 0x04, 0x06}) {
        for (const std::uint8_t command : {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x10, 0xFF}) {
            for (const std::uint8_t status : {0x00, 0x01, 0x02, 0x10, 0xFD, 0xFF}) {
                SCOPED_TRACE(::testing::Message() << "request " << int{request} << " command "
                                                  << int{command} << " status " << int{status});
                Both both;
                both.Outstanding(request);
                ASSERT_EQ(both.t.Seen(), both.m.seen);
                both.Reply(BootBody(command, status));
                EXPECT_EQ(both.t.Seen(), both.m.seen);
                // A second reply alike: never an answer of its own.
                both.Reply(BootBody(command, status));
                EXPECT_EQ(both.t.Seen(), both.m.seen);
            }
        }
    }
}

TEST(ReplyModel, ShortLongAndCorruptBodies) {
    for (const Bytes& body : std::initializer_list<Bytes>{{0x07},
                                                          {0x02, 0x02},
                                                          {0x02, 0x00, 0x02},
                                                          {0x04, 0x00, 0x02, 0x06},
                                                          {0x06, 0x00, 0x02, 0x00, 0x41, 0x49},
                                                          {0x05, 0x00, 0x02, 0x00, 0x08}}) {
        Both both;
        both.Outstanding(0x02);
        both.Reply(body);
        EXPECT_EQ(both.t.Seen(), both.m.seen) << body.size();
    }
}
