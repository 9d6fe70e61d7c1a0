// The texts and the dialog templates as stored in the built Tiermo.exe, read
// back from the file.
#include "Driver.h"
#include "res_text.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr WORD kEnglishUS = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr WORD kButtonAtom = 0x80;
constexpr WORD kEditAtom = 0x81;
constexpr WORD kStaticAtom = 0x82;

// Bytes of a resource plus the byte that follows it in the file image.
bool Read(HMODULE hModule, LPCSTR type, LPCSTR name, std::string* bytes, char* after = nullptr)
{
    HRSRC hRes = ::FindResourceExA(hModule, type, name, kEnglishUS);
    HGLOBAL hData = hRes ? ::LoadResource(hModule, hRes) : nullptr;
    const char* p = hData ? static_cast<const char*>(::LockResource(hData)) : nullptr;
    if (!p)
        return false;
    const DWORD size = ::SizeofResource(hModule, hRes);
    bytes->assign(p, size);
    if (after)
        *after = p[size];
    return true;
}

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

// The loader hands the bytes on as a string: they must be those of res/text,
// with a zero after them and CR LF line ends, as the edit control needs.
TEST_F(ProgramResources, TextsAreTheFilesBytesFollowedByAZero)
{
    for (const auto& [name, text] :
         {std::pair{"HELP", res_text::HelpText()}, {"ABOUTDIS", res_text::Disclaimer()}}) {
        SCOPED_TRACE(name);
        ASSERT_FALSE(text.empty());
        std::string bytes;
        char after = 'x';
        ASSERT_TRUE(Read(s_hModule, "TXT", name, &bytes, &after));
        EXPECT_EQ(bytes, text);
        EXPECT_EQ(after, '\0');
        for (size_t pos = 0; (pos = bytes.find('\n', pos)) != std::string::npos; ++pos)
            EXPECT_EQ(bytes[pos - 1], '\r') << "bare line feed at " << pos;
    }
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
    std::string bytes;
    EXPECT_TRUE(Read(hModule, RT_DIALOG, MAKEINTRESOURCEA(id), &bytes) &&
                TemplateReader(bytes).Parse(&d))
        << "template " << id;
    return d;
}

const Item* Find(const Dialog& d, WORD id)
{
    for (const Item& it : d.items)
        if (it.id == id)
            return &it;
    return nullptr;
}

// What the code relies on in the two templates: the controls it addresses, of the
// class it expects, and every control inside the dialog.
TEST_F(ProgramResources, TemplatesHoldTheControlsTheCodeAddressesWithinTheDialog)
{
    const struct {
        int dialog;
        std::vector<std::tuple<WORD, WORD, DWORD>> controls; // id, class, styles it needs
    } templates[] = {
        {IDD_ABOUT,
         {{IDC_NAME_VERSION, kStaticAtom, SS_NOPREFIX},
          {IDC_NOTICE, kStaticAtom, SS_NOPREFIX},
          {IDC_DESCRIPTION, kStaticAtom, SS_NOPREFIX},
          {IDC_ABOUT_TEXT, kStaticAtom, SS_NOPREFIX},
          {IDOK, kButtonAtom, BS_DEFPUSHBUTTON}}},
        {IDD_HELP,
         {{IDC_HELP_TEXT, kEditAtom, ES_MULTILINE | ES_READONLY | WS_VSCROLL},
          {IDCANCEL, kButtonAtom, BS_DEFPUSHBUTTON}}},
    };
    for (const auto& t : templates) {
        SCOPED_TRACE("template " + std::to_string(t.dialog));
        const Dialog d = ReadDialog(s_hModule, t.dialog);
        for (const auto& [id, atom, styles] : t.controls) {
            const Item* it = Find(d, id);
            ASSERT_NE(it, nullptr) << "control " << id;
            EXPECT_EQ(it->classAtom, atom) << "control " << id;
            EXPECT_EQ(it->style & styles, styles) << "control " << id;
        }
        for (const Item& it : d.items) {
            EXPECT_TRUE(it.x >= 0 && it.y >= 0 && it.x + it.cx <= d.cx && it.y + it.cy <= d.cy)
                << ::testing::PrintToString(it);
        }
    }
    // The help text wraps at the control's width: nothing scrolls sideways.
    EXPECT_EQ(Find(ReadDialog(s_hModule, IDD_HELP), IDC_HELP_TEXT)->style &
                  (ES_AUTOHSCROLL | WS_HSCROLL),
              0u);
}

} // namespace
