// The three message operations: what the user reads, under which caption,
// with which owner and style, and that no text of any length overruns.
#include "platform/host.h"
#include "setup/messages.h"
#include "setup/state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct Messages : ::testing::Test {
    void SetUp() override {
        host_reset();
        load_titles();
    }
};

TEST_F(Messages, SetupBoxShowsTheFormattedTextUnderTheCaption) {
    plat_window owner = host_create_window("#32770", nullptr);
    setup_message_box(owner, MSG_FILE_MISSING, MB_ICONERROR, "LICENSE.TXT");
    ASSERT_EQ(host_boxes().size(), 1u);
    const host_box &box = host_boxes()[0];
    EXPECT_EQ(box.owner, owner);
    EXPECT_EQ(box.text, "Cannot find required file LICENSE.TXT.  Please verify that the file "
                        "exists on the installation disk.");
    EXPECT_FALSE(box.default_caption);
    EXPECT_EQ(box.caption, "Tarvex Setup");
    EXPECT_EQ(box.style, unsigned(MB_ICONERROR));
}

TEST_F(Messages, SetupBoxReturnsTheAnswerCutsAHugeArgumentAndShowsAnUnknownIdAsItself) {
    host_answer_next_box(IDYES);
    EXPECT_EQ(setup_message_box(nullptr, MSG_CONFIRM_CANCEL, MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(setup_message_box(nullptr, MSG_CONFIRM_CANCEL, MB_YESNO | MB_ICONQUESTION), IDNO);
    std::string huge(5000, 'x');
    setup_message_box(nullptr, MSG_CANNOT_WRITE, MB_ICONERROR, huge.c_str());
    EXPECT_EQ(host_boxes()[2].text.size(), size_t(MESSAGE_TEXT_SIZE - 1));
    EXPECT_EQ(host_boxes()[2].text.rfind("Cannot open xxx", 0), 0u);
    setup_message_box(nullptr, 999, MB_ICONERROR, "arg"); /* not the text shown before */
    EXPECT_EQ(host_boxes()[3].text, "999");
}

TEST_F(Messages, EngineLookupsRotateThroughThreeBuffers) {
    const char *first = engine_string(nullptr, MSG_UNKNOWN_METHOD);
    const char *second = engine_string(nullptr, MSG_BAD_HEADER);
    const char *third = engine_string(nullptr, MSG_NO_MEMORY);
    EXPECT_STREQ(first, "unknown compression");
    const char *fourth = engine_string(nullptr, MSG_CANT_OPEN_INPUT);
    EXPECT_EQ(fourth, first);
    EXPECT_STREQ(first, "Can't open input file: %s");
    EXPECT_STREQ(second, "Invalid Zipfile Header");
    EXPECT_STREQ(third, "Insufficient memory");
    EXPECT_TRUE(host_boxes().empty());
}

TEST_F(Messages, EngineLookupJoinsContinuedTextsInIdOrder) {
    host_set_string(2000, "!abc");
    host_set_string(2001, "!def");
    host_set_string(2002, "ghi");
    host_set_string(2003, "not taken");
    EXPECT_STREQ(engine_string(nullptr, 2000), "abcdefghi");
    EXPECT_TRUE(host_boxes().empty());
}

TEST_F(Messages, EngineLookupOfAMissingPartNamesItAndKeepsWhatCameBefore) {
    plat_window owner = host_create_window("#32770", nullptr);
    host_set_string(2000, "!abc");
    EXPECT_STREQ(engine_string(owner, 2000), "abc");
    ASSERT_EQ(host_boxes().size(), 1u);
    EXPECT_EQ(host_boxes()[0].text, "Error: String Resource not found: 2001");
    EXPECT_TRUE(host_boxes()[0].default_caption);
    EXPECT_EQ(host_boxes()[0].owner, owner);
    EXPECT_EQ(host_boxes()[0].style, unsigned(MB_ICONERROR));
    EXPECT_STREQ(engine_string(nullptr, 1), ""); /* a missing first part: nothing kept */
    EXPECT_EQ(host_boxes()[1].text, "Error: String Resource not found: 1");
}

TEST_F(Messages, EngineJoinStopsAtItsBuffer) {
    static std::string part = "!" + std::string(400, 'a');
    host_set_string(2000, part.c_str());
    host_set_string(2001, part.c_str());
    host_set_string(2002, "end");
    EXPECT_EQ(strlen(engine_string(nullptr, 2000)), size_t(MESSAGE_TEXT_SIZE - 1));
}

} // namespace
