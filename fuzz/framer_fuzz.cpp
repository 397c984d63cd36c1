// Drives the reply interpreter's receive loop over arbitrary input: the input
// is a series of control bytes, each followed by the chunk it announces.
//   bits 0-5: chunk length - 1; bit 6: switch LinkMode first; bit 7: clear
//   RxBuffer after the chunk's loop, as the controller does.
// Checks that every frame taken fits RxFrame and that each loop ends.

#include "tests/link/link_fixture.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using namespace dedarida;

void CheckFrame(const Link& link) {
    const std::int32_t length = link.RxFrameLength() + (link.LinkMode() == AppMode ? 1 : 0);
    if (length < 0 || length > static_cast<std::int32_t>(RxFrameSize))
        std::abort();
    Link::FrameChecksumOk(static_cast<std::uint8_t>(link.RxFrameLength()), link.RxFrame());
}

void RunLoop(Link& link, std::size_t delivered) {
    // Each call reads or feeds at least one byte until the buffer empties.
    std::size_t calls = 0;
    do {
        link.ReceiveFrames();
        if (link.TakeFrame())
            CheckFrame(link);
        if (++calls > 2 * delivered + 4)
            std::abort();
    } while (link.MoreToReceive());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    test::LinkFixture f;
    std::size_t delivered = 0;
    for (std::size_t at = 0; at < size;) {
        const std::uint8_t control = data[at++];
        if (control & 0x40)
            f.link.SetLinkMode(f.link.LinkMode() == AppMode ? BootMode : AppMode);
        const std::size_t length = std::min<std::size_t>((control & 0x3F) + 1u, size - at);
        f.port.Arrive(test::Bytes(data + at, data + at + length));
        at += length;
        delivered += length;
        RunLoop(f.link, delivered);
        if (control & 0x80)
            f.link.ClearRxBuffer();
    }
    return 0;
}
