#pragma once

#include "app/cli/headless_options.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace dedarida {

// A job file refused, or a command line its job does not allow; the message
// names the key or the option concerned.
class EJobRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a job file fixes: a whole run, as options, and the options it sets.
struct Job {
    // With the job's name and its file's SHA-256; --expect-sha256 is the
    // job's firmware hash, so an image other than the job's is refused.
    HeadlessOptions options;
    std::vector<std::string> sets; // "--upgrade", "--port", ...
};

// The job that `text` (the file's bytes) describes. Relative paths in it are
// taken from `folder` (UTF-8; empty: the current folder). A job with
// "station" runs the station of that name, "ports" being its filters; any
// other job upgrades its "ports". Raises EJobRefused for text that is no JSON
// object, a key given twice, an unknown key, a value of the wrong type or
// range, a missing "name" or "firmware"."sha256", and keys that do not go
// together.
Job ParseJob(std::string_view text, const std::string& folder);

// `commandLine` (with --job) run under `job`: the job's options, with only the
// command line's choices of output added. Raises EJobRefused for any other
// option given, and for options that do not go together.
HeadlessOptions ApplyJob(const Job& job, const HeadlessOptions& commandLine);

// Reads and parses the job file at `path` (UTF-8); raises EJobRefused also
// when it cannot be read or is no regular file.
Job ReadJob(const std::string& path);

} // namespace dedarida
