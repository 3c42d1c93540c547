// SETUP.EXE's first check, seen from the user's side: while the product runs,
// one error box says so and nothing else happens; without it, setup goes on.
#include "tools/driver/driver.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char PRODUCT_RUNNING[] =
    "Another version of Tarvex is running.  Please close it and re-run SETUP";

/* A source directory on drive C: holding a copy of the built SETUP.EXE. */
std::string prepare_source(const char *name) {
    std::string dir = std::string("C:\\") + name + "\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    std::string setup = dir + "SETUP.EXE";
    EXPECT_TRUE(CopyFileA(TV_SETUP_EXE, setup.c_str(), FALSE))
        << "cannot copy " << TV_SETUP_EXE << " to " << setup;
    return setup;
}

struct ProductCheck : ::testing::TestWithParam<const char *> {
    driver_process setup = {nullptr, 0};
    HWND product = nullptr;
    void TearDown() override {
        driver_end(&setup);
        driver_close_window(product);
    }
};

TEST_P(ProductCheck, ARunningProductGetsOneErrorBoxAndNothingElse) {
    product = driver_open_window(GetParam());
    ASSERT_NE(product, nullptr) << driver_error();
    ASSERT_TRUE(driver_start(prepare_source("tvsrc1").c_str(), nullptr, &setup)) << driver_error();

    HWND box = driver_wait_dialog(setup.id, DRIVER_WAIT_MS, "the box of message 1022");
    ASSERT_NE(box, nullptr) << driver_error();
    EXPECT_EQ(driver_caption(box), "Tarvex Setup");
    EXPECT_EQ(driver_item_text(box, DRIVER_BOX_TEXT), PRODUCT_RUNNING);
    EXPECT_STREQ(driver_icon_name(driver_box_icon(box)), "hand");
    EXPECT_EQ(driver_count_windows(setup.id), 1);
    std::string shot = std::string(TV_ARTIFACTS_DIR "/product_running_") + GetParam() + ".bmp";
    EXPECT_TRUE(driver_screenshot(shot.c_str())) << driver_error();

    ASSERT_TRUE(driver_press(box, IDOK)) << driver_error();
    DWORD code = 1;
    EXPECT_TRUE(driver_wait_exit(&setup, DRIVER_WAIT_MS, &code, 1)) << driver_error();
    EXPECT_EQ(code, 0u);
}

INSTANTIATE_TEST_SUITE_P(EitherWindowClass, ProductCheck,
                         ::testing::Values("TarvexWClass", "Tarvex2WClass"));

TEST(ProductCheckPassed, WithoutAProductWindowSetupGoesOnAndEndsWithZero) {
    driver_process setup = {nullptr, 0};
    ASSERT_TRUE(driver_start(prepare_source("tvsrc2").c_str(), nullptr, &setup)) << driver_error();
    std::string seen;
    DWORD code = 1;
    EXPECT_TRUE(driver_dismiss_until_exit(&setup, DRIVER_WAIT_MS * 2, &code, &seen))
        << driver_error() << "\nshown:\n"
        << seen;
    EXPECT_EQ(seen.find(PRODUCT_RUNNING), std::string::npos) << seen;
    EXPECT_EQ(code, 0u);
    driver_end(&setup);
}

} // namespace
