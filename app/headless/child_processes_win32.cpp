#include "app/headless/child_processes.h"
#include "app/headless/signal_watcher.h"
#include "app/headless/windows_command_line.h"
#include "unicode/utf16.h"

#include <array>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <windows.h>

namespace dedarida {

namespace {

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    Handle(Handle&& other) noexcept : handle_(other.Release()) {}
    Handle& operator=(Handle&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    ~Handle() { Reset(nullptr); }

    HANDLE Get() const { return handle_; }
    HANDLE Release() {
        HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    void Reset(HANDLE handle) {
        if (handle_ != nullptr)
            CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = nullptr;
};

// What a reader thread or a poster hands the following thread.
struct Chunk {
    std::size_t child;
    ChildProcesses::Stream stream;
    std::string bytes;             // empty: the stream has ended
    std::function<void()> routine; // set: a posted routine, no child's
};

struct Child {
    Handle process;
    // Indexed by Stream: standard output, standard error.
    std::array<std::thread, 2> readers;
    int openStreams = 0;
};

// A pipe whose write end the child inherits; the read end stays ours.
bool MakePipe(Handle& read, Handle& write) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE r = nullptr;
    HANDLE w = nullptr;
    if (!CreatePipe(&r, &w, &inherit, 0))
        return false;
    read.Reset(r);
    write.Reset(w);
    return SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0) != 0;
}

// The wide name: the ANSI one loses what the code page lacks.
std::wstring ThisProgramWide() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

} // namespace

struct ChildProcesses::Platform {
    // The children share our console, so Ctrl-C reaches each of them from
    // the console itself; this process only keeps waiting for theirs, and
    // wakes its following thread to see it.
    Platform() : signals([this] { Push({0, Stream::Output, {}, [] {}}); }) {}
    ~Platform() {
        for (Child& child : children)
            for (std::thread& reader : child.readers)
                if (reader.joinable())
                    reader.join();
    }

    // On a thread of its own: blocking reads until the child closes the pipe.
    void Read(std::size_t child, Stream stream, Handle pipe) {
        std::array<char, 4096> buffer;
        for (;;) {
            DWORD got = 0;
            const bool read = ReadFile(pipe.Get(), buffer.data(), buffer.size(), &got, nullptr);
            Push({child, stream, read ? std::string(buffer.data(), got) : std::string(), {}});
            if (!read || got == 0)
                return;
        }
    }
    void Push(Chunk chunk) {
        {
            std::lock_guard lock(mutex);
            chunks.push_back(std::move(chunk));
        }
        ready.notify_one();
    }

    End WaitForEnd(std::size_t i) {
        const HANDLE process = children.at(i).process.Get();
        DWORD code = 0;
        if (WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(process, &code))
            return {std::nullopt, "ended in a way that cannot be told"};
        // An exception's status, not an exit status of ours.
        if (code >= 0xC0000000u) {
            char text[40];
            std::snprintf(text, sizeof text, "ended by exception 0x%08lX", code);
            return {std::nullopt, text};
        }
        return {static_cast<int>(code), ""};
    }

    // A deque: children keep their place as more start.
    std::deque<Child> children;
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Chunk> chunks;
    std::size_t openStreams = 0;
    SignalWatcher signals;
};

ChildProcesses::ChildProcesses(PassOn) : platform_(std::make_unique<Platform>()) {}

ChildProcesses::~ChildProcesses() = default;

std::optional<std::size_t> ChildProcesses::Start(const std::string& program,
                                                 const std::vector<std::string>& arguments) {
    std::array<Handle, 2> reads;
    std::array<Handle, 2> writes;
    for (std::size_t s = 0; s < 2; ++s)
        if (!MakePipe(reads[s], writes[s]))
            return std::nullopt;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    Handle nothing(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr));
    if (nothing.Get() == nullptr || program.empty())
        return std::nullopt;
    std::wstring line = Utf16FromUtf8(WindowsCommandLine(arguments));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing.Get();
    startup.hStdOutput = writes[0].Get();
    startup.hStdError = writes[1].Get();
    PROCESS_INFORMATION started{};
    // Children start one after another and each pipe's end is closed here
    // right after, so no child inherits another's pipe and keeps it open.
    if (!CreateProcessW(Utf16FromUtf8(program).c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                        nullptr, nullptr, &startup, &started))
        return std::nullopt;
    CloseHandle(started.hThread);
    const std::size_t i = platform_->children.size();
    Child& child = platform_->children.emplace_back();
    child.process.Reset(started.hProcess);
    std::lock_guard lock(platform_->mutex);
    for (std::size_t s = 0; s < 2; ++s) {
        writes[s].Reset(nullptr);
        ++platform_->openStreams;
        ++child.openStreams;
        child.readers[s] = std::thread(&Platform::Read, platform_.get(), i, static_cast<Stream>(s),
                                       std::move(reads[s]));
    }
    return i;
}

void ChildProcesses::Post(std::function<void()> routine) {
    platform_->Push({0, Stream::Output, {}, std::move(routine)});
}

bool ChildProcesses::Interrupted() const {
    return platform_->signals.Signalled();
}

void ChildProcesses::Follow(const Take& take, const Ended& ended,
                            const std::function<bool()>& done) {
    std::unique_lock lock(platform_->mutex);
    for (;;) {
        if (platform_->openStreams == 0 && platform_->chunks.empty()) {
            lock.unlock();
            const bool finished = done();
            lock.lock();
            if (finished)
                return;
        }
        platform_->ready.wait(lock, [this] { return !platform_->chunks.empty(); });
        Chunk chunk = std::move(platform_->chunks.front());
        platform_->chunks.pop_front();
        lock.unlock();
        if (chunk.routine) {
            chunk.routine();
        } else if (!chunk.bytes.empty()) {
            take(chunk.child, chunk.stream, chunk.bytes);
        } else {
            --platform_->openStreams;
            if (--platform_->children[chunk.child].openStreams == 0)
                ended(chunk.child, platform_->WaitForEnd(chunk.child));
        }
        lock.lock();
    }
}

std::size_t ChildProcesses::Held() const {
    return platform_->children.size();
}

std::string ThisProgram() {
    return Utf8FromUtf16(ThisProgramWide());
}

} // namespace dedarida
