#include "image/in_out_error.h"
#include "image/untyped_file.h"
#include "tests/image/temp_dir.h"

#include <array>
#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

namespace dedarida {
namespace {

using test::TempDir;

int ErrorOf(auto&& operation) {
    try {
        operation();
    } catch (const EInOutError& error) {
        return error.ErrorCode();
    }
    return 0;
}

TEST(UntypedFile, CreateIfAbsentNeverTouchesAnExistingFile) {
    TempDir dir;
    UntypedFile file;
    file.Assign(dir.Write("keep.s", "S1"));
    file.CreateIfAbsent();
    EXPECT_EQ(TempDir::Read(file.Name()), "S1");
    EXPECT_FALSE(file.IsOpen());
}

TEST(UntypedFile, FailuresCarryErrno) {
    TempDir dir;
    UntypedFile file;
    file.Assign(dir.Path("missing"));
    std::array<std::uint8_t, 1> buffer{};
    EXPECT_EQ(ErrorOf([&] { file.OpenRead(); }), ENOENT);
    EXPECT_EQ(ErrorOf([&] { file.Close(); }), EBADF);
    EXPECT_EQ(ErrorOf([&] { file.BlockRead(buffer); }), EBADF);
    EXPECT_EQ(ErrorOf([&] { file.BlockWrite(buffer); }), EBADF);
    EXPECT_EQ(ErrorOf([&] { (void)file.FileSize(); }), EBADF);
    file.Assign(dir.Path("no/such"));
    EXPECT_EQ(ErrorOf([&] { file.CreateIfAbsent(); }), ENOENT);
    EXPECT_STREQ(EInOutError(ENOENT).what(), "I/O error 2");
}

TEST(UntypedFile, OnlyARegularFileOpensForReading) {
    TempDir dir;
    UntypedFile file;
    file.Assign(dir.Path(""));
#ifdef _WIN32
    // The C runtime refuses a directory at open already.
    EXPECT_NE(ErrorOf([&] { file.OpenRead(); }), 0);
#else
    EXPECT_EQ(ErrorOf([&] { file.OpenRead(); }), EISDIR);
#endif
    EXPECT_FALSE(file.IsOpen());
#ifndef _WIN32
    const std::string fifo = dir.Path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    file.Assign(fifo);
    EXPECT_EQ(ErrorOf([&] { file.OpenRead(); }), EINVAL);
    EXPECT_FALSE(file.IsOpen());
#endif
    file.Assign(dir.Write("plain.s", "S1"));
    file.OpenRead();
    std::array<std::uint8_t, 2> buffer{};
    EXPECT_EQ(file.BlockRead(buffer), 2u);
}

// Names are UTF-8 on every system: on Windows they must not pass through the
// ANSI code page, which has no "固".
TEST(UntypedFile, NamesOutsideTheAnsiCodePageReachTheFileSystem) {
    TempDir dir;
    const std::u8string name = u8"Pr\u00FCfung-\u56FA\u4EF6.bin";
    const std::u8string path = (std::filesystem::path(dir.Path("")) / name).u8string();
    UntypedFile file;
    file.Assign(std::string(path.begin(), path.end()));
    file.Create();
    const std::array<std::uint8_t, 3> bytes{1, 2, 3};
    file.BlockWrite(bytes);
    file.Close();
    EXPECT_EQ(std::filesystem::file_size(std::filesystem::path(path)), 3u);
    file.OpenRead();
    std::array<std::uint8_t, 4> back{};
    EXPECT_EQ(file.BlockRead(back), 3u);
    EXPECT_EQ(back[2], 3);
}

} // namespace
} // namespace dedarida
