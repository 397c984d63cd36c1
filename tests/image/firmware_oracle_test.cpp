// S-record and Intel HEX files made by real producers (binutils objcopy,
// srecord's srec_cat) from a raw image, in every line-end style, must load
// back to that image: sha256sum of the raw file is the oracle.
#include "image/embedded_firmware.h"
#include "image/firmware_choice.h"
#include "tests/image/temp_dir.h"

#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace dedarida {
namespace {

using test::TempDir;

bool OnPath(const std::string& tool) {
    const char* path = std::getenv("PATH");
    std::string_view dirs = path != nullptr ? path : "/usr/bin:/bin";
    while (!dirs.empty()) {
        const std::size_t end = std::min(dirs.find(':'), dirs.size());
        const std::string candidate = std::string(dirs.substr(0, end)) + "/" + tool;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
        dirs.remove_prefix(std::min(end + 1, dirs.size()));
    }
    return false;
}

// Runs argv with its standard output into `output`; the exit status, -1 when
// it could not run or was killed.
int RunTool(std::vector<std::string> argv, const std::string& output) {
    std::vector<char*> pointers;
    for (std::string& argument : argv)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    const int spawned =
        posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

std::string Sha256Sum(const TempDir& dir, const std::string& file) {
    const std::string output = dir.Path("sha256sum.out");
    EXPECT_EQ(RunTool({"sha256sum", file}, output), 0) << file;
    return TempDir::Read(output).substr(0, 64);
}

// The same lines, each ended by `ending`; lines of the input end at CR LF,
// LF or CR.
std::string WithLineEnds(std::string_view text, std::string_view ending) {
    std::string result;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
        result.append(text.substr(start, end - start)).append(ending);
        start = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
    }
    return result;
}

struct Producer {
    const char* name;
    const char* tool;
    const char* extension; // how the loader knows the format
    // The command with RAW and OUT standing for the files.
    std::vector<std::string> command;
};

void PrintTo(const Producer& producer, std::ostream* out) {
    *out << producer.name;
}

std::vector<std::string> Substituted(std::vector<std::string> command, const std::string& raw,
                                     const std::string& out) {
    for (std::string& argument : command)
        argument = argument == "RAW" ? raw : argument == "OUT" ? out : argument;
    return command;
}

class FirmwareOracle : public ::testing::TestWithParam<Producer> {
protected:
    // Converts the raw image with the producer and loads the result in each
    // line-end style.
    void LoadsBack(const std::string& imageName, std::string_view raw) {
        SCOPED_TRACE(imageName);
        const Producer& producer = GetParam();
        const std::string rawFile = dir.Write(imageName + ".bin", raw);
        const std::string made = dir.Path(imageName + ".made");
        ASSERT_EQ(RunTool(Substituted(producer.command, rawFile, made), dir.Path("tool.out")), 0);
        const std::string expected = Sha256Sum(dir, rawFile);
        ASSERT_EQ(expected.size(), 64u);
        for (const auto& [style, ending] :
             {std::pair{"LF", "\n"}, {"CRLF", "\r\n"}, {"CR", "\r"}}) {
            SCOPED_TRACE(style);
            const std::string file = dir.Write(imageName + "." + style + producer.extension,
                                               WithLineEnds(TempDir::Read(made), ending));
            const FirmwareImage image = LoadFirmwareImage(file);
            EXPECT_EQ(image.BytesCovered, static_cast<std::size_t>(TxSize));
            const std::string loaded = dir.Write(
                "loaded.bin", std::string_view(reinterpret_cast<const char*>(image.Bytes.data()),
                                               image.Bytes.size()));
            EXPECT_EQ(Sha256Sum(dir, loaded), expected);
        }
    }

    TempDir dir;
};

TEST_P(FirmwareOracle, LoadsTheRawImageBackInEveryLineEndStyle) {
    if (!OnPath(GetParam().tool))
        GTEST_SKIP() << GetParam().tool << " is not installed (scripts/deps.sh installs it)";
    std::mt19937 random(20240611);
    std::string image(TxSize, '\0');
    for (char& byte : image)
        byte = static_cast<char>(random());
    LoadsBack("random", image);
    const auto firmware = EmbeddedFirmware();
    LoadsBack("embedded",
              std::string_view(reinterpret_cast<const char*>(firmware.data()), firmware.size()));
}

std::vector<std::string> Objcopy(const std::string& format,
                                 std::initializer_list<std::string> options) {
    std::vector<std::string> command{"objcopy", "-I", "binary", "-O", format, "--change-addresses",
                                     "0x0E8800"};
    command.insert(command.end(), options);
    command.insert(command.end(), {"RAW", "OUT"});
    return command;
}

std::vector<std::string> SrecCat(const std::string& format,
                                 std::initializer_list<std::string> options) {
    std::vector<std::string> command{"srec_cat", "RAW", "-binary", "-offset",
                                     "0x0E8800", "-o",  "OUT",     format};
    command.insert(command.end(), options);
    return command;
}

INSTANTIATE_TEST_SUITE_P(
    Producers, FirmwareOracle,
    ::testing::Values(
        Producer{"Objcopy", "objcopy", ".srec", Objcopy("srec", {})},
        Producer{"ObjcopyForceS3", "objcopy", ".srec", Objcopy("srec", {"--srec-forceS3"})},
        Producer{"ObjcopyShortRecords", "objcopy", ".srec", Objcopy("srec", {"--srec-len", "7"})},
        Producer{"SrecCat", "srec_cat", ".srec", SrecCat("-motorola", {})},
        Producer{"SrecCatS2", "srec_cat", ".srec", SrecCat("-motorola", {"-address-length=3"})},
        Producer{"SrecCatS3", "srec_cat", ".srec", SrecCat("-motorola", {"-address-length=4"})},
        // Segment base records and a start address.
        Producer{"ObjcopyIntelHex", "objcopy", ".hex", Objcopy("ihex", {})},
        // Linear base records.
        Producer{"SrecCatIntelHex", "srec_cat", ".ihex", SrecCat("-intel", {})},
        Producer{"SrecCatIntelHexSegments", "srec_cat", ".hex",
                 SrecCat("-intel", {"-address-length=3"})},
        // Records of 255 bytes, one running over a 64 KiB boundary.
        Producer{"SrecCatIntelHexLongRecords", "srec_cat", ".HEX",
                 SrecCat("-intel", {"-output-block-size=255"})}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace dedarida
