#include "unit/bootloader_probe.h"

#include "link/link.h"
#include "link/protocol.h"
#include "link/receive_framer.h"
#include "serial/comport.h"
#include "serial/run_queue.h"

#include <algorithm>
#include <array>

namespace dedarida {

bool AnswersBootloaderPoll(const std::string& device) {
    constexpr std::uint8_t sum = BootCommandBodyLength + BootPoll;
    constexpr std::array<std::uint8_t, 8> poll = {
        Dle, BootRequestStart, BootCommandBodyLength, 0, BootPoll, sum, Dle, BootRequestEnd};
    RunQueue main;
    TComPort port(main);
    port.SetDevicePath(device);
    port.SetEvents({});
    port.SetBaudRate(TBaudRate::br38400);
    // Reads wait up to a quarter second for what comes.
    port.Timeouts().SetReadInterval(0);
    port.Timeouts().SetReadTotalMultiplier(0);
    port.Timeouts().SetReadTotalConstant(250);
    port.Open();
    ReceiveFramer framer;
    for (int tries = 0; tries < 2; ++tries) {
        port.Write(poll.data(), poll.size(), true);
        for (int reads = 0; reads < 2; ++reads) {
            if (framer.FreeSpace().empty())
                framer.ClearBuffer();
            const std::int32_t got = port.Read(
                framer.FreeSpace().data(),
                static_cast<std::int32_t>(std::min<std::size_t>(framer.FreeSpace().size(), 64)),
                true);
            framer.Received(std::max(got, 0));
            while (framer.Scan(true))
                if (framer.TakeFrame() && framer.RxFrameLength() >= BootReplyMinLength &&
                    Link::FrameChecksumOk(static_cast<std::uint8_t>(framer.RxFrameLength() - 1),
                                          framer.RxFrame()) &&
                    framer.RxFrame()[BootReplyCommandIndex] == BootPoll)
                    return true;
        }
    }
    return false;
}

} // namespace dedarida
