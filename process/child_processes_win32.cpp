#include "process/child_processes.h"
#include "process/process_setup.h"
#include "process/signal_watcher.h"
#include "process/windows_command_line.h"
#include "text/utf16.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cwchar>
#include <deque>
#include <functional>
#include <map>
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

// What a reader, a reaper or a poster hands the following thread.
struct Chunk {
    enum class Kind { Bytes, StreamEnd, Exit, Routine };
    Kind kind;
    std::size_t child = 0;
    ChildProcesses::Stream stream = ChildProcesses::Stream::Output;
    std::string bytes;
    ChildProcesses::End end;
    std::function<void()> routine;
};

struct Child {
    Handle process;
    // Indexed by Stream: standard output, standard error.
    std::array<std::thread, 2> readers;
    std::thread reaper;
    int openStreams = 2;
    std::optional<ChildProcesses::End> end;
    bool program = false;
    std::optional<std::chrono::steady_clock::time_point> deadline;
    bool killed = false;

    void Join() {
        for (std::thread& reader : readers)
            if (reader.joinable())
                reader.join();
        if (reaper.joinable())
            reaper.join();
    }
};

ChildProcesses::End EndOf(HANDLE process) {
    DWORD code = 0;
    if (!GetExitCodeProcess(process, &code))
        return {std::nullopt, "ended in a way that cannot be told"};
    // An exception's status, not an exit status of ours.
    if (code >= 0xC0000000u) {
        char text[40];
        std::snprintf(text, sizeof text, "ended by exception 0x%08lX", code);
        return {std::nullopt, text};
    }
    return {static_cast<int>(code), ""};
}

// Every child is put in it, and closing it (as the system does when this
// process ends, killed or not) ends every child.
HANDLE MakeJob() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job != nullptr &&
        !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

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

bool SameName(std::wstring_view entry, std::wstring_view name) {
    return entry.size() > name.size() && entry[name.size()] == L'=' &&
           _wcsnicmp(entry.data(), name.data(), name.size()) == 0;
}

// Ours without who supervises us and without the variables `set` gives
// ("NAME=value"), then `set`, as CreateProcessW takes it.
std::wstring EnvironmentBlockWith(const std::vector<std::string>& set) {
    std::vector<std::wstring> names = {Utf16FromUtf8(SupervisorVariable)};
    for (const std::string& entry : set)
        names.push_back(Utf16FromUtf8(entry.substr(0, entry.find('='))));
    std::wstring block;
    wchar_t* ours = GetEnvironmentStringsW();
    for (const wchar_t* entry = ours; entry != nullptr && *entry != L'\0';
         entry += std::wcslen(entry) + 1)
        if (std::none_of(names.begin(), names.end(),
                         [&](const std::wstring& name) { return SameName(entry, name); }))
            block.append(entry).push_back(L'\0');
    if (ours != nullptr)
        FreeEnvironmentStringsW(ours);
    for (const std::string& entry : set)
        block.append(Utf16FromUtf8(entry)).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

// On a thread of its own, let go: the pipe may hold less than `input`, and
// the program may read it slowly or never, or leave a process behind that
// holds its end; nothing waits for it.
void HandOver(Handle pipe, const std::string& input) {
    std::size_t written = 0;
    while (written < input.size()) {
        DWORD put = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(input.size() - written, 65536));
        if (!WriteFile(pipe.Get(), input.data() + written, chunk, &put, nullptr) || put == 0)
            return;
        written += put;
    }
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
    // A child starts with the console's Ctrl-C ignored (a process group of
    // its own), as it cannot take one before its own handler is in place:
    // the console would end it with nothing said. The interrupt reaches it
    // through `interrupt` instead, which it watches from its start and which
    // stays set for it.
    explicit Platform(PassOn relay)
        : passOn(relay ? std::move(relay) : [this](long) { SetEvent(interrupt.Get()); }),
          job(MakeJob()),
          interruptName(L"Local\\dedarida-interrupt-" + std::to_wstring(GetCurrentProcessId())),
          interrupt(CreateEventW(nullptr, TRUE, FALSE, interruptName.c_str())), signals([this] {
              Push({Chunk::Kind::Routine, {}, {}, {}, {}, [this] { InterruptAll(); }});
          }) {}
    ~Platform() {
        // Ends the children still running, so that their threads end too.
        job.Reset(nullptr);
        for (auto& [number, child] : children) {
            TerminateProcess(child.process.Get(), 1);
            child.Join();
        }
    }

    // On a thread of its own: blocking reads until the child closes the pipe.
    void Read(std::size_t child, Stream stream, Handle pipe) {
        std::array<char, 4096> buffer;
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(pipe.Get(), buffer.data(), buffer.size(), &got, nullptr) || got == 0)
                break;
            Push({Chunk::Kind::Bytes, child, stream, std::string(buffer.data(), got), {}, {}});
        }
        Push({Chunk::Kind::StreamEnd, child, stream, {}, {}, {}});
    }
    // On a thread of its own, never the following one.
    void Reap(std::size_t child, HANDLE process) {
        WaitForSingleObject(process, INFINITE);
        Push({Chunk::Kind::Exit, child, {}, {}, EndOf(process), {}});
    }
    void Push(Chunk chunk) {
        {
            std::lock_guard lock(mutex);
            chunks.push_back(std::move(chunk));
        }
        ready.notify_one();
    }
    void InterruptAll() {
        for (const auto& [number, child] : children) {
            const DWORD id = GetProcessId(child.process.Get());
            // A program's process group shares our console, if we have one.
            if (child.program)
                GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, id);
            else
                passOn(static_cast<long>(id));
        }
    }
    std::optional<std::chrono::steady_clock::time_point> FirstDeadline() const {
        std::optional<std::chrono::steady_clock::time_point> first;
        for (const auto& [number, child] : children)
            if (child.deadline && !child.killed && !child.end &&
                (!first || *child.deadline < *first))
                first = child.deadline;
        return first;
    }
    void KillOverdue() {
        const auto now = std::chrono::steady_clock::now();
        for (auto& [number, child] : children)
            if (child.deadline && !child.killed && !child.end && *child.deadline <= now) {
                TerminateProcess(child.process.Get(), 1);
                child.killed = true;
            }
    }
    // The child's part of `chunk`; true once the child is over.
    bool Take(Child& child, Chunk& chunk, const Take& take) {
        switch (chunk.kind) {
        case Chunk::Kind::Bytes:
            take(chunk.child, chunk.stream, chunk.bytes);
            break;
        case Chunk::Kind::StreamEnd:
            --child.openStreams;
            break;
        case Chunk::Kind::Exit:
            child.end = child.killed ? End{std::nullopt, "killed", true} : std::move(chunk.end);
            break;
        case Chunk::Kind::Routine:
            break;
        }
        return child.openStreams == 0 && child.end;
    }

    PassOn passOn;
    Handle job;
    const std::wstring interruptName;
    Handle interrupt;
    // By number, main thread only; an ended child leaves at once, and
    // numbers are never reused.
    std::map<std::size_t, Child> children;
    std::size_t started = 0;
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Chunk> chunks;
    SignalWatcher signals;
};

ChildProcesses::ChildProcesses(PassOn passOn)
    : platform_(std::make_unique<Platform>(std::move(passOn))) {}

ChildProcesses::~ChildProcesses() = default;

std::optional<std::size_t> ChildProcesses::Start(const std::string& program,
                                                 const std::vector<std::string>& arguments,
                                                 std::string& error) {
    const auto failed = [&] {
        error = "Windows error " + std::to_string(GetLastError());
        return std::nullopt;
    };
    std::array<Handle, 2> reads;
    std::array<Handle, 2> writes;
    for (std::size_t s = 0; s < 2; ++s)
        if (!MakePipe(reads[s], writes[s]))
            return failed();
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    Handle nothing(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr));
    if (nothing.Get() == nullptr || program.empty() || platform_->interrupt.Get() == nullptr)
        return failed();
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
    // Suspended until it is in the job, so no moment of it runs outside.
    const std::wstring variable = Utf16FromUtf8(SupervisorVariable);
    SetEnvironmentVariableW(variable.c_str(), platform_->interruptName.c_str());
    const bool created = CreateProcessW(Utf16FromUtf8(program).c_str(), line.data(), nullptr,
                                        nullptr, TRUE, CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP,
                                        nullptr, nullptr, &startup, &started);
    const DWORD why = GetLastError();
    SetEnvironmentVariableW(variable.c_str(), nullptr);
    if (!created) {
        error = "Windows error " + std::to_string(why);
        return std::nullopt;
    }
    Handle process(started.hProcess);
    Handle thread(started.hThread);
    // Without a job (a system that refuses one) the child still runs, as
    // it did before jobs existed.
    if (platform_->job.Get() != nullptr)
        AssignProcessToJobObject(platform_->job.Get(), process.Get());
    ResumeThread(thread.Get());
    const std::size_t number = platform_->started++;
    Child& child = platform_->children[number];
    child.process = std::move(process);
    for (std::size_t s = 0; s < 2; ++s) {
        writes[s].Reset(nullptr);
        child.readers[s] = std::thread(&Platform::Read, platform_.get(), number,
                                       static_cast<Stream>(s), std::move(reads[s]));
    }
    child.reaper = std::thread(&Platform::Reap, platform_.get(), number, child.process.Get());
    return number;
}

std::optional<std::size_t> ChildProcesses::StartProgram(const Program& program,
                                                        std::string& error) {
    const auto failed = [&] {
        error = "Windows error " + std::to_string(GetLastError());
        return std::nullopt;
    };
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE r = nullptr;
    HANDLE w = nullptr;
    if (!CreatePipe(&r, &w, &inherit, static_cast<DWORD>(program.input.size())))
        return failed();
    Handle read(r);
    Handle write(w);
    Handle nothing(CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr));
    if (!SetHandleInformation(w, HANDLE_FLAG_INHERIT, 0) || nothing.Get() == nullptr)
        return failed();
    std::wstring line = Utf16FromUtf8(WindowsCommandLine({program.path}));
    std::wstring environment = EnvironmentBlockWith(program.environment);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = read.Get();
    startup.hStdOutput = nothing.Get();
    startup.hStdError = nothing.Get();
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(Utf16FromUtf8(program.path).c_str(), line.data(), nullptr, nullptr, TRUE,
                        CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT,
                        environment.data(), nullptr, &startup, &started))
        return failed();
    Handle process(started.hProcess);
    Handle thread(started.hThread);
    if (platform_->job.Get() != nullptr)
        AssignProcessToJobObject(platform_->job.Get(), process.Get());
    ResumeThread(thread.Get());
    read.Reset(nullptr);
    const std::size_t number = platform_->started++;
    Child& child = platform_->children[number];
    child.process = std::move(process);
    child.program = true;
    child.openStreams = 0;
    child.deadline = program.deadline;
    std::thread(HandOver, std::move(write), program.input).detach();
    child.reaper = std::thread(&Platform::Reap, platform_.get(), number, child.process.Get());
    return number;
}

void ChildProcesses::Post(std::function<void()> routine) {
    platform_->Push({Chunk::Kind::Routine, {}, {}, {}, {}, std::move(routine)});
}

bool ChildProcesses::Interrupted() const {
    return platform_->signals.Signalled();
}

void ChildProcesses::Interrupt() {
    platform_->signals.Raise();
}

std::size_t ChildProcesses::Held() const {
    return platform_->children.size();
}

void ChildProcesses::Follow(const Take& take, const Ended& ended,
                            const std::function<bool()>& done) {
    Platform& p = *platform_;
    std::unique_lock lock(p.mutex);
    for (;;) {
        if (p.children.empty() && p.chunks.empty()) {
            lock.unlock();
            const bool finished = done();
            lock.lock();
            if (finished)
                return;
        }
        const auto deadline = p.FirstDeadline();
        if (!deadline) {
            p.ready.wait(lock, [&] { return !p.chunks.empty(); });
        } else if (!p.ready.wait_until(lock, *deadline, [&] { return !p.chunks.empty(); })) {
            lock.unlock();
            p.KillOverdue();
            lock.lock();
            continue;
        }
        Chunk chunk = std::move(p.chunks.front());
        p.chunks.pop_front();
        lock.unlock();
        if (chunk.kind == Chunk::Kind::Routine) {
            chunk.routine();
        } else if (const auto entry = p.children.find(chunk.child);
                   entry != p.children.end() && p.Take(entry->second, chunk, take)) {
            // Its threads have handed over their last chunk: joining is at once.
            entry->second.Join();
            const End end = *entry->second.end;
            p.children.erase(entry);
            ended(chunk.child, end);
        }
        lock.lock();
    }
}

std::string ThisProgram() {
    return Utf8FromUtf16(ThisProgramWide());
}

std::string ProgramRefusal(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Utf16FromUtf8(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND
                   ? "No such file or directory"
                   : "Windows error " + std::to_string(code);
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? "is no regular file" : "";
}

} // namespace dedarida
