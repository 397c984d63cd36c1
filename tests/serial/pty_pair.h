#pragma once

#include <cstdint>
#include <string>

namespace dedarida::test {

// A pseudo-terminal: the test plays the device on the master side. The test
// keeps a slave descriptor too, so the tty lives on while the port reopens.
class PtyPair {
public:
    PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;
    ~PtyPair();

    const std::string& SlavePath() const { return slavePath_; }
    void WriteMaster(const std::string& bytes);
    // Up to `count` bytes the port wrote, waiting at most a second for them.
    std::string ReadMaster(std::size_t count);
    // The far side goes away: the port sees a hang-up.
    void CloseMaster();

    // The slave's line settings, read through the master.
    struct Settings {
        std::uint32_t cflag;
        std::uint32_t iflag;
        std::uint32_t ospeed;
    };
    Settings MasterSettings() const;

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

} // namespace dedarida::test
