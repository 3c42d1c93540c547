// A whole installation from the sample disk, seen from the user's side: the
// directory typed in the install directory dialog receives the loose files
// and the archive's members unchanged, and the installed tarvex32.exe is
// started there with "/install"; Cancel in the dialog installs nothing.
#include "tests/driver/driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

const char *const LOOSE[] = {"README.TXT",   "TARVEX.TXT",  "LICENSE.TXT", "VENDOR.TXT",
                             "WHATSNEW.TXT", "FILE_ID.DIZ", "ORDER.TXT",   nullptr};
const char *const PRODUCT[] = {"tarvex32.exe", "SAMPLES.TXT", "TVTOOLS.DAT", "TARVEX.HLP",
                               "TVSHLEXT.DLL", "EMPTY.CFG",   nullptr};
const char NOT_INSTALLED[] = "The software has not been successfully installed.\nYou must run "
                             "Setup again before using the software.";
const int IDC_DIR_EDIT = 101;

std::string read_file(const std::string &path) {
    std::string data;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return "<missing " + path + ">";
    char chunk[65536];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, f)) > 0;) data.append(chunk, n);
    fclose(f);
    return data;
}

bool exists(const std::string &path) { return GetFileAttributesA(path.c_str()) != 0xFFFFFFFF; }

/* The sample disk copied to a source directory on drive C:, keeping times. */
std::string prepare_disk(const char *name) {
    std::string dir = std::string("C:\\") + name + "\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    std::string disk = TV_SAMPLE_DIR "/disk/";
    for (const char *file : {"SETUP.EXE", "setup.tv"})
        EXPECT_TRUE(CopyFileA((disk + file).c_str(), (dir + file).c_str(), FALSE)) << file;
    for (const char *const *file = LOOSE; *file; file++)
        EXPECT_TRUE(CopyFileA((disk + *file).c_str(), (dir + *file).c_str(), FALSE)) << *file;
    return dir + "SETUP.EXE";
}

/* Runs setup from a fresh disk up to its install directory dialog. */
HWND start_to_dialog(const char *disk, driver_process *setup) {
    if (!driver_start(prepare_disk(disk).c_str(), nullptr, setup)) return nullptr;
    return driver_wait_dialog(setup->id, DRIVER_WAIT_MS, "the install directory dialog");
}

/* Waits for a dialog of the process other than the one that was there. */
HWND wait_next_dialog(driver_process *p, HWND previous) {
    for (int i = 0; i < 150; i++) {
        HWND dialog = driver_find_dialog(p->id);
        if (dialog && dialog != previous) return dialog;
        driver_pump(p->process, 100);
    }
    return nullptr;
}

/* Waits for the started product's record of how it was started. */
std::string wait_started_record(const std::string &dir) {
    for (int i = 0; i < 100 && !exists(dir + "started.txt"); i++) Sleep(100);
    Sleep(200);
    return read_file(dir + "started.txt");
}

struct Install : ::testing::Test {
    driver_process setup = {nullptr, 0};
    void TearDown() override { driver_end(&setup); }
};

TEST_F(Install, ANewDirectoryReceivesEveryFileAndTheProductIsStartedThere) {
    HWND dialog = start_to_dialog("tvdisk1", &setup);
    ASSERT_NE(dialog, nullptr) << driver_error();
    EXPECT_EQ(driver_caption(dialog), "Tarvex Setup");
    ASSERT_TRUE(driver_type(dialog, IDC_DIR_EDIT, "C:\\TvNew\\")) << driver_error();
    ASSERT_TRUE(driver_press(dialog, IDOK)) << driver_error();
    DWORD code = 1;
    ASSERT_TRUE(driver_wait_exit(&setup, DRIVER_WAIT_MS * 2, &code, 0)) << driver_error();
    EXPECT_EQ(code, 0u);

    const std::string target = "C:\\TvNew\\";
    EXPECT_EQ(wait_started_record(target),
              "directory=C:\\TvNew\\\ncurrent=C:\\TvNew\narguments=/install\n");
    for (const char *const *file = LOOSE; *file; file++)
        EXPECT_EQ(read_file(target + *file), read_file(TV_SAMPLE_DIR "/disk/" + std::string(*file)))
            << *file;
    for (const char *const *file = PRODUCT; *file; file++)
        EXPECT_TRUE(read_file(target + *file) ==
                    read_file(TV_SAMPLE_DIR "/product/" + std::string(*file)))
            << *file;
}

TEST_F(Install, CancelInTheDialogInstallsNothingAndSays1006) {
    HWND dialog = start_to_dialog("tvdisk2", &setup);
    ASSERT_NE(dialog, nullptr) << driver_error();
    ASSERT_TRUE(driver_type(dialog, IDC_DIR_EDIT, "C:\\TvCancelled")) << driver_error();
    ASSERT_TRUE(driver_press(dialog, IDCANCEL)) << driver_error();
    HWND box = wait_next_dialog(&setup, dialog);
    ASSERT_NE(box, nullptr) << "no box of message 1006";
    EXPECT_EQ(driver_item_text(box, DRIVER_BOX_TEXT), NOT_INSTALLED);
    EXPECT_EQ(driver_caption(box), "Tarvex Setup");
    EXPECT_STREQ(driver_icon_name(driver_box_icon(box)), "asterisk");
    EXPECT_EQ(driver_count_windows(setup.id), 1);
    ASSERT_TRUE(driver_press(box, IDOK)) << driver_error();
    DWORD code = 1;
    EXPECT_TRUE(driver_wait_exit(&setup, DRIVER_WAIT_MS, &code, 0)) << driver_error();
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(exists("C:\\TvCancelled"));
}

TEST_F(Install, ASecondSetupWhileOneRunsSays1025AndEnds) {
    HWND dialog = start_to_dialog("tvdisk3", &setup);
    ASSERT_NE(dialog, nullptr) << driver_error();
    driver_process second = {nullptr, 0};
    ASSERT_TRUE(driver_start("C:\\tvdisk3\\SETUP.EXE", nullptr, &second)) << driver_error();
    HWND box = driver_wait_dialog(second.id, DRIVER_WAIT_MS, "the box of message 1025");
    ASSERT_NE(box, nullptr) << driver_error();
    EXPECT_EQ(driver_item_text(box, DRIVER_BOX_TEXT), "Setup is already running");
    EXPECT_EQ(driver_caption(box), "Tarvex Setup");
    EXPECT_STREQ(driver_icon_name(driver_box_icon(box)), "hand");
    ASSERT_TRUE(driver_press(box, IDOK)) << driver_error();
    DWORD code = 1;
    EXPECT_TRUE(driver_wait_exit(&second, DRIVER_WAIT_MS, &code, 0)) << driver_error();
    EXPECT_EQ(code, 0u);
    driver_end(&second);
    std::string seen;
    EXPECT_TRUE(driver_dismiss_until_exit(&setup, DRIVER_WAIT_MS, &code, &seen)) << seen;
}

TEST_F(Install, AFileManagerExtensionStillLoadedOffersTheRestartFirst) {
    ASSERT_TRUE(driver_set_winfile("AddOns", "Tarvex", "C:\\nowhere\\tvfm.dll")) << driver_error();
    HWND file_manager = driver_open_window("WFS_Frame");
    ASSERT_NE(file_manager, nullptr) << driver_error();
    ASSERT_TRUE(driver_start(prepare_disk("tvdisk4").c_str(), nullptr, &setup)) << driver_error();
    HWND dialog = driver_wait_dialog(setup.id, DRIVER_WAIT_MS, "the restart dialog");
    ASSERT_NE(dialog, nullptr) << driver_error();
    EXPECT_EQ(driver_caption(dialog), "Tarvex Setup");
    EXPECT_EQ(driver_item_text(dialog, IDOK), "&Restart Windows");
    ASSERT_TRUE(driver_press(dialog, IDCANCEL)) << driver_error();
    DWORD code = 1;
    EXPECT_TRUE(driver_wait_exit(&setup, DRIVER_WAIT_MS, &code, 0)) << driver_error();
    EXPECT_EQ(code, 0u);
    char value[64];
    GetPrivateProfileStringA("AddOns", "Tarvex", "", value, sizeof value, "winfile.ini");
    EXPECT_STREQ(value, "");
    driver_close_window(file_manager);
}

} // namespace
