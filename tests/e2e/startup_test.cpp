// Setup's start, seen from the user's side: the directory it proposes, from
// the registry, from the program associated with ZIP files or its own, and
// the File Manager extension it has unloaded before anything else.
#include "tests/e2e/e2e.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char CURRENT_VERSION[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char ASSOCIATED_DIR[] = "C:\\TvAssocHome";
const char EXTENSION_DLL[] = "C:\\TvFmExt\\tvfm.dll";
const char RESTART_TEXT[] =
    "The Tarvex \"File Manager Extension\" is still running.  It must be terminated before SETUP "
    "can continue.  To ensure the File Manager Extension is terminated SETUP will re-start "
    "Windows. You can then re-run SETUP.";

std::string source_dir;         /* the disk of this group */
std::string program_files = ""; /* the prefix's own ProgramFilesDir */

std::string winfile_key() {
    char value[MAX_PATH] = "";
    GetPrivateProfileStringA("AddOns", "Tarvex", "", value, sizeof value, "winfile.ini");
    return value;
}

struct Startup : ::testing::Test {
    static void SetUpTestSuite() {
        source_dir = prepare_disk("tvstart");
        char value[MAX_PATH] = "";
        DWORD size = sizeof value;
        HKEY key;
        if (RegOpenKeyA(HKEY_LOCAL_MACHINE, CURRENT_VERSION, &key) == ERROR_SUCCESS) {
            RegQueryValueExA(key, "ProgramFilesDir", nullptr, nullptr,
                             reinterpret_cast<BYTE *>(value), &size);
            RegCloseKey(key);
        }
        program_files = value;
        CreateDirectoryA(ASSOCIATED_DIR, nullptr);
        CreateDirectoryA("C:\\TvFmExt", nullptr);
        write_file(EXTENSION_DLL, "extension");
    }
    static void TearDownTestSuite() {
        driver_set_machine_value(CURRENT_VERSION, "ProgramFilesDir",
                                 program_files.empty() ? nullptr : program_files.c_str());
        driver_set_extension("zip", nullptr);
        driver_set_winfile("AddOns", "Tarvex", nullptr);
    }
    setup_run run;
};

/* ---- The proposed directory ---------------------------------------------- */

struct proposal_case {
    const char *label;         /* what the case shows */
    const char *program_files; /* ProgramFilesDir; null: none */
    const char *association;   /* win.ini zip entry; "%s" is the associated
                                  directory's short name; null: none */
    const char *expected;      /* the field's text; null: ProgramFilesDir\Tarvex */
};

// clang-format off
const proposal_case PROPOSALS[] = {
    {"registry",          "C:\\Program Files", nullptr,                   nullptr},
    {"built_in",          nullptr,             nullptr,                   "C:\\Tarvex"},
    {"association",       "C:\\Program Files", "%s\\TARVEX32.EXE ^.ZIP",  ASSOCIATED_DIR},
    {"other_program",     "C:\\Program Files", "C:\\TOOLS\\TV.EXE ^.ZIP", nullptr},
    {"missing_directory", nullptr,             "C:\\TVNONE\\TARVEX32.EXE","C:\\TVNONE"},
};
// clang-format on

struct Proposal : Startup, ::testing::WithParamInterface<proposal_case> {};

TEST_P(Proposal, TheFieldShowsTheDirectoryFromTheStrongestSource) {
    const proposal_case &c = GetParam();
    ASSERT_TRUE(driver_set_machine_value(CURRENT_VERSION, "ProgramFilesDir", c.program_files))
        << driver_error();
    std::string association;
    if (c.association) {
        char short_name[MAX_PATH] = "";
        ASSERT_NE(GetShortPathNameA(ASSOCIATED_DIR, short_name, sizeof short_name), 0u);
        CharUpperA(short_name);
        association = c.association;
        size_t at = association.find("%s");
        if (at != std::string::npos) association.replace(at, 2, short_name);
    }
    ASSERT_TRUE(driver_set_extension("zip", c.association ? association.c_str() : nullptr))
        << driver_error();

    ASSERT_NE(run.start(source_dir), nullptr);
    std::string expected = c.expected ? c.expected : std::string(c.program_files) + "\\Tarvex";
    EXPECT_EQ(driver_field_text(run.dialog, IDC_DIR_EDIT), expected) << association;
    EXPECT_EQ(driver_caption(run.dialog), CAPTION);
    EXPECT_EQ(driver_item_text(run.dialog, IDC_DIR_TEXT1),
              "Setup will install Tarvex into the following directory, which it will create if "
              "necessary.");
    run.cancel_dialog();
}

INSTANTIATE_TEST_SUITE_P(Sources, Proposal, ::testing::ValuesIn(PROPOSALS),
                         [](const ::testing::TestParamInfo<proposal_case> &info) {
                             return std::string(info.param.label);
                         });

/* ---- The File Manager extension ------------------------------------------ */

enum file_manager { NO_FILE_MANAGER, UNLOADS_ON_RELOAD, KEEPS_IT_LOADED };

struct extension_case {
    const char *label;   /* what the case shows */
    bool key;            /* winfile.ini lists the extension */
    file_manager window; /* what runs as the File Manager */
    bool restart;        /* the restart dialog comes instead of the install dialog */
    bool key_stays;      /* the entry is still listed afterwards */
};

// clang-format off
const extension_case EXTENSIONS[] = {
    {"not_listed",          false, UNLOADS_ON_RELOAD, false, false},
    {"no_file_manager",     true,  NO_FILE_MANAGER,   false, true},
    {"unloaded_on_request", true,  UNLOADS_ON_RELOAD, false, false},
    {"held_for_good",       true,  KEEPS_IT_LOADED,   true,  false},
};
// clang-format on

struct Extension : Startup, ::testing::WithParamInterface<extension_case> {
    HWND file_manager = nullptr;
    void TearDown() override { driver_close_window(file_manager); }
};

TEST_P(Extension, IsUnloadedBeforeTheDialogOrSetupOffersTheRestart) {
    const extension_case &c = GetParam();
    ASSERT_TRUE(driver_set_winfile("AddOns", "Tarvex", c.key ? EXTENSION_DLL : nullptr));
    if (c.window != NO_FILE_MANAGER) {
        UINT release = c.window == UNLOADS_ON_RELOAD ? UINT(FM_RELOAD_EXTENSIONS) : 0;
        file_manager = driver_open_holder("WFS_Frame", EXTENSION_DLL, release);
        ASSERT_NE(file_manager, nullptr) << driver_error();
    }
    DWORD started = GetTickCount();
    ASSERT_NE(run.start(source_dir, "the first dialog"), nullptr);
    DWORD waited = GetTickCount() - started;

    EXPECT_EQ(winfile_key(), c.key_stays ? EXTENSION_DLL : "");
    if (c.window == UNLOADS_ON_RELOAD) {
        EXPECT_EQ(driver_holds(file_manager), !c.key);
    }
    if (!c.restart) {
        EXPECT_NE(GetDlgItem(run.dialog, IDC_DIR_EDIT), nullptr) << "not the install dialog";
        run.cancel_dialog();
        return;
    }
    EXPECT_GE(waited, 2000u) << "the restart dialog came before the wait ended";
    EXPECT_EQ(driver_caption(run.dialog), CAPTION);
    EXPECT_EQ(driver_item_text(run.dialog, -1), RESTART_TEXT);
    EXPECT_EQ(driver_item_text(run.dialog, IDOK), "&Restart Windows");
    EXPECT_EQ(driver_item_text(run.dialog, IDCANCEL), "E&xit Setup");
    ASSERT_TRUE(driver_press(run.dialog, IDCANCEL)) << driver_error();
    run.expect_exit();
    EXPECT_EQ(winfile_key(), "");
}

INSTANTIATE_TEST_SUITE_P(Cases, Extension, ::testing::ValuesIn(EXTENSIONS),
                         [](const ::testing::TestParamInfo<extension_case> &info) {
                             return std::string(info.param.label);
                         });

} // namespace
