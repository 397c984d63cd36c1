#include "image/firmware_file.h"
#include "image/flash_dump.h"
#include "image/in_out_error.h"
#include "tests/image/image_fill.h"
#include "tests/image/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace dedarida {
namespace {

using test::Filled;
using test::TempDir;

// LF line ends, as files made on Linux have them.
constexpr std::string_view Record = "S2060E8810C1C2D0\nS2050E8820C381\n";

class FirmwareFileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<FirmwareFile> firmware = std::make_unique<FirmwareFile>();
    TFlashImage image = Filled(0x5A);
};

TEST_F(FirmwareFileTest, OpenedFileLoadsAndCanBeReloaded) {
    const std::string name = dir.Write("fw.mot", Record);
    firmware->Open(name);
    EXPECT_EQ(firmware->OpenedFileName(), name);
    EXPECT_TRUE(firmware->Load(image).Loaded);
    EXPECT_EQ(image[0x10], 0xC1);
    EXPECT_EQ(image[0x12], 0xFF);
    EXPECT_EQ(image[0x20], 0xC3);
    image.fill(0);
    EXPECT_TRUE(firmware->Load(image).Loaded);
    EXPECT_EQ(image[0x11], 0xC2);
}

TEST_F(FirmwareFileTest, LoadBeforeAnyOpenChangesNothing) {
    EXPECT_FALSE(firmware->Load(image).Loaded);
    EXPECT_EQ(image, Filled(0x5A));
}

TEST_F(FirmwareFileTest, OpenOfAMissingFileCreatesItEmpty) {
    const std::string name = dir.Path("new.s");
    firmware->Open(name);
    EXPECT_TRUE(std::filesystem::exists(name));
    EXPECT_EQ(std::filesystem::file_size(name), 0u);
    EXPECT_TRUE(firmware->Load(image).Loaded);
    EXPECT_EQ(image, Filled(0xFF));
}

TEST_F(FirmwareFileTest, OpenOfAnUnreadableFileRaisesAndKeepsItsContent) {
    const std::string name = dir.Write("locked.s", Record);
    ::chmod(name.c_str(), 0);
    if (::access(name.c_str(), R_OK) == 0)
        GTEST_SKIP() << "permissions do not bind this user";
    EXPECT_THROW(firmware->Open(name), EInOutError);
    ::chmod(name.c_str(), 0600);
    EXPECT_EQ(TempDir::Read(name), Record);
}

TEST_F(FirmwareFileTest, OpenOfAnExistingFileThatNoOneCanReadRaises) {
    // A socket cannot be opened as a file, whatever the user's rights.
    const std::string name = dir.Path("sock.s");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(name.size(), sizeof address.sun_path);
    name.copy(address.sun_path, name.size());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(sock);

    EXPECT_THROW(firmware->Open(name), EInOutError);
    EXPECT_TRUE(std::filesystem::is_socket(name));
    EXPECT_EQ(firmware->OpenedFileName(), name);
}

TEST_F(FirmwareFileTest, SaveUnderTheOpenedNameClosesAndWritesNothing) {
    const std::string name = dir.Write("fw.mot", Record);
    firmware->Open(name);
    EXPECT_FALSE(firmware->Save(name, image));
    EXPECT_EQ(TempDir::Read(name), Record);
    try {
        firmware->Save(name, image);
        ADD_FAILURE() << "closing a closed file must raise";
    } catch (const EInOutError& error) {
        EXPECT_STREQ(error.what(), "I/O error 9");
    }
    EXPECT_TRUE(firmware->Load(image).Loaded) << "the next load reopens it";
}

TEST_F(FirmwareFileTest, SaveUnderANameDifferingInCaseReplacesThatFile) {
    firmware->Open(dir.Write("fw.mot", Record));
    const std::string other = dir.Write("FW.mot", std::string(FlashDumpSize + 100, 'x'));
    EXPECT_TRUE(firmware->Save(other, image));
    const std::string text = TempDir::Read(other);
    EXPECT_EQ(text.size(), FlashDumpSize);
    EXPECT_EQ(text.substr(0, 8), "$5A,$5A,");
}

TEST_F(FirmwareFileTest, SaveIntoAMissingDirectoryRaises) {
    EXPECT_THROW(firmware->Save(dir.Path("none/dump.txt"), image), EInOutError);
}

} // namespace
} // namespace dedarida
