// The engine on Win32 against a drive that fills up and a member that cannot
// be replaced: the real _lwrite and _lcreat failures, with the message box
// the engine really shows, read and answered from a timer of this program.
// The full drive is a small file system that full_drive.sh maps as the drive
// in TV_FULL_DRIVE; without it that case is skipped.
#include "platform/win32_native.h"

#include "tests/unzip/unzip_fixture.h"
#include "tools/driver/driver.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

class Win32Faults : public UnzipTest {
  protected:
    HWND owner = nullptr;
    UINT_PTR timer = 0;

    void SetUp() override {
        UnzipTest::SetUp();
        owner = CreateWindowA("STATIC", "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
        request.owner_window = owner;
        timer = answer_boxes_with(IDOK);
    }
    void TearDown() override {
        KillTimer(nullptr, timer);
        DestroyWindow(owner);
        UnzipTest::TearDown();
    }
};

TEST_F(Win32Faults, AFullDriveNamesTheFileFailsAndDeletesItsPart) {
    const char *drive = getenv("TV_FULL_DRIVE");
    if (!drive) GTEST_SKIP() << "no small drive mapped (full_drive.sh makes one)";
    std::string full_dest = std::string(drive) + "out";
    plat_mkdir(full_dest.c_str());
    request.dest_dir = full_dest.c_str();
    /* Half again as much as the drive holds, stored: written as it stands. */
    EXPECT_EQ(2, run({member("small.txt", "kept"), member("big.bin", content(1536 * 1024, 7))}));
    ASSERT_EQ(1u, boxes.texts.size());
    EXPECT_EQ("Error writing to " + full_dest + "\\big.bin.  Possible cause: disk full",
              boxes.texts[0]);
    EXPECT_EQ("kept", read_file(full_dest + "\\small.txt"));
    EXPECT_FALSE(file_exists(full_dest + "\\big.bin"));
    plat_remove((full_dest + "\\small.txt").c_str());
}

TEST_F(Win32Faults, AReadOnlyMemberCannotBeReplaced) {
    std::string existing = dest + "/ro.txt";
    write_file(existing, "old");
    ASSERT_TRUE(SetFileAttributesA(existing.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(2, run({member("ro.txt", "new"), member("after.txt", "never")}));
    ASSERT_EQ(1u, boxes.texts.size());
    EXPECT_EQ("Can't create output file: " + backslashed(dest + "\\ro.txt"), boxes.texts[0]);
    EXPECT_EQ("old", read_file(existing));
    EXPECT_FALSE(file_exists(dest + "/after.txt"));
    SetFileAttributesA(existing.c_str(), FILE_ATTRIBUTE_NORMAL);
}

} /* namespace */
