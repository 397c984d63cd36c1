#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

namespace dedarida {

// Writes texts to their streams (see WriteText) on a thread of its own, in
// the order given, so that no caller waits for a reader that lags or has
// stopped (Ctrl-S, a pager, a frozen session). Progress is merged: only the
// latest text not yet written is kept. Any thread.
class TextWriter {
public:
    // What may wait beyond the progress; more is dropped.
    static constexpr std::size_t QueueLimit = 1 << 20;
    // How long the end waits for a reader to take what is still queued; a
    // reader that never comes back gets nothing more.
    static constexpr std::chrono::seconds FinalFlushLimit{5};

    TextWriter();
    // Waits for the queue to be written, at most FinalFlushLimit.
    ~TextWriter();
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    // Queues `text` after everything queued; false when it was dropped, as
    // QueueLimit bytes wait already.
    bool Write(std::FILE* out, std::string text);
    // Queues progress `text`: it takes the place of progress still waiting.
    void WriteProgress(std::FILE* out, std::string text);

private:
    struct Queue;
    std::shared_ptr<Queue> queue_;
    std::thread thread_;
};

} // namespace dedarida
