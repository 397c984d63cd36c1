#include "app/cli/text_writer.h"

#include "app/cli/terminal.h"
#include "process/background_thread.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace dedarida {

struct TextWriter::Queue {
    struct Text {
        std::FILE* out;
        std::string text;
        bool progress;
    };

    // The writing thread's loop; it holds the queue, which outlives the
    // writer when the final flush gives up on a write that does not end.
    static void Serve(const std::shared_ptr<Queue>& queue) {
        std::unique_lock lock(queue->mutex);
        for (;;) {
            queue->changed.wait(lock, [&] { return !queue->texts.empty() || queue->closing; });
            if (queue->texts.empty() || queue->abandoned)
                return;
            Text next = std::move(queue->texts.front());
            queue->texts.pop_front();
            if (!next.progress)
                queue->waiting -= next.text.size();
            queue->writing = true;
            lock.unlock();
            WriteText(next.out, next.text);
            lock.lock();
            queue->writing = false;
            queue->changed.notify_all();
        }
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Text> texts;
    std::size_t waiting = 0; // bytes of texts that are not progress
    bool writing = false;
    bool closing = false;
    bool abandoned = false;
};

TextWriter::TextWriter()
    : queue_(std::make_shared<Queue>()),
      thread_(StartBackgroundThread([queue = queue_] { Queue::Serve(queue); })) {}

TextWriter::~TextWriter() {
    std::unique_lock lock(queue_->mutex);
    queue_->closing = true;
    queue_->changed.notify_all();
    const bool written = queue_->changed.wait_for(
        lock, FinalFlushLimit, [&] { return queue_->texts.empty() && !queue_->writing; });
    queue_->abandoned = !written;
    lock.unlock();
    // A write to a reader that never resumes ends only with the process.
    if (written)
        thread_.join();
    else
        thread_.detach();
}

bool TextWriter::Write(std::FILE* out, std::string text) {
    {
        std::lock_guard lock(queue_->mutex);
        if (queue_->waiting + text.size() > QueueLimit)
            return false;
        queue_->waiting += text.size();
        queue_->texts.push_back({out, std::move(text), false});
    }
    queue_->changed.notify_all();
    return true;
}

void TextWriter::WriteProgress(std::FILE* out, std::string text) {
    {
        std::lock_guard lock(queue_->mutex);
        auto& texts = queue_->texts;
        texts.erase(std::remove_if(texts.begin(), texts.end(),
                                   [](const Queue::Text& t) { return t.progress; }),
                    texts.end());
        texts.push_back({out, std::move(text), true});
    }
    queue_->changed.notify_all();
}

} // namespace dedarida
