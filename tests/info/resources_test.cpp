// The texts and the two information templates as stored in the built
// Tiermo.exe, read back from the file.
#include "Driver.h"
#include "expected_texts.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr WORD kEnglishUS = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr WORD kButtonAtom = 0x80;
constexpr WORD kEditAtom = 0x81;
constexpr WORD kStaticAtom = 0x82;

class ProgramResources : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_hModule = ::LoadLibraryExA(driver::TiermoExe().c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    }
    static void TearDownTestSuite()
    {
        if (s_hModule)
            ::FreeLibrary(s_hModule);
        s_hModule = nullptr;
    }
    void SetUp() override { ASSERT_NE(s_hModule, nullptr) << driver::TiermoExe(); }

    // Bytes of a resource plus the byte that follows it in the file image.
    static bool Read(LPCSTR type, LPCSTR name, std::string* bytes, char* after = nullptr)
    {
        HRSRC hRes = ::FindResourceExA(s_hModule, type, name, kEnglishUS);
        HGLOBAL hData = hRes ? ::LoadResource(s_hModule, hRes) : nullptr;
        const char* p = hData ? static_cast<const char*>(::LockResource(hData)) : nullptr;
        if (!p)
            return false;
        const DWORD size = ::SizeofResource(s_hModule, hRes);
        bytes->assign(p, size);
        if (after)
            *after = p[size];
        return true;
    }

    static inline HMODULE s_hModule = nullptr;
};

TEST_F(ProgramResources, TextNamesAreStoredInCapitalsInUSEnglishOnly)
{
    std::set<std::string> names;
    ::EnumResourceNamesA(
        s_hModule, "TXT",
        [](HMODULE, LPCSTR, LPSTR name, LONG_PTR l) CALLBACK -> BOOL {
            if (!IS_INTRESOURCE(name))
                reinterpret_cast<std::set<std::string>*>(l)->insert(name);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&names));
    EXPECT_EQ(names, (std::set<std::string>{"ABOUTDIS", "HELP"}));

    for (const char* name : {"ABOUTDIS", "HELP"}) {
        std::vector<WORD> languages;
        ::EnumResourceLanguagesA(
            s_hModule, "TXT", name,
            [](HMODULE, LPCSTR, LPCSTR, WORD lang, LONG_PTR l) CALLBACK -> BOOL {
                reinterpret_cast<std::vector<WORD>*>(l)->push_back(lang);
                return TRUE;
            },
            reinterpret_cast<LONG_PTR>(&languages));
        EXPECT_EQ(languages, std::vector<WORD>{kEnglishUS}) << name;
    }
}

TEST_F(ProgramResources, HelpTextIsByteExactAndFollowedByAZero)
{
    std::string bytes;
    char after = 'x';
    ASSERT_TRUE(Read("TXT", "HELP", &bytes, &after));
    EXPECT_EQ(bytes.size(), expected::kHelpTextSize);
    EXPECT_EQ(bytes, expected::HelpText());
    EXPECT_EQ(after, '\0');

    size_t lines = 0;
    for (size_t pos = 0; (pos = bytes.find("\r\n", pos)) != std::string::npos; pos += 2)
        ++lines;
    EXPECT_EQ(lines, expected::kHelpTextLines);
    EXPECT_EQ(bytes.find('\n'), bytes.find("\r\n") + 1) << "bare line feed";
}

TEST_F(ProgramResources, DisclaimerIsByteExactAndFollowedByAZero)
{
    std::string bytes;
    char after = 'x';
    ASSERT_TRUE(Read("TXT", "ABOUTDIS", &bytes, &after));
    EXPECT_EQ(bytes.size(), expected::kDisclaimerSize);
    EXPECT_EQ(bytes, expected::Disclaimer());
    EXPECT_EQ(after, '\0');
}

// ---------------------------------------------------------------- templates

struct Item {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    WORD classAtom;
    std::string text; // "#n" for an ordinal (icon resource)
    bool operator==(const Item&) const = default;
};

void PrintTo(const Item& it, std::ostream* os)
{
    *os << std::hex << "{style 0x" << it.style << std::dec << ", (" << it.x << ", " << it.y << ") "
        << it.cx << " x " << it.cy << ", id " << it.id << ", class 0x" << std::hex << it.classAtom
        << std::dec << ", \"" << it.text << "\"}";
}

struct Dialog {
    DWORD style;
    short x, y, cx, cy;
    std::string caption;
    WORD pointSize;
    std::string font;
    std::vector<Item> items;
};

class TemplateReader {
public:
    explicit TemplateReader(const std::string& bytes) : m_bytes(bytes) {}

    bool Parse(Dialog* d)
    {
        DWORD exStyle;
        WORD count;
        if (!Get(&d->style) || !Get(&exStyle) || !Get(&count) || !Get(&d->x) || !Get(&d->y) ||
            !Get(&d->cx) || !Get(&d->cy))
            return false;
        std::string menu, cls;
        if (!Text(&menu) || !Text(&cls) || !Text(&d->caption))
            return false;
        if ((d->style & DS_SETFONT) && (!Get(&d->pointSize) || !Text(&d->font)))
            return false;
        for (WORD i = 0; i < count; ++i) {
            Item it;
            WORD extra;
            std::string cls;
            m_pos = (m_pos + 3) & ~size_t(3);
            if (!Get(&it.style) || !Get(&exStyle) || !Get(&it.x) || !Get(&it.y) || !Get(&it.cx) ||
                !Get(&it.cy) || !Get(&it.id) || !Text(&cls) || !Text(&it.text) || !Get(&extra))
                return false;
            it.classAtom = ClassAtom(cls);
            m_pos += extra;
            d->items.push_back(it);
        }
        return true;
    }

private:
    // Predefined classes may be named by atom or by name.
    static WORD ClassAtom(const std::string& cls)
    {
        if (cls.size() > 1 && cls[0] == '#')
            return WORD(std::stoi(cls.substr(1)));
        for (auto [name, atom] : {std::pair{"button", kButtonAtom}, std::pair{"edit", kEditAtom},
                                  std::pair{"static", kStaticAtom}})
            if (::lstrcmpiA(cls.c_str(), name) == 0)
                return atom;
        return 0;
    }

    template <class T> bool Get(T* value)
    {
        if (m_pos + sizeof(T) > m_bytes.size())
            return false;
        std::memcpy(value, m_bytes.data() + m_pos, sizeof(T));
        m_pos += sizeof(T);
        return true;
    }

    // A string or an ordinal (as "#n"); the strings here are plain ASCII.
    bool Text(std::string* s)
    {
        s->clear();
        WORD w;
        if (!Get(&w))
            return false;
        if (w == 0xFFFF) {
            if (!Get(&w))
                return false;
            *s = "#" + std::to_string(w);
            return true;
        }
        while (w != 0) {
            *s += char(w);
            if (!Get(&w))
                return false;
        }
        return true;
    }

    const std::string& m_bytes;
    size_t m_pos = 0;
};

Dialog ReadDialog(HMODULE hModule, int id)
{
    Dialog d{};
    HRSRC hRes = ::FindResourceExA(hModule, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(id), kEnglishUS);
    HGLOBAL hData = hRes ? ::LoadResource(hModule, hRes) : nullptr;
    const char* p = hData ? static_cast<const char*>(::LockResource(hData)) : nullptr;
    EXPECT_NE(p, nullptr) << "template " << id;
    if (p) {
        std::string bytes(p, ::SizeofResource(hModule, hRes));
        EXPECT_TRUE(TemplateReader(bytes).Parse(&d)) << "template " << id;
    }
    return d;
}

constexpr DWORD kText = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT | SS_NOPREFIX;

TEST_F(ProgramResources, AboutTemplate)
{
    const Dialog d = ReadDialog(s_hModule, IDD_ABOUT);
    EXPECT_EQ(d.style, DWORD(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                             DS_SETFONT | DS_3DLOOK));
    EXPECT_EQ(std::vector<short>({d.x, d.y, d.cx, d.cy}), std::vector<short>({0, 0, 228, 190}));
    EXPECT_EQ(d.caption, "About %s");
    EXPECT_EQ(d.pointSize, 8);
    EXPECT_EQ(d.font, "MS Sans Serif");
    const std::vector<Item> items = {
        {WS_CHILD | WS_VISIBLE | WS_GROUP | SS_ICON, 15, 15, 21, 20, 0xFFFF, kStaticAtom, "#1000"},
        {kText, 44, 15, 172, 8, IDC_NAME_VERSION, kStaticAtom, "?"},
        {kText, 44, 25, 172, 16, IDC_NOTICE, kStaticAtom, "?\n?"},
        {WS_CHILD | WS_VISIBLE | SS_BLACKFRAME | SS_SUNKEN, 7, 7, 214, 38, 0xFFFF, kStaticAtom, ""},
        {kText, 44, 48, 172, 16, IDC_DESCRIPTION, kStaticAtom, "?"},
        {kText, 7, 70, 214, 77, IDC_ABOUT_TEXT, kStaticAtom, ""},
        {kText, 7, 145, 214, 16, 0xFFFF, kStaticAtom,
         "For more information about our products and services, please visit us at "
         "www.example.com/kevra."},
        {WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 97, 169, 32, 14, IDOK,
         kButtonAtom, "OK"},
    };
    ASSERT_EQ(d.items.size(), items.size());
    for (size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ(d.items[i], items[i]) << "item " << i + 1;
}

TEST_F(ProgramResources, HelpTemplate)
{
    const Dialog d = ReadDialog(s_hModule, IDD_HELP);
    EXPECT_EQ(d.style, DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(std::vector<short>({d.x, d.y, d.cx, d.cy}), std::vector<short>({0, 0, 325, 213}));
    EXPECT_EQ(d.caption, "%s Help");
    EXPECT_EQ(d.pointSize, 8);
    EXPECT_EQ(d.font, "MS Sans Serif");
    const std::vector<Item> items = {
        {WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 137, 192, 50, 14, IDCANCEL,
         kButtonAtom, "&Close"},
        {WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY,
         7, 7, 310, 177, IDC_HELP_TEXT, kEditAtom, ""},
    };
    ASSERT_EQ(d.items.size(), items.size());
    for (size_t i = 0; i < items.size(); ++i)
        EXPECT_EQ(d.items[i], items[i]) << "item " << i + 1;
}

} // namespace
