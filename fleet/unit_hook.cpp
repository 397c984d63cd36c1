#include "fleet/unit_hook.h"

#include "text/json_text.h"
#include "text/printable_text.h"

namespace dedarida {

namespace {

// A field of the record as text; a number as its digits.
std::string Field(const Json& record, const char* key) {
    if (!record.is_object() || !record.contains(key))
        return "";
    const Json& value = record[key];
    return WithoutControls(value.is_string() ? value.get<std::string>() : value.dump());
}

} // namespace

ChildProcesses::Program HookProgram(const std::string& path, const std::string& record,
                                    std::chrono::seconds timeout) {
    const Json fields = Json::parse(record, nullptr, false);
    return {path,
            record + "\n",
            {"PORT=" + Field(fields, "port"), "RESULT=" + Field(fields, "result"),
             "EXIT_STATUS=" + Field(fields, "exitStatus"),
             "USB_SERIAL=" + Field(fields, "usbSerial")},
            std::chrono::steady_clock::now() + timeout};
}

HookEnd HookEndOf(const ChildProcesses::End& end, std::chrono::seconds timeout) {
    HookEnd hook;
    hook.exitStatus = end.exitStatus;
    hook.otherwise =
        end.overdue ? "killed after " + std::to_string(timeout.count()) + " s" : end.otherwise;
    return hook;
}

HookEnd HookNotStarted(const std::string& reason) {
    HookEnd hook;
    hook.otherwise = "not started: " + reason;
    return hook;
}

std::string HookOutcome(const HookEnd& hook) {
    return hook.exitStatus ? "exit " + std::to_string(*hook.exitStatus) : hook.otherwise;
}

std::string HookLine(const HookEnd& hook) {
    std::string line = hook.port.empty() ? "hook" : hook.port + ": hook";
    if (hook.number > 0)
        line += " of unit " + std::to_string(hook.number);
    return hook.Failed() ? line + " failed (" + HookOutcome(hook) + ")"
                         : line + ": " + HookOutcome(hook);
}

HookEnd RunHook(const std::string& path, const std::string& record, std::chrono::seconds timeout) {
    ChildProcesses processes;
    std::string error;
    if (!processes.StartProgram(HookProgram(path, record, timeout), error))
        return HookNotStarted(error);
    HookEnd hook;
    processes.Follow(
        [](std::size_t, ChildProcesses::Stream, std::string_view) {},
        [&](std::size_t, const ChildProcesses::End& end) { hook = HookEndOf(end, timeout); });
    return hook;
}

} // namespace dedarida
