#include "app/cli/text_writer.h"

#include "app/cli/terminal.h"
#include "process/background_thread.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace dedarida {

struct TextWriter::Queue {
    struct Text {
        std::FILE* out;
        std::string text;
    };

    // The writing thread's loop; it holds the queue, which outlives the
    // writer when the final flush gives up on a write that does not end.
    static void Serve(const std::shared_ptr<Queue>& queue) {
        std::unique_lock lock(queue->mutex);
        for (;;) {
            queue->changed.wait(lock, [&] { return !queue->Empty() || queue->closing; });
            if (queue->Empty() || queue->abandoned)
                return;
            Text next = queue->TakeNext();
            queue->writing = true;
            lock.unlock();
            WriteText(next.out, next.text);
            lock.lock();
            queue->writing = false;
            queue->changed.notify_all();
        }
    }

    bool Empty() const { return texts.empty() && !progress; }

    // The progress goes out once every text queued before it has.
    Text TakeNext() {
        if (progress && progressAfter == taken) {
            Text next = std::move(*progress);
            progress.reset();
            return next;
        }
        Text next = std::move(texts.front());
        texts.pop_front();
        waiting -= next.text.size();
        ++taken;
        return next;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Text> texts;
    std::size_t waiting = 0; // bytes of texts
    // Texts ever taken; the waiting progress follows the text it was queued
    // after, so replacing it costs nothing per text.
    std::size_t taken = 0;
    std::optional<Text> progress;
    std::size_t progressAfter = 0;
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
        lock, FinalFlushLimit, [&] { return queue_->Empty() && !queue_->writing; });
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
        queue_->texts.push_back({out, std::move(text)});
    }
    queue_->changed.notify_all();
    return true;
}

void TextWriter::WriteProgress(std::FILE* out, std::string text) {
    {
        std::lock_guard lock(queue_->mutex);
        queue_->progress = Queue::Text{out, std::move(text)};
        queue_->progressAfter = queue_->taken + queue_->texts.size();
    }
    queue_->changed.notify_all();
}

} // namespace dedarida
