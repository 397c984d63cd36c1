// The controller's reply interpreter against the model of the reply tables:
// random request histories and random bootloader replies, and after every
// step what the tool showed and sent must be what the model says. The input
// is a series of steps, each an operation byte and its arguments:
//   0 Poll, 1 SendProgram, 2 Fw Id request, 3 mode switch,
//   4 C S F: one reply, 5 C S F C S F: two replies in one read,
//   6 N: the request outstanding answered done N % 100 + 1 times.
// A reply's C picks the command it names (bits 7-6 both set: the request
// outstanding; bit 7: C & 7; else C itself), S is its status, F its shape
// (bits 0-1: 3 short, 2 one byte more; bits 2-3: how short; bit 7: bad checksum).

#include "tests/upgrade/fake_tool.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace dedarida::test;

Bytes Body(const ReplyModel& model, std::uint8_t c, std::uint8_t s, std::uint8_t f) {
    std::uint8_t command = c;
    if ((c & 0xC0) == 0xC0)
        command = model.LastRequest();
    else if ((c & 0x80) != 0)
        command = c & 0x07;
    Bytes body = {0x05, 0x00, command, s};
    if ((f & 0x03) == 2)
        body.push_back(f);
    else if ((f & 0x03) == 3)
        body.resize(1 + (f >> 2) % 3);
    std::uint8_t sum = (f & 0x80) != 0 ? 1 : 0;
    for (const std::uint8_t byte : body)
        sum = static_cast<std::uint8_t>(sum + byte);
    body.push_back(sum);
    return body;
}

void Read(FakeTool& t, ReplyModel& model, const std::vector<Bytes>& bodies) {
    // In application mode bootloader bytes meet the application framer,
    // which is not what this target is about.
    if (!model.BootMode())
        return;
    Bytes wire;
    for (const Bytes& body : bodies) {
        const Bytes framed = FramedBody(body);
        wire.insert(wire.end(), framed.begin(), framed.end());
    }
    t.Deliver(wire);
    model.Read(bodies);
}

void Check(const FakeTool& t, const ReplyModel& model, std::size_t step) {
    const ReplyModel::Seen seen = t.Seen();
    if (seen == model.seen)
        return;
    std::fprintf(stderr,
                 "step %zu: tool and model differ: panel texts %zu/%zu, messages %zu/%zu, "
                 "progress %zu/%zu, requests %zu/%zu, mismatched %d/%d\n",
                 step, seen.panel1.size(), model.seen.panel1.size(), seen.messages.size(),
                 model.seen.messages.size(), seen.progress.size(), model.seen.progress.size(),
                 seen.requests.size(), model.seen.requests.size(), seen.mismatched,
                 model.seen.mismatched);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FakeTool t;
    ReplyModel model;
    std::size_t at = 0;
    const auto next = [&]() -> std::uint8_t { return at < size ? data[at++] : 0; };
    for (std::size_t step = 0; at < size; ++step) {
        switch (next() % 7) {
        case 0:
            t.tool.SendPoll();
            model.Poll();
            break;
        case 1:
            t.tool.SendCode();
            model.SendProgram();
            break;
        case 2:
            t.tool.LinkState().SendBootCommand(0x06);
            model.FwId();
            break;
        case 3:
            t.tool.SwitchStatus1Click();
            model.Switch();
            break;
        case 4: {
            const std::uint8_t c = next(), s = next(), f = next();
            Read(t, model, {Body(model, c, s, f)});
            break;
        }
        case 5: {
            const std::uint8_t c1 = next(), s1 = next(), f1 = next();
            const std::uint8_t c2 = next(), s2 = next(), f2 = next();
            const Bytes first = Body(model, c1, s1, f1);
            Read(t, model, {first, Body(model, c2, s2, f2)});
            break;
        }
        default:
            for (int n = next() % 100 + 1; n > 0; --n)
                Read(t, model, {Body(model, 0xC0, 0x00, 0x00)});
            break;
        }
        Check(t, model, step);
    }
    return 0;
}
