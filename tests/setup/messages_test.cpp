// The three message operations: what the user reads, under which caption,
// with which owner and style, and that no text of any length overruns.
#include "common/messages.h"
#include "fakes.h"

namespace {

struct Messages : ::testing::Test {
    void SetUp() override {
        host_reset();
        load_titles();
    }
};

// The formatted text under the caption, the answer, a huge argument cut, and
// an unknown id shown as itself.
TEST_F(Messages, SetupBoxShowsTheFormattedTextUnderTheCaptionAndReturnsTheAnswer) {
    plat_window owner = host_create_window("#32770", nullptr);
    setup_message_box(owner, MSG_FILE_MISSING, MB_ICONERROR, "LICENSE.TXT");
    const host_box &box = host_boxes()[0];
    EXPECT_EQ(box.owner, owner);
    EXPECT_EQ(box.text, "Cannot find required file LICENSE.TXT.  Please verify that the file "
                        "exists on the installation disk.");
    EXPECT_FALSE(box.default_caption);
    EXPECT_EQ(box.caption, "Tarvex Setup");
    EXPECT_EQ(box.style, unsigned(MB_ICONERROR));
    host_answer_next_box(IDYES);
    EXPECT_EQ(setup_message_box(nullptr, MSG_CONFIRM_CANCEL, MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(setup_message_box(nullptr, MSG_CONFIRM_CANCEL, MB_YESNO | MB_ICONQUESTION), IDNO);
    setup_message_box(nullptr, MSG_CANNOT_WRITE, MB_ICONERROR, std::string(5000, 'x').c_str());
    EXPECT_EQ(host_boxes()[3].text.size(), size_t(MESSAGE_TEXT_SIZE - 1));
    EXPECT_EQ(host_boxes()[3].text.rfind("Cannot open xxx", 0), 0u);
    setup_message_box(nullptr, 999, MB_ICONERROR, "arg"); /* not the text shown before */
    EXPECT_EQ(host_boxes()[4].text, "999");
}

TEST_F(Messages, EngineLookupsRotateThroughThreeBuffers) {
    const char *first = engine_string(nullptr, MSG_UNKNOWN_METHOD);
    const char *second = engine_string(nullptr, MSG_BAD_HEADER);
    const char *third = engine_string(nullptr, MSG_NO_MEMORY);
    EXPECT_STREQ(first, "unknown compression");
    EXPECT_EQ(engine_string(nullptr, MSG_CANT_OPEN_INPUT), first);
    EXPECT_STREQ(first, "Can't open input file: %s");
    EXPECT_STREQ(second, "Invalid Zipfile Header");
    EXPECT_STREQ(third, "Insufficient memory");
    EXPECT_TRUE(host_boxes().empty());
}

// Continued texts join in id order up to the buffer; a missing part is named
// in a box over the owner and what came before is kept.
TEST_F(Messages, EngineLookupJoinsContinuedTextsInIdOrder) {
    host_set_string(2000, "!abc");
    host_set_string(2001, "!def");
    host_set_string(2002, "ghi");
    host_set_string(2003, "not taken");
    EXPECT_STREQ(engine_string(nullptr, 2000), "abcdefghi");
    static std::string part = "!" + std::string(400, 'a');
    host_set_string(3000, part.c_str());
    host_set_string(3001, part.c_str());
    host_set_string(3002, "end");
    EXPECT_EQ(strlen(engine_string(nullptr, 3000)), size_t(MESSAGE_TEXT_SIZE - 1));
    EXPECT_TRUE(host_boxes().empty());
    plat_window owner = host_create_window("#32770", nullptr);
    EXPECT_STREQ(engine_string(owner, 2002 + 2000), "");
    host_set_string(2001, nullptr);
    EXPECT_STREQ(engine_string(owner, 2000), "abc");
    ASSERT_EQ(host_boxes().size(), 2u);
    EXPECT_EQ(host_boxes()[0].text, "Error: String Resource not found: 4002");
    EXPECT_EQ(host_boxes()[1].text, "Error: String Resource not found: 2001");
    EXPECT_TRUE(host_boxes()[1].default_caption);
    EXPECT_EQ(host_boxes()[1].owner, owner);
    EXPECT_EQ(host_boxes()[1].style, unsigned(MB_ICONERROR));
}

} // namespace
