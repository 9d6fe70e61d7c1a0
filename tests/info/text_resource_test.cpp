// LoadTextResource, CTextResourceEdit and FormatCaption against the texts of
// text_test.rc.
#include "info/Caption.h"
#include "info/TextResource.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class CTextTestApp : public CWinApp {};
CTextTestApp g_app;

class TextResourceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(AfxWinInit(::GetModuleHandleA(nullptr))); }

    // Loads a TXT resource; the text is checked by the caller.
    static std::string Load(const char* name, BOOL* pResult = nullptr)
    {
        CString text = "left over";
        BOOL result = LoadTextResource(name, kTextResourceType, text);
        if (pResult)
            *pResult = result;
        return std::string(text.c_str(), size_t(text.GetLength()));
    }
};

TEST_F(TextResourceTest, CopiesTheTextWithItsLineEnds)
{
    BOOL result = FALSE;
    EXPECT_EQ(Load("LINES", &result), "first\r\n\r\nthird\r\n");
    EXPECT_TRUE(result);
}

TEST_F(TextResourceTest, RemovesOneFinalEndMarkerOnly)
{
    EXPECT_EQ(Load("ENDMARK"), "marked");
    EXPECT_EQ(Load("ENDMARK2"), "twice\x02");
    EXPECT_EQ(Load("INNERMARK"), "in\x02side");
    BOOL result = FALSE;
    EXPECT_EQ(Load("ONLYMARK", &result), "");
    EXPECT_TRUE(result);
}

TEST_F(TextResourceTest, FirstZeroByteEndsTheText)
{
    BOOL result = FALSE;
    EXPECT_EQ(Load("LEADZERO", &result), "");
    EXPECT_TRUE(result);
    EXPECT_EQ(Load("INNERZERO", &result), "cut");
    EXPECT_TRUE(result);
}

TEST_F(TextResourceTest, StopsAtTheEndOfAResourceWithNoZeroAfterIt)
{
    // The test only means something when the bytes after FULL8 are not zero.
    HMODULE hModule = ::GetModuleHandleA(nullptr);
    HRSRC hRes = ::FindResourceA(hModule, "FULL8", kTextResourceType);
    ASSERT_NE(hRes, nullptr);
    ASSERT_EQ(::SizeofResource(hModule, hRes), 8u);
    const char* p = static_cast<const char*>(::LockResource(::LoadResource(hModule, hRes)));
    ASSERT_NE(p, nullptr);
    ASSERT_NE(p[8], '\0') << "resource layout changed: FULL8 is followed by a zero byte";

    EXPECT_EQ(Load("FULL8"), "ABCDEFGH");
}

TEST_F(TextResourceTest, FindsNamesWithoutRegardToCase)
{
    EXPECT_EQ(Load("MixedCase"), "found");
    EXPECT_EQ(Load("mixedcase"), "found");
    EXPECT_EQ(Load("MIXEDCASE"), "found");
}

TEST_F(TextResourceTest, MissingTextGivesFalseAndAnEmptyString)
{
    BOOL result = TRUE;
    EXPECT_EQ(Load("NOSUCHTEXT", &result), "");
    EXPECT_FALSE(result);
    EXPECT_EQ(Load("OTHERTYPE", &result), "");
    EXPECT_FALSE(result);

    CString text = "left over";
    EXPECT_TRUE(LoadTextResource("OTHERTYPE", "DATA", text));
    EXPECT_STREQ(text, "wrong type");
}

// An edit control owned by the test, attached to a CTextResourceEdit.
class TextResourceEditTest : public TextResourceTest {
protected:
    void SetUp() override
    {
        HWND hEdit = ::CreateWindowExA(0, "EDIT", kInitialText,
                                       WS_POPUP | ES_MULTILINE | ES_READONLY | WS_VSCROLL, 0, 0,
                                       200, 100, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(hEdit, nullptr);
        ASSERT_TRUE(m_edit.SubclassWindow(hEdit));
    }

    std::string Text() const
    {
        CString text;
        m_edit.GetWindowText(text);
        return text.c_str();
    }

    static constexpr const char* kInitialText = "before";
    CTextResourceEdit m_edit; // destroys its window
};

TEST_F(TextResourceEditTest, SetsTheWholeTextAsLoaded)
{
    m_edit.SetTextFromResource("lines", kTextResourceType);
    EXPECT_EQ(Text(), "first\r\n\r\nthird\r\n");
    m_edit.SetTextFromResource("LEADZERO", kTextResourceType);
    EXPECT_EQ(Text(), "");
}

TEST_F(TextResourceEditTest, MissingTextThrowsTheMemoryExceptionAndKeepsTheText)
{
    bool bThrown = false;
    try {
        m_edit.SetTextFromResource("NOSUCHTEXT", kTextResourceType);
    } catch (CException* e) {
        // The memory exception is the one whose text is "Out of memory.".
        bThrown = true;
        EXPECT_STREQ(e->GetErrorMessage(), "Out of memory.");
        e->Delete();
    }
    EXPECT_TRUE(bThrown);
    EXPECT_EQ(Text(), kInitialText);
}

TEST(FormatCaptionTest, PutsTheNameInPlaceOfTheFirstPercentS)
{
    EXPECT_STREQ(FormatCaption("About %s", "Tiermo"), "About Tiermo");
    EXPECT_STREQ(FormatCaption("%s Help", "Tiermo"), "Tiermo Help");
    EXPECT_STREQ(FormatCaption("%s and %s", "A"), "A and %s");
    EXPECT_STREQ(FormatCaption("No name", "Tiermo"), "No name");
    EXPECT_STREQ(FormatCaption("%s", nullptr), "");
    EXPECT_STREQ(FormatCaption(nullptr, "Tiermo"), "");
}

TEST(FormatCaptionTest, OtherPercentSignsReadNoArguments)
{
    EXPECT_STREQ(FormatCaption("100%% %s", "Tiermo"), "100% Tiermo");
    EXPECT_STREQ(FormatCaption("%d %n %x %s", "Tiermo"), "%d %n %x Tiermo");
    EXPECT_STREQ(FormatCaption("About %s", "%s%n%d"), "About %s%n%d");
    EXPECT_STREQ(FormatCaption("ends in %", "x"), "ends in %");
}

TEST(FormatCaptionTest, CutsLongCaptions)
{
    const std::string longName(300, 'n');
    CString caption = FormatCaption("About %s", longName.c_str());
    EXPECT_EQ(caption.GetLength(), kMaxCaptionLength);
    EXPECT_EQ(std::string(caption.c_str()), ("About " + longName).substr(0, kMaxCaptionLength));

    const std::string longTemplate(400, 't');
    EXPECT_EQ(FormatCaption((longTemplate + "%s").c_str(), "x").GetLength(), kMaxCaptionLength);
}

} // namespace
